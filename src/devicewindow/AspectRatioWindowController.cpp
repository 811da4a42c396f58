#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/CommandProcessor.h"
#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/DeviceWindowLayout.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/KeyMappingOverlayController.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/LocalEventMonitor.h"
#include "devicewindow/WindowGeometryController.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/ProcessMemory.h"
#include "foundation/settings/SettingsManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"

#include <QEvent>
#include <QMainWindow>
#include <QToolButton>
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
    VideoQuality selectedVideoQuality() const override { return m_window.m_selectedVideoQuality; }
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
      m_environment(std::move(environment)),
      m_idleStream(std::make_unique<IdleStream>(*this)) {
    m_idlePolicy =
        std::make_unique<IdlePolicy>(*m_idleStream, *m_environment.settings, m_environment.clock,
                                     m_environment.idleCheckInterval);
    m_window = std::make_unique<QMainWindow>();
    m_views.window = m_window.get();
    m_window->setProperty(kControllerProperty, QVariant::fromValue<QObject*>(this));
    m_window->setGeometry(QRect(WindowGeometryController::kInitialContentOrigin,
                                WindowGeometryController::kInitialContentSize.toSize()));
    m_window->installEventFilter(this);
    m_geometry = std::make_unique<WindowGeometryController>(
        m_views, m_identity, *m_environment.settings, *m_environment.communicator,
        [this] { return isKeyMappingPanelVisible(); }, int(m_visibleRightButtons.size()));
    m_keyMappingOverlay = std::make_unique<KeyMappingOverlayController>(
        m_views, m_identity, *m_keyMappingViewModel, *m_environment.communicator, *m_geometry,
        [this] { return isKeyMappingPanelVisible(); });
    connect(m_geometry.get(), &WindowGeometryController::frameDidChange, this, [this] {
        refreshPingAfterResize();
        m_keyMappingOverlay->scheduleKeyMappingOverlayRefresh();
    });
    connect(m_geometry.get(), &WindowGeometryController::rotationDidChange,
            m_keyMappingOverlay.get(),
            &KeyMappingOverlayController::scheduleKeyMappingOverlayRefresh);
    connect(m_geometry.get(), &WindowGeometryController::liveResizeDidEnd, this, [this] {
        if (m_pendingPingAppearanceRefresh) {
            m_pendingPingAppearanceRefresh = false;
            updatePingButtonAppearance();
        }
        m_keyMappingOverlay->liveResizeDidEnd();
    });

    const QPointer<AspectRatioWindowController> weakSelf(this);
    m_keyMappingViewModel->onChange = [weakSelf] {
        if (weakSelf && weakSelf->m_keyMappingPanelController) {
            weakSelf->m_keyMappingPanelController->updateKeyMappingStatus();
        }
    };

    setupToolbar();
    setupUI();

    m_geometry->applyInitialSize();
    registerNotificationObservers();
    m_environment.notifications->addObserver(
        this, CommandProcessor::kAspectRatioCommand, [this](const Notification& notification) {
            m_geometry->applyAspectRatioCommand(notification.userInfo);
        });
    m_geometry->updateMinWindowSize();
    installEventMonitor();
    m_idlePolicy->applyIdlePolicy();
    startCloudPhoneConnection();
}

