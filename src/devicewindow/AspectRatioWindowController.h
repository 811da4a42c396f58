#pragma once

#include "devicewindow/ControlButtonStrip.h"
#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowViews.h"
#include "devicewindow/KeyMappingOverlayView.h"
#include "foundation/json/Result.h"
#include "keymapping/ImportedKeyMappingPlan.h"
#include "keymapping/KeyMappingItem.h"
#include "session/CloudPhoneEventProtocol.h"
#include "session/CloudPhoneStreamProtocol.h"
#include "session/DeviceRealTimeOptions.h"
#include "session/DeviceTouchName.h"
#include "session/SnapshotOptions.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ConnectionSpinner;
class DeviceStreamConnection;
class DeviceWindowInput;
class IdlePolicy;
class KeyMappingOverlayController;
class KeyMappingPanelController;
class WindowGeometryController;
class KeyEditorPopup;
class KeyMappingAlerts;
class KeyMappingMarkerView;
class KeyMappingPanelView;
class QAbstractButton;
class DeviceTextInput;
class KeyMappingInputEngine;
class KeyMappingViewModel;
class LinuxKeyEventTranslator;
class MouseLookCursor;
class QKeyEvent;
class LocalEventMonitor;
class QLabel;
class QMainWindow;
class QPushButton;
class QToolButton;
class QAction;
class QMenu;
class QTimer;
class QToolBar;
class QWidget;
class QResizeEvent;
class QTimer;

// The window of one opened cloud device: it plays the device's live stream in a video viewport
// with a bottom and a right strip of control buttons and a key-mapping side panel, shows a
// loading overlay until the first picture, hears the device's and the stream's reports, and
// tells the rest of the client when the user works in it or closes it. One controller per
// device window, made by `WindowManager`; it owns its window and deletes itself after the window
// closed. GUI thread only.
class AspectRatioWindowController : public QObject {
    Q_OBJECT

public:
    using ControlButtonID = ::ControlButtonID;
    using ControlButtonPlacement = ::ControlButtonPlacement;
    using ButtonAction = void (AspectRatioWindowController::*)();

    struct ControlButtonDescriptor {
        ControlButtonID id;
        ControlButtonPlacement placement;
        QString imageName;
        std::function<std::optional<QString>()> titleProvider;
        ButtonAction action;
    };

    // Builds the window and starts connecting the device.
    AspectRatioWindowController(qint64 deviceID, const QString& deviceName,
                                DeviceWindowEnvironment environment, QObject* parent = nullptr);
    AspectRatioWindowController(qint64 deviceID, const QString& deviceName,
                                QObject* parent = nullptr);
    ~AspectRatioWindowController() override;

    // The controller of a device window, or nullptr for any other widget.
    static AspectRatioWindowController* controllerOf(const QWidget* window);

    qint64 deviceID() const { return m_identity.deviceID; }
    const QString& deviceName() const { return m_identity.deviceName; }
    // The device's key in the session: its id in decimal.
    QString deviceKey() const { return m_identity.deviceKey(); }
    QMainWindow* window() const;

    void showWindow();
    // As the user closes it: the close sequence runs first.
    void close();
    // For closes the window manager makes itself after stopping the stream: no close sequence.
    void closeSkippingCloseSequence();

    // The owned parts.
    DeviceStreamConnection& connection() const { return *m_connection; }
    IdlePolicy& idlePolicy() const { return *m_idlePolicy; }
    WindowGeometryController& geometry() const { return *m_geometry; }
    DeviceWindowInput& input() const { return *m_input; }
    KeyMappingOverlayController& keyMappingOverlay() const { return *m_keyMappingOverlay; }
    KeyMappingPanelController& keyMappingPanelController() const {
        return *m_keyMappingPanelController;
    }

    // Connection.
    void startCloudPhoneConnection();
    VideoQuality selectedVideoQuality() const { return m_selectedVideoQuality; }
    void refreshLocalizedTexts();
    void languageDidChange();

    // View tree.
    QWidget* contentView() const;
    QWidget* mainViewportContainer() const;
    QWidget* mainView() const;
    ControlButtonStrip* rightButtonsContainer() const;
    ControlButtonStrip* bottomButtonsContainer() const;
    QWidget* keyMappingPanel() const;
    QWidget* cloudPhoneConnectionOverlay() const;
    int keyMappingPanelWidth() const { return m_keyMappingPanelWidth; }
    void setKeyMappingPanelWidth(int width);
    void layoutViewTree();

    // Control buttons.
    QList<ControlButtonDescriptor> controlButtonDescriptors();
    QToolButton* makeControlButton(const ControlButtonDescriptor& descriptor);
    void buildControlButtons();
    void bindControlButtonOutlets();
    void layoutControlButtons();
    void layoutBottomButtons();
    void layoutRightButtons();
    QString pingButtonTitle() const;
    void updatePingButtonAppearance();
    // The network indicator's colour for a delay in milliseconds.
    static QColor pingColor(int rtt);
    QToolButton* controlButton(ControlButtonID id) const;
    const QList<QToolButton*>& controlButtons() const { return m_controlButtons; }
    const QList<ControlButtonID>& visibleBottomButtons() const { return m_visibleBottomButtons; }
    const QList<ControlButtonID>& visibleRightButtons() const { return m_visibleRightButtons; }
    QToolButton* pingBtn() const;
    int currentRTT() const { return m_currentRTT; }
    bool pendingPingAppearanceRefresh() const { return m_pendingPingAppearanceRefresh; }
    void registerNotificationObservers();

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

