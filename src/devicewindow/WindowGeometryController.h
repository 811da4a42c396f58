#pragma once

#include "devicewindow/WindowGeometry.h"
#include "sdk/KXRotationObc.h"

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QSizeF>
#include <QVariantMap>

#include <functional>
#include <optional>

class CloudPhoneCommunicator;
class QEvent;
class QResizeEvent;
class QTimer;
class SettingsManager;
struct DeviceIdentity;
struct DeviceWindowViews;

// The sizes of one device window: the initial size, the user's live resizes, rotations,
// full screen and the aspect-ratio command, worked out by the pure `WindowGeometry` and applied
// to the window and its video view. It hears the window's resize and state events from the
// window controller. What others redraw after a change leaves as signals. GUI thread only.
class WindowGeometryController : public QObject {
    Q_OBJECT

public:
    // A 332.5-wide video area at 9:16 plus the right and bottom strips.
    static constexpr QSizeF kInitialContentSize{372.5, 621.1111111111111};
    static constexpr QPoint kInitialContentOrigin{100, 100};

    // `isKeyMappingPanelVisible` tells whether the side panel takes room now.
    WindowGeometryController(const DeviceWindowViews& views, const DeviceIdentity& identity,
                             SettingsManager& settings, CloudPhoneCommunicator& communicator,
                             std::function<bool()> isKeyMappingPanelVisible,
                             int visibleRightButtons, QObject* parent = nullptr);
    ~WindowGeometryController() override;

    // The size setting's frame if it holds a usable number, else the built-in content size.
    void applyInitialSize();
    void updateMinWindowSize();
    // The window's frame now, decorations included.
    QSizeF frameSize() const;
    // Sets the window to a frame size with its bottom-left corner kept.
    void applyFrameSize(const QSizeF& frame);
    void updateMainViewConstraints();
    // An "aspectRatioCommand" notice: taken when addressed to this device or to all.
    void applyAspectRatioCommand(const QVariantMap& userInfo);
    void setRotation(bool landscape, qreal rotation, bool rotatePlayer);
    void applyDeviceOrientation(KXRotationObc rotation);
    void toggleFullScreen();
    // A resize or state change of the window.
    void handleWindowGeometryEvent(QEvent* event);

    qreal currentAspectRatio() const { return m_state.currentAspectRatio; }
    qreal currentRotation() const { return m_state.currentRotation; }
    bool isLandscape() const { return m_state.isLandscape; }
    bool isWindowLiveResizing() const { return m_state.isWindowLiveResizing; }
    bool hasUserResizedWindow() const { return m_state.hasUserResizedWindow; }
    bool isInFullScreen() const { return m_isInFullScreen; }
    // After a reconnect or a switch of device the next orientation turns the player, changed or
    // not.
    bool shouldSyncCloudPhoneRotationAfterReconnect() const {
        return m_state.shouldSyncCloudPhoneRotationAfterReconnect;
    }
    void setShouldSyncCloudPhoneRotationAfterReconnect() {
        m_state.shouldSyncCloudPhoneRotationAfterReconnect = true;
    }

Q_SIGNALS:
    // The window took another size, by a resize or by entering or leaving full screen.
    void frameDidChange();
    // The video turned; the window may have taken another size.
    void rotationDidChange();
    // The user's resize settled.
    void liveResizeDidEnd();

private Q_SLOTS:
    void answerLiveResize();
    void windowDidEndLiveResize();

private:
    std::optional<QSizeF> initialContentSize();
    WindowGeometry::WindowFacts windowFacts() const;
    QSize decorationSize() const;
    QSize contentExtras() const;
    QSizeF currentVideoSize() const;
    // Gives the content the built-in initial size, whatever the toolbar adds above it.
    void applyInitialContentSize();
    void refreshMainViewConstraintsIfNeeded();
    void resizeWindowForAspectRatio();
    void applyRotationChange(const WindowGeometry::RotationChange& change);
    void windowDidResize(QResizeEvent* event);
    void userDidResize(const QSize& oldClientSize);
    void windowFullScreenDidChange();

    const DeviceWindowViews& m_views;
    const DeviceIdentity& m_identity;
    SettingsManager& m_settings;
    CloudPhoneCommunicator& m_communicator;
    std::function<bool()> m_isKeyMappingPanelVisible;
    int m_visibleRightButtons;

    WindowGeometry::State m_state;
    bool m_isUpdatingMainViewConstraints = false;
    bool m_pendingMainViewConstraintRefresh = false;
    bool m_isInFullScreen = false;
    // Resizes the controller makes itself are no user's live resize.
    int m_applyingFrame = 0;
    QSize m_requestedClientSize;
    std::optional<QSize> m_restoreClientSize;
    QSize m_lastWindowedClientSize;
    QSizeF m_lastWindowedVideoSize;
    bool m_liveResizeAnswerQueued = false;
    QSize m_clientSizeBeforeAnswer;
    QTimer* m_liveResizeSettleTimer = nullptr;
};
