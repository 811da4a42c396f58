#pragma once

#include "devicewindow/KeyMappingOverlayView.h"

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <optional>

class CloudPhoneCommunicator;
class KeyEditorPopup;
class KeyMappingMarkerView;
class KeyMappingViewModel;
class QAbstractButton;
class QTimer;
class WindowGeometryController;
struct DeviceIdentity;
struct DeviceWindowViews;

// The key-mapping markers over a device window's video: the layer that holds them, placed again
// once a resize, a turn or full screen settles, and, while the side panel is open, what the
// user does to a marker: drag it, scroll its size, click it for its key or its editor, and
// delete it. Changes to the plan being edited leave as `keyMappingsDidChange`. GUI thread only.
class KeyMappingOverlayController : public QObject {
    Q_OBJECT

public:
    // `isKeyMappingPanelVisible` tells whether the side panel is open, which shows the edited
    // items and lets markers be edited.
    KeyMappingOverlayController(const DeviceWindowViews& views, const DeviceIdentity& identity,
                                KeyMappingViewModel& viewModel,
                                const CloudPhoneCommunicator& communicator,
                                const WindowGeometryController& geometry,
                                std::function<bool()> isKeyMappingPanelVisible,
                                QObject* parent = nullptr);
    ~KeyMappingOverlayController() override;

    // Made on first use over the video.
    void setupKeyMappingOverlayContainer();
    void rebuildKeyMappingOverlay();
    // One rebuild once the event loop comes round; during a live resize, once it has ended.
    void scheduleKeyMappingOverlayRefresh();
    void liveResizeDidEnd();
    // Closes the key editor and keeps a hovered marker's close button.
    void endMarkerEditing();

    KeyMappingOverlayView* keyMappingOverlayContainer() const;
    KeyEditorPopup* keyMappingEditPopover() const;
    // Whether the applied plan's markers show while the panel is shut.
    bool shouldShowAppliedKeyMappingOverlay() const { return m_shouldShowAppliedKeyMappingOverlay; }
    void setShouldShowAppliedKeyMappingOverlay(bool shows) {
        m_shouldShowAppliedKeyMappingOverlay = shows;
    }
    bool isHideMarkerCloseScheduled() const;
    // A rebuild is queued, or waits for the end of a live resize.
    bool isKeyMappingOverlayRefreshPending() const {
        return m_isKeyMappingOverlayRefreshQueued || m_pendingKeyMappingOverlayRefresh;
    }
    // How long a hovered marker keeps its close button; 3 s unless set.
    void setHideMarkerCloseDelay(int milliseconds) { m_hideMarkerCloseDelayMs = milliseconds; }

Q_SIGNALS:
    // An item of the edited plan was deleted, moved, resized or awaits its key.
    void keyMappingsDidChange();

private:
    KeyMappingOverlayView::PointTrace keyMappingOverlayPointTrace(const QPointF& normalized) const;
    void installMarkerCallbacks(KeyMappingMarkerView* marker, const QUuid& id);
    KeyMappingItem* editedKeyMapping(const QUuid& id);
    void showKeyMappingEditPopover(const KeyMappingItem& item, KeyMappingMarkerView* marker);
    void captureKeyMappingKeyClick(QAbstractButton* sender);
    void beginItemKeyCapture(const QUuid& id, std::optional<KeyMappingDirection> direction);
    void deleteKeyMappingClick(const QString& identifier);
    void deleteKeyMapping(const QUuid& id);
    void editKeyMapping(const QUuid& id, KeyMappingMarkerView* marker);
    void selectKeyMappingMarker(const std::optional<QUuid>& id);
    void scheduleHideMarkerClose(const QUuid& id);
    void hideMarkerCloseNow(const QUuid& id);
    void cancelHideMarkerClose(KeyMappingMarkerView* marker);
    void handleMarkerDrag(KeyMappingMarkerView* marker, const QPointF& position, bool finished);
    void handleMarkerScroll(KeyMappingMarkerView* marker, const QPoint& angleDelta);

    const DeviceWindowViews& m_views;
    const DeviceIdentity& m_identity;
    KeyMappingViewModel& m_viewModel;
    const CloudPhoneCommunicator& m_communicator;
    const WindowGeometryController& m_geometry;
    std::function<bool()> m_isKeyMappingPanelVisible;

    bool m_shouldShowAppliedKeyMappingOverlay = true;
    bool m_pendingKeyMappingOverlayRefresh = false;
    // A rebuild is queued already; the requests made meanwhile are served by it.
    bool m_isKeyMappingOverlayRefreshQueued = false;
    QPointer<KeyMappingOverlayView> m_keyMappingOverlayContainer;
    QPointer<KeyEditorPopup> m_keyMappingEditPopover;
    QTimer* m_hideKeyMappingCloseWorkItem = nullptr;
    QUuid m_hideKeyMappingCloseTarget;
    int m_hideMarkerCloseDelayMs = 3000;
};