AspectRatioWindowController::~AspectRatioWindowController() {
    m_cloudPhoneEventMonitor.reset();
    NotificationCenter::defaultCenter().removeObserver(this);
    WindowManager::shared().removeWindow(this);
    // A controller deleted without a close must not leave the stream drawing into its views.
    CloudPhoneCommunicator& communicator = *m_environment.communicator;
    const QPointer<QWidget> player = communicator.playerView(deviceKey());
    if (player && m_views.mainView && m_views.mainView->isAncestorOf(player)) {
        communicator.stopRealTimePlay(deviceKey());
    }
    // The views go while every member they report to still exists.
    m_isTearingDown = true;
    m_input->stopTakingInput();
    m_window.reset();
    // A stream's frames were freed into the arenas of the threads that drew them.
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
bool AspectRatioWindowController::isIMEInputActive() const {
    return m_connection->isIMEInputActive();
}

void AspectRatioWindowController::setupUI() {
    auto* content = new QWidget;
    m_window->setCentralWidget(content);
    m_views.contentView = content;
    content->installEventFilter(this);

    m_views.mainViewportContainer = new QWidget(content);
    m_views.mainViewportContainer->setObjectName(QStringLiteral("mainViewportContainer"));
    m_views.mainViewportContainer->setAutoFillBackground(true);
    QPalette black = m_views.mainViewportContainer->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_views.mainViewportContainer->setPalette(black);
    m_views.mainViewportContainer->installEventFilter(this);

    m_views.mainView = new QWidget(m_views.mainViewportContainer);
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

    // Buttons that no strip shows stay here, hidden.
    m_views.unplacedButtons = new QWidget(content);
    m_views.unplacedButtons->hide();

    m_connection = std::make_unique<DeviceStreamConnection>(
        m_identity, *m_environment.communicator, *m_environment.settings,
        m_views.mainViewportContainer, m_views.mainView);
    connect(m_connection.get(), &DeviceStreamConnection::deviceOrientationDidArrive,
            m_geometry.get(), &WindowGeometryController::applyDeviceOrientation);
    connect(m_connection.get(), &DeviceStreamConnection::roundTripTimeDidChange, this,
            [this](int rtt) {
                m_currentRTT = rtt;
                if (m_geometry->isWindowLiveResizing()) {
                    m_pendingPingAppearanceRefresh = true;
                } else {
                    updatePingButtonAppearance();
                }
            });
    m_input = std::make_unique<DeviceWindowInput>(
        m_views, m_identity, *m_keyMappingViewModel, *m_environment.communicator,
        *m_environment.activeManager, *m_environment.language, *m_connection, *m_idlePolicy,
        [this] { return isKeyMappingPanelVisible(); });
    connect(m_connection.get(), &DeviceStreamConnection::deviceInputMethodDidOpen, m_input.get(),
            &DeviceWindowInput::deviceInputMethodDidOpen);
    m_keyMappingPanelController = std::make_unique<KeyMappingPanelController>(
        m_views, m_identity, *m_keyMappingViewModel, *m_environment.communicator,
        *m_environment.keyMappingStore, *m_geometry, *m_keyMappingOverlay, *m_input,
        [this](int width) { setKeyMappingPanelWidth(width); });
    connect(m_keyMappingPanelController.get(), &KeyMappingPanelController::visibilityDidChange,
            this, [this](bool visible) {
                if (m_keyboardMappingBtn) {
                    m_keyboardMappingBtn->setCheckable(true);
                    m_keyboardMappingBtn->setChecked(visible);
                }
            });
    connect(m_keyMappingOverlay.get(), &KeyMappingOverlayController::keyMappingsDidChange,
            m_keyMappingPanelController.get(), &KeyMappingPanelController::updateKeyMappingStatus);
    connect(m_connection.get(), &DeviceStreamConnection::reconnectCloudPhoneClicked, this, [this] {
        m_idlePolicy->reconnectCloudPhone();
        if (m_views.contentView) {
            m_views.contentView->setFocus(Qt::OtherFocusReason);
        }
    });
    layoutViewTree();
    buildControlButtons();
    layoutControlButtons();
    updatePingButtonAppearance();
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

void AspectRatioWindowController::startCloudPhoneConnection() {
    m_connection->startCloudPhoneConnection(m_selectedVideoQuality,
                                            m_idlePolicy->isCloudPhoneIdleDisconnectEnabled());
}

void AspectRatioWindowController::refreshLocalizedTexts() {
    for (const ControlButtonDescriptor& descriptor : controlButtonDescriptors()) {
        if (QToolButton* button = controlButton(descriptor.id)) {
            const std::optional<QString> title =
                descriptor.titleProvider ? descriptor.titleProvider() : std::nullopt;
            if (descriptor.placement == ControlButtonPlacement::right) {
                ControlButtonStrip::setRightButtonTitle(button, title.value_or(QString()));
            } else {
                button->setText(title.value_or(QString()));
            }
        }
    }
    updateQualityToolbarItem();
    updatePingButtonAppearance();
}

void AspectRatioWindowController::languageDidChange() {
    refreshLocalizedTexts();
}

bool AspectRatioWindowController::isKeyMappingPanelVisible() const {
    return m_keyMappingPanelController && m_keyMappingPanelController->isKeyMappingPanelVisible();
}

void AspectRatioWindowController::refreshPingAfterResize() {
    if (m_geometry->isWindowLiveResizing()) {
        m_pendingPingAppearanceRefresh = true;
    } else {
        updatePingButtonAppearance();
    }
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

bool AspectRatioWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (m_isTearingDown) {
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
