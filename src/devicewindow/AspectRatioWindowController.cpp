#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/CommandProcessor.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/DeviceWindowGuard.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/DeviceWindowLayout.h"
#include "devicewindow/DeviceWindowPageLink.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/KeyMappingOverlayController.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/LocalEventMonitor.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowGeometryController.h"
#include "devicewindow/WindowManager.h"
#include "devicewindow/WindowToolbarController.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/concurrency/ProcessMemory.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/logging/KXLog.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"

#include <QEvent>
#include <QMainWindow>
#include <QWindow>

namespace {

const char* const kControllerProperty = "aspectRatioWindowController";

// Input that counts as the user working with a window, as the idle watch and mouse key mapping
// see it. Key releases are not among them.
const QSet<QEvent::Type> kMonitoredEvents = {
    QEvent::MouseButtonPress,
    QEvent::MouseButtonRelease,
    QEvent::MouseMove,
    QEvent::KeyPress,
    QEvent::Wheel,
    QEvent::MouseButtonDblClick,
};

}  // namespace

// The idle policy's reach into the window: its stream, its options and its key-mapping input.
class AspectRatioWindowController::IdleStream : public IdlePolicyHost {
public:
    explicit IdleStream(AspectRatioWindowController& window) : m_window(window) {}

    bool hasPlayer() const override {
        return m_window.m_environment.communicator->playerView(m_window.deviceKey()) != nullptr;
    }
    VideoQuality selectedVideoQuality() const override {
        return m_window.m_toolbarController->selectedVideoQuality();
    }
    void setVideoQuality(VideoQuality quality) override {
        m_window.m_environment.communicator->setVideoQuality(quality, m_window.deviceKey());
    }
    void setOperationTimeout(int seconds) override {
        m_window.m_connection->realTimeOptions().operationTimeout = seconds;
    }
    void disconnect() override {
        m_window.m_input->releaseKeyMappingContacts();
        m_window.m_environment.communicator->stopRealTimePlay(m_window.deviceKey());
        m_window.m_connection->showDisconnectedForIdle();
    }
    void reconnect() override {
        m_window.m_geometry->setShouldSyncCloudPhoneRotationAfterReconnect();
        m_window.startCloudPhoneConnection();
    }

private:
    AspectRatioWindowController& m_window;
};

AspectRatioWindowController::AspectRatioWindowController(qint64 deviceID, const QString& deviceName,
                                                         QObject* parent)
    : AspectRatioWindowController(deviceID, deviceName, DeviceWindowEnvironment::standard(),
                                  parent) {}

AspectRatioWindowController::AspectRatioWindowController(qint64 deviceID, const QString& deviceName,
                                                         DeviceWindowEnvironment environment,
                                                         QObject* parent)
    : QObject(parent),
      m_keyMappingViewModel(std::make_unique<KeyMappingViewModel>()),
      m_identity{deviceID, deviceName},
      m_environment(std::move(environment)) {
    DeviceWindowEnvironment& env = m_environment;
    m_idleStream = std::make_unique<IdleStream>(*this);
    m_idlePolicy = std::make_unique<IdlePolicy>(*m_idleStream, *env.settings, env.clock,
                                                env.idleCheckInterval);
    m_guard = std::make_unique<DeviceWindowGuard>(m_identity, *env.activeManager, *m_idlePolicy);

    m_window = std::make_unique<QMainWindow>();
    m_views.window = m_window.get();
    m_window->setProperty(kControllerProperty, QVariant::fromValue<QObject*>(this));
    m_window->setGeometry(QRect(WindowGeometryController::kInitialContentOrigin,
                                WindowGeometryController::kInitialContentSize.toSize()));
    m_window->installEventFilter(this);

    const auto panelVisible = [this] { return isKeyMappingPanelVisible(); };
    m_geometry = std::make_unique<WindowGeometryController>(
        m_views, m_identity, *env.settings, *env.communicator, panelVisible,
        int(ControlButtonController::visibleRightButtons().size()));
    m_keyMappingOverlayController = std::make_unique<KeyMappingOverlayController>(
        m_views, m_identity, *m_keyMappingViewModel, *env.communicator, *m_geometry, panelVisible);
    m_toolbarController = std::make_unique<WindowToolbarController>(
        m_views, m_identity, *env.communicator, *m_guard, *env.language, env.pageLink, *m_geometry);

    const QPointer<AspectRatioWindowController> weakSelf(this);
    m_keyMappingViewModel->onChange = [weakSelf] {
        if (weakSelf && weakSelf->m_keyMappingPanelController) {
            weakSelf->m_keyMappingPanelController->updateKeyMappingStatus();
        }
    };

    m_toolbarController->setupToolbar();
    setupUI();
    connectParts();

    m_geometry->applyInitialSize();
    registerNotificationObservers();
    m_geometry->updateMinWindowSize();
    installEventMonitor();
    m_idlePolicy->applyIdlePolicy();
    startCloudPhoneConnection();
}

