#pragma once

#include "devicewindow/ControlButtonStrip.h"
#include "foundation/json/Result.h"
#include "session/DeviceTouchName.h"
#include "session/SnapshotOptions.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class CloudPhoneCommunicator;
class DeviceWindowGuard;
class DeviceWindowPageLink;
class ImageSaveManager;
class KeyMappingPanelController;
class LanguageManager;
class QToolButton;
class WindowGeometryController;
struct DeviceIdentity;
struct DeviceWindowViews;

// The two strips of icon buttons around a device window's video: the device's navigation keys
// at the bottom; the network indicator, volume, rotation, snapshot, the key-mapping switch and
// the previous and next device on the right. Every button is described once in a table (image,
// title, action) and made from it. A button acts only in the window the user works in, and the
// device's buttons not on a stream stopped for idleness. GUI thread only.
class ControlButtonController : public QObject {
    Q_OBJECT

public:
    using PageLinkProvider = std::function<DeviceWindowPageLink*()>;

    // Makes the buttons and puts them into the views' strips.
    ControlButtonController(const DeviceWindowViews& views, const DeviceIdentity& identity,
                            CloudPhoneCommunicator& communicator, const DeviceWindowGuard& guard,
                            const LanguageManager& language, ImageSaveManager& imageSaver,
                            PageLinkProvider pageLink, WindowGeometryController& geometry,
                            KeyMappingPanelController& keyMappingPanel, QObject* parent = nullptr);
    ~ControlButtonController() override;

    static const QList<ControlButtonID>& visibleBottomButtons();
    // Eight; the install button is made but never shown.
    static const QList<ControlButtonID>& visibleRightButtons();
    // The network indicator's colour for a delay in milliseconds.
    static QColor pingColor(int rtt);

    QToolButton* controlButton(ControlButtonID id) const;
    // The right strip's buttons, in strip order.
    const QList<QToolButton*>& controlButtons() const { return m_controlButtons; }
    QToolButton* pingBtn() const;
    int currentRTT() const { return m_currentRTT; }
    bool pendingPingAppearanceRefresh() const { return m_pendingPingAppearanceRefresh; }

    // The titles in the interface language again.
    void refreshButtonTitles();
    void updatePingButtonAppearance();
    // The stream's delay in milliseconds; shown once no live resize holds the window.
    void setCurrentRTT(int rtt);
    // The window changed its size, so the indicator's title may lose or gain its unit: refreshed
    // now, or once a live resize ended.
    void refreshPingAfterResize();
    void liveResizeDidEnd();

private Q_SLOTS:
    void backBtnClick();
    void homeBtnClick();
    void switchBtnClick();
    void pingBtnClick();
    void volumeUpBtnClick();
    void volumeDownBtnClick();
    void rotationBtnClick();
    void snapshotBtnClick();
    void keyboardMappingBtnClick();
    void installBtnClick();
    void previousBtnClick();
    void nextBtnClick();

private:
    using ButtonAction = void (ControlButtonController::*)();

    // One button: its image, its title (none for the bottom strip's) and its action.
    struct ControlButtonDescriptor {
        ControlButtonID id;
        ControlButtonPlacement placement;
        QString imageName;
        std::function<std::optional<QString>()> titleProvider;
        ButtonAction action;
    };

    QList<ControlButtonDescriptor> controlButtonDescriptors();
    QToolButton* makeControlButton(const ControlButtonDescriptor& descriptor);
    void buildControlButtons();
    void bindControlButtonOutlets();
    void layoutControlButtons();
    void layoutBottomButtons();
    void layoutRightButtons();
    QString pingButtonTitle() const;
    void sendDeviceButton(DeviceTouchName name);
    void openAdjacentDevice(bool previous);
    void snapshotDidArrive(const std::optional<SnapshotInfo>& info, const QString& deviceID,
                           const std::optional<Error>& error);
    void keyMappingPanelVisibilityDidChange(bool visible);

    const DeviceWindowViews& m_views;
    const DeviceIdentity& m_identity;
    CloudPhoneCommunicator& m_communicator;
    const DeviceWindowGuard& m_guard;
    const LanguageManager& m_language;
    ImageSaveManager& m_imageSaver;
    PageLinkProvider m_pageLink;
    WindowGeometryController& m_geometry;
    KeyMappingPanelController& m_keyMappingPanel;

    int m_currentRTT = 0;
    bool m_pendingPingAppearanceRefresh = false;
    QHash<ControlButtonID, QPointer<QToolButton>> m_buttonRegistry;
    QList<QToolButton*> m_controlButtons;
    QPointer<QToolButton> m_backBtn, m_homeBtn, m_switchBtn, m_volumeUpBtn, m_volumeDownBtn,
        m_rotationBtn, m_snapshotBtn, m_keyboardMappingBtn, m_installBtn, m_nextBtn, m_previousBtn,
        m_pingBtn;
};