    bool isIMEInputActive() const;
    KeyMappingViewModel& keyMappingViewModel() const { return *m_keyMappingViewModel; }

    // Activation and closing.
    void windowDidBecomeKey();
    void windowDidBecomeMain();
    void windowDidResignKey();
    void windowDidResignMain();
    // The close sequence of a close the user asked for; never refuses.
    bool prepareForClose();
    void windowWillClose();

    // Geometry, toolbar, idle policy, key-mapping input and text input hook in here.
    void setupToolbar();
    void updateInputSyncToolbarItem();

    // Device buttons and window toolbar
    inline static const QString toolbarIdentifier = QStringLiteral("VideoPlayerToolbar");
    inline static const QString flexibleSpaceItemIdentifier = QStringLiteral("FlexibleSpace");
    inline static const QString pinItemIdentifier = QStringLiteral("PinWindow");
    inline static const QString qualityItemIdentifier = QStringLiteral("QualitySelector");
    inline static const QString inputSyncItemIdentifier = QStringLiteral("InputSyncToggle");
    bool isActiveDeviceWindow() const;
    bool isKeyMappingPanelVisible() const;
    bool isActiveAndConnected() const;
    void sendDeviceButton(DeviceTouchName name);
    void openAdjacentDevice(bool previous);
    void snapshotDidArrive(const std::optional<SnapshotInfo>& info, const QString& deviceID,
                           const std::optional<Error>& error);
    // Reuses this window for another device.
    void switchToDevice(qint64 deviceID, const QString& deviceName);
    void handleReduceBitrateMode();
    QToolBar* toolbar() const;
    QStringList toolbarItemIdentifiers() const;
    void rebuildToolbar();
    QStringList toolbarDefaultItemIdentifiers() const;
    QStringList toolbarAllowedItemIdentifiers() const;
    // Inserts the item before `before` (at the end when null); null for an unknown identifier.
    QAction* makeToolbarItem(const QString& identifier, QAction* before = nullptr);
    void togglePin();
    void showQualityMenu();
    void selectQuality(QAction* item);
    void toggleInputSync();
    void setInputSyncToolbarItemVisible(bool visible);
    void updateQualityToolbarItem();
    QMenu* makeQualityMenuItem(QWidget* parent);
    bool isPinned() const { return m_isPinned; }
    const QString& currentQuality() const { return m_currentQuality; }
    QToolButton* qualityBtn() const;
    QAction* qualityToolbarItem() const;
    QToolButton* pinButton() const;
    QToolButton* inputSyncToolbarButton() const;
    QAction* inputSyncToolbarItem() const;
    QMenu* qualityPopupMenu() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class IdleStream;

    void setupUI();
    void installEventMonitor();
    void stopEventMonitor();
    void refreshPingAfterResize();
    void handleLocalInteractionEvent(QObject* receiver, QEvent* event);

    // Toolbar.
    bool m_isPinned = false;
    QString m_currentQuality = QStringLiteral("高清");
    VideoQuality m_selectedVideoQuality = VideoQuality::p720;
    // Network indicator.
    int m_currentRTT = 0;
    bool m_pendingPingAppearanceRefresh = false;
    std::unique_ptr<LocalEventMonitor> m_cloudPhoneEventMonitor;
    // Control buttons.
    QHash<ControlButtonID, QPointer<QToolButton>> m_buttonRegistry;
    QList<QToolButton*> m_controlButtons;
    QList<ControlButtonID> m_visibleBottomButtons{ControlButtonID::back, ControlButtonID::home,
                                                  ControlButtonID::overview};
    QList<ControlButtonID> m_visibleRightButtons{
        ControlButtonID::ping,     ControlButtonID::volumeUp, ControlButtonID::volumeDown,
        ControlButtonID::rotation, ControlButtonID::snapshot, ControlButtonID::keyboardMapping,
        ControlButtonID::previous, ControlButtonID::next};
    QPointer<QToolButton> m_backBtn, m_homeBtn, m_switchBtn, m_volumeUpBtn, m_volumeDownBtn,
        m_rotationBtn, m_snapshotBtn, m_keyboardMappingBtn, m_installBtn, m_nextBtn, m_previousBtn,
        m_pingBtn;
    // Key mapping.
    int m_keyMappingPanelWidth = 0;
    std::unique_ptr<KeyMappingViewModel> m_keyMappingViewModel;
    // Identity and parts.
    DeviceIdentity m_identity;
    DeviceWindowEnvironment m_environment;
    std::unique_ptr<IdleStream> m_idleStream;
    std::unique_ptr<IdlePolicy> m_idlePolicy;
    std::unique_ptr<WindowGeometryController> m_geometry;
    std::unique_ptr<DeviceStreamConnection> m_connection;
    std::unique_ptr<DeviceWindowInput> m_input;
    std::unique_ptr<KeyMappingOverlayController> m_keyMappingOverlay;
    std::unique_ptr<KeyMappingPanelController> m_keyMappingPanelController;

    // Views; the window owns them all.
    std::unique_ptr<QMainWindow> m_window;
    DeviceWindowViews m_views;

    bool m_skipCloseSequence = false;
    bool m_didClose = false;
    bool m_isTearingDown = false;

    // Device buttons, window toolbar and idle policy
    QPointer<QToolBar> m_toolbar;
    QPointer<QToolButton> m_pinButton;
    QPointer<QToolButton> m_qualityBtn;
    QPointer<QAction> m_qualityToolbarItem;
    QPointer<QToolButton> m_inputSyncToolbarButton;
    QPointer<QAction> m_inputSyncToolbarItem;
    QPointer<QMenu> m_qualityPopupMenu;
};