AspectRatioWindowController::~AspectRatioWindowController() {
    m_cloudPhoneEventMonitor.reset();
    m_environment.notifications->removeObserver(this);
    WindowManager::shared().removeWindow(this);
    // A controller deleted without a close must not leave the stream drawing into its views.
    CloudPhoneCommunicator& communicator = *m_environment.communicator;
    const QPointer<QWidget> player = communicator.playerView(deviceKey());
    if (player && m_views.mainView && m_views.mainView->isAncestorOf(player)) {
        communicator.stopRealTimePlay(deviceKey());
    }
    // The views go while every part they report to still exists.
    m_isTearingDown = true;
    m_input->stopTakingInput();
    m_window.reset();
    // What the window's parts and its stream's threads freed goes back to the system.
    ProcessMemory::releaseFreedMemorySoon();
}

AspectRatioWindowController* AspectRatioWindowController::controllerOf(const QWidget* window) {
    if (!window) {
        return nullptr;
    }
    return qobject_cast<AspectRatioWindowController*>(
        window->property(kControllerProperty).value<QObject*>());
}

QMainWindow* AspectRatioWindowController::window() const {
    return m_window.get();
}

void AspectRatioWindowController::showWindow() {
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AspectRatioWindowController::close() {
    m_window->close();
}

void AspectRatioWindowController::closeSkippingCloseSequence() {
    m_skipCloseSequence = true;
    m_window->close();
}

QWidget* AspectRatioWindowController::contentView() const {
    return m_views.contentView;
}
QWidget* AspectRatioWindowController::mainViewportContainer() const {
    return m_views.mainViewportContainer;
}
QWidget* AspectRatioWindowController::mainView() const {
    return m_views.mainView;
}
ControlButtonStrip* AspectRatioWindowController::rightButtonsContainer() const {
    return m_views.rightButtonsContainer;
}
ControlButtonStrip* AspectRatioWindowController::bottomButtonsContainer() const {
    return m_views.bottomButtonsContainer;
}
QWidget* AspectRatioWindowController::keyMappingPanel() const {
    return m_views.keyMappingPanel;
}
QWidget* AspectRatioWindowController::cloudPhoneConnectionOverlay() const {
    return m_connection->cloudPhoneConnectionOverlay();
}

void AspectRatioWindowController::setupUI() {
    auto* content = new QWidget;
    m_window->setCentralWidget(content);
    m_views.contentView = content;
    content->installEventFilter(this);

    auto* viewport = new QWidget(content);
    viewport->setObjectName(QStringLiteral("mainViewportContainer"));
    viewport->setAutoFillBackground(true);
    QPalette black = viewport->palette();
    black.setColor(QPalette::Window, Qt::black);
    viewport->setPalette(black);
    viewport->installEventFilter(this);
    m_views.mainViewportContainer = viewport;

    m_views.mainView = new QWidget(viewport);
    m_views.mainView->setObjectName(QStringLiteral("mainView"));

    m_views.rightButtonsContainer = new ControlButtonStrip(ControlButtonPlacement::right, content);
    m_views.rightButtonsContainer->setObjectName(QStringLiteral("rightButtonsContainer"));
    m_views.bottomButtonsContainer =
        new ControlButtonStrip(ControlButtonPlacement::bottom, content);
    m_views.bottomButtonsContainer->setObjectName(QStringLiteral("bottomButtonsContainer"));

    m_views.keyMappingPanel = new QWidget(content);
    m_views.keyMappingPanel->setObjectName(QStringLiteral("keyMappingPanel"));
    m_views.keyMappingPanel->setAutoFillBackground(true);
    m_views.keyMappingPanel->hide();

    m_views.unplacedButtons = new QWidget(content);
    m_views.unplacedButtons->hide();

    DeviceWindowEnvironment& env = m_environment;
    // The connecting overlay goes over the video here.
    m_connection = std::make_unique<DeviceStreamConnection>(
        m_identity, *env.communicator, *env.settings, viewport, m_views.mainView);
    m_input = std::make_unique<DeviceWindowInput>(
        m_views, m_identity, *m_keyMappingViewModel, *env.communicator, *m_guard, *env.language,
        *m_connection, [this] { return isKeyMappingPanelVisible(); });
    m_keyMappingPanelController = std::make_unique<KeyMappingPanelController>(
        m_views, m_identity, *m_keyMappingViewModel, *env.communicator, *env.keyMappingStore,
        *m_geometry, *m_keyMappingOverlayController, *m_input,
        [this](int width) { setKeyMappingPanelWidth(width); });
    layoutViewTree();
    // The buttons are made once both strips have their place.
    m_controlButtonController = std::make_unique<ControlButtonController>(
        m_views, m_identity, *env.communicator, *m_guard, *env.language, *env.imageSaver,
        env.pageLink, *m_geometry, *m_keyMappingPanelController);
}

void AspectRatioWindowController::connectParts() {
    WindowGeometryController* geometry = m_geometry.get();
    ControlButtonController* buttons = m_controlButtonController.get();
    KeyMappingOverlayController* overlay = m_keyMappingOverlayController.get();
    DeviceStreamConnection* connection = m_connection.get();
    using Geometry = WindowGeometryController;
    using Buttons = ControlButtonController;
    using Overlay = KeyMappingOverlayController;
    using Connection = DeviceStreamConnection;

    connect(geometry, &Geometry::frameDidChange, buttons, &Buttons::refreshPingAfterResize);
    connect(geometry, &Geometry::frameDidChange, overlay,
            &Overlay::scheduleKeyMappingOverlayRefresh);
    connect(geometry, &Geometry::rotationDidChange, overlay,
            &Overlay::scheduleKeyMappingOverlayRefresh);
    connect(geometry, &Geometry::liveResizeDidEnd, buttons, &Buttons::liveResizeDidEnd);
    connect(geometry, &Geometry::liveResizeDidEnd, overlay, &Overlay::liveResizeDidEnd);

    connect(connection, &Connection::deviceOrientationDidArrive, geometry,
            &Geometry::applyDeviceOrientation);
    connect(connection, &Connection::roundTripTimeDidChange, buttons, &Buttons::setCurrentRTT);
    connect(connection, &Connection::deviceInputMethodDidOpen, m_input.get(),
            &DeviceWindowInput::deviceInputMethodDidOpen);
    connect(connection, &Connection::reconnectCloudPhoneClicked, this, [this] {
        m_idlePolicy->reconnectCloudPhone();
        m_views.focusContentView();
    });

    connect(overlay, &Overlay::keyMappingsDidChange, m_keyMappingPanelController.get(),
            &KeyMappingPanelController::updateKeyMappingStatus);
}

void AspectRatioWindowController::registerNotificationObservers() {
    NotificationCenter& notifications = *m_environment.notifications;
    notifications.addObserver(this, NotificationNames::languageDidChange,
                              [this](const Notification&) { refreshLocalizedTexts(); });
    notifications.addObserver(this, NotificationNames::reduceBitrateMode,
                              [this](const Notification&) { m_idlePolicy->applyIdlePolicy(); });
    m_environment.activeManager->setActiveDevice(m_identity.deviceID);
    notifications.addObserver(this, CommandProcessor::kAspectRatioCommand,
                              [this](const Notification& notification) {
                                  m_geometry->applyAspectRatioCommand(notification.userInfo);
                              });
}

void AspectRatioWindowController::setKeyMappingPanelWidth(int width) {
    m_keyMappingPanelWidth = qMax(width, 0);
    layoutViewTree();
}

void AspectRatioWindowController::layoutViewTree() {
    if (!m_views.contentView) {
        return;
    }
    const DeviceWindowLayout layout =
        DeviceWindowLayout::compute(m_views.contentView->size(), m_keyMappingPanelWidth);
    m_views.mainViewportContainer->setGeometry(layout.mainViewportContainer);
    m_views.rightButtonsContainer->setGeometry(layout.rightButtonsContainer);
    m_views.bottomButtonsContainer->setGeometry(layout.bottomButtonsContainer);
    m_views.rightButtonsContainer->placeButtons();
    m_views.bottomButtonsContainer->placeButtons();
    m_views.keyMappingPanel->setGeometry(layout.keyMappingPanel);
    m_geometry->updateMainViewConstraints();
    m_connection->layoutConnectionOverlay();
}

void AspectRatioWindowController::installEventMonitor() {
    if (m_cloudPhoneEventMonitor) {
        return;
    }
    const QPointer<AspectRatioWindowController> weakSelf(this);
    m_cloudPhoneEventMonitor = std::make_unique<LocalEventMonitor>(
        kMonitoredEvents, [weakSelf](QObject* receiver, QEvent* event) {
            if (!weakSelf) {
                return false;
            }
            weakSelf->handleLocalInteractionEvent(receiver, event);
            return weakSelf && weakSelf->m_input->handleMouseEventForKeyMapping(receiver, event);
        });
}

void AspectRatioWindowController::handleLocalInteractionEvent(QObject* receiver, QEvent*) {
    // Input reaches a window's native surface first and then its widgets; both are this window.
    const QWidget* widget = qobject_cast<const QWidget*>(receiver);
    const bool inThisWindow = widget
                                  ? widget->window() == m_window.get()
                                  : (receiver && m_window && receiver == m_window->windowHandle());
    if (inThisWindow) {
        m_idlePolicy->handleLocalInteractionEvent();
    }
}

void AspectRatioWindowController::startCloudPhoneConnection() {
    m_connection->startCloudPhoneConnection(m_toolbarController->selectedVideoQuality(),
                                            m_idlePolicy->isCloudPhoneIdleDisconnectEnabled());
}

void AspectRatioWindowController::refreshLocalizedTexts() {
    m_controlButtonController->refreshButtonTitles();
    m_toolbarController->updateQualityToolbarItem();
    m_controlButtonController->updatePingButtonAppearance();
}

bool AspectRatioWindowController::isKeyMappingPanelVisible() const {
    return m_keyMappingPanelController && m_keyMappingPanelController->isKeyMappingPanelVisible();
}

void AspectRatioWindowController::updateInputSyncToolbarItem() {
    m_toolbarController->updateInputSyncToolbarItem();
}

void AspectRatioWindowController::switchToDevice(qint64 deviceID, const QString& deviceName) {
    if (deviceID == m_identity.deviceID) {
        return;
    }
    const bool wasActive = m_guard->isActiveDeviceWindow();
    m_input->releaseKeyMappingContacts();
    // The old device's keyboard focus ends with it, and so do the keys held down now.
    m_input->deviceWillChange();
    m_input->deactivateTextInput();

    const qint64 oldDeviceID = m_identity.deviceID;
    m_environment.communicator->stopRealTimePlay(deviceKey());
    m_environment.activeManager->clearActiveDevice(oldDeviceID);
    m_environment.sentry->clearActiveCloudDevice(oldDeviceID);

    // From here on every part acts on the new device: they all read it here.
    m_identity.deviceID = deviceID;
    m_identity.deviceName = deviceName;
    m_window->setWindowTitle(deviceName);

    m_idlePolicy->deviceDidChange();
    m_geometry->setShouldSyncCloudPhoneRotationAfterReconnect();
    // The keyboard starts over as in a window newly opened on the device: before its stream
    // starts, so that the new device's own keyboard report stands, and while the window's text
    // input has no focus.
    m_connection->deviceDidChange();
    m_input->deviceDidChange();

    if (wasActive || m_window->isActiveWindow()) {
        m_environment.activeManager->setActiveDevice(deviceID);
        m_environment.sentry->setActiveCloudDevice(deviceID, deviceName);
    }
    // Key mapping starts over as in a window newly opened on the device.
    m_keyMappingPanelController->deviceDidChange();
    startCloudPhoneConnection();
    m_input->activateTextInput();
    // The input-sync item belongs to the device that leads sync.
    updateInputSyncToolbarItem();
}

bool AspectRatioWindowController::eventFilter(QObject* watched, QEvent* event) {
    // The parts hear the views' events from when the last of them exists (the window is still
    // hidden then) until the views are torn down.
    if (m_isTearingDown || !m_controlButtonController) {
        return false;
    }
    if (watched == m_window.get()) {
        m_geometry->handleWindowGeometryEvent(event);
        switch (event->type()) {
            case QEvent::WindowActivate:
                windowDidBecomeKey();
                windowDidBecomeMain();
                break;
            case QEvent::WindowDeactivate:
                windowDidResignKey();
                windowDidResignMain();
                break;
            case QEvent::Close:
                if (!m_didClose) {
                    if (!m_skipCloseSequence) {
                        prepareForClose();
                    }
                    windowWillClose();
                }
                break;
            default:
                break;
        }
    } else if (watched == m_views.contentView && event->type() == QEvent::Resize) {
        layoutViewTree();
    } else if (watched == m_views.mainViewportContainer && event->type() == QEvent::Resize) {
        m_geometry->updateMainViewConstraints();
        m_connection->layoutConnectionOverlay();
    }
    return QObject::eventFilter(watched, event);
}

// Activation and closing ------------------------------------------------------------------------

void AspectRatioWindowController::windowDidBecomeKey() {
    m_environment.activeManager->setActiveDevice(m_identity.deviceID);
    m_environment.sentry->setActiveCloudDevice(m_identity.deviceID, m_identity.deviceName);
    KXLog(QStringLiteral("✅ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 成为激活窗口"),
          LogTag::window, LogLevel::info);
    m_input->activateTextInput();
}

void AspectRatioWindowController::windowDidBecomeMain() {
    m_environment.activeManager->setActiveDevice(m_identity.deviceID);
    m_environment.sentry->setActiveCloudDevice(m_identity.deviceID, m_identity.deviceName);
    KXLog(QStringLiteral("✅ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 成为主窗口"),
          LogTag::window, LogLevel::info);
}

void AspectRatioWindowController::windowDidResignKey() {
    // No simulated key may stay pressed on the device while the user works elsewhere.
    m_input->releaseKeyMappingContacts();
    KXLog(QStringLiteral("⚠️ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 失去激活状态"),
          LogTag::window, LogLevel::info);
}

void AspectRatioWindowController::windowDidResignMain() {
    KXLog(QStringLiteral("⚠️ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 失去主窗口状态"),
          LogTag::window, LogLevel::info);
}

bool AspectRatioWindowController::prepareForClose() {
    m_idlePolicy->stopIdleMonitor();
    m_cloudPhoneEventMonitor.reset();
    m_input->releaseKeyMappingContacts();

    CloudPhoneCommunicator& communicator = *m_environment.communicator;
    if (communicator.inputSyncMainDeviceID() == deviceKey()) {
        // The page hears that sync ended before the session ends it.
        if (DeviceWindowPageLink* link = m_environment.pageLink()) {
            link->sendBatchControlStatus(2);
        }
        communicator.disableInputSync();
        for (AspectRatioWindowController* other : WindowManager::shared().windows()) {
            if (other != this) {
                other->updateInputSyncToolbarItem();
            }
        }
    }
    communicator.stopRealTimePlay(deviceKey());
    m_environment.activeManager->clearActiveDevice(m_identity.deviceID);
    m_environment.sentry->clearActiveCloudDevice(m_identity.deviceID);
    m_input->deactivateTextInput();
    return true;
}

void AspectRatioWindowController::windowWillClose() {
    m_didClose = true;
    WindowManager::shared().removeWindow(this);
    m_environment.notifications->removeObserver(this);
    m_cloudPhoneEventMonitor.reset();
    deleteLater();
}
