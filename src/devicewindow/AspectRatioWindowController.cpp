#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/ConnectionSpinner.h"
#include "devicewindow/DeviceWindowHandlers.h"
#include "devicewindow/DeviceWindowImages.h"
#include "devicewindow/DeviceWindowLayout.h"
#include "devicewindow/LocalEventMonitor.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/ProcessMemory.h"
#include "foundation/settings/SettingsManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QToolButton>

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

QColor calibrated(double red, double green, double blue, double alpha = 1) {
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

}  // namespace

AspectRatioWindowController::AspectRatioWindowController(qint64 deviceID, const QString& deviceName,
                                                         QObject* parent)
    : QObject(parent),
      m_keyMappingViewModel(std::make_unique<KeyMappingViewModel>()),
      m_deviceID(deviceID),
      m_deviceName(deviceName) {
    m_window = std::make_unique<QMainWindow>();
    m_window->setProperty(kControllerProperty, QVariant::fromValue<QObject*>(this));
    m_window->setGeometry(QRect(kInitialContentOrigin, kInitialContentSize.toSize()));
    m_window->installEventFilter(this);

    const QPointer<AspectRatioWindowController> weakSelf(this);
    m_keyMappingViewModel->onChange = [weakSelf] {
        if (weakSelf) {
            weakSelf->updateKeyMappingStatus();
        }
    };

    setupToolbar();
    setupUI();

    if (const std::optional<QSizeF> size = initialContentSize()) {
        m_window->setMinimumSize(0, 0);
        applyFrameSize(*size);
        updateMinWindowSize();
    } else {
        applyInitialContentSize();
    }
    registerNotificationObservers();
    registerGeometryObservers();
    m_lastCloudPhoneInteractionDate = now();
    installEventMonitor();
    applyIdlePolicy();
    startCloudPhoneConnection();
}

AspectRatioWindowController::~AspectRatioWindowController() {
    m_cloudPhoneEventMonitor.reset();
    NotificationCenter::defaultCenter().removeObserver(this);
    WindowManager::shared().removeWindow(this);
    // A controller deleted without a close must not leave the stream drawing into its views.
    auto& communicator = CloudPhoneCommunicator::shared();
    const QPointer<QWidget> player = communicator.playerView(deviceKey());
    if (player && m_mainView && m_mainView->isAncestorOf(player)) {
        communicator.stopRealTimePlay(deviceKey());
    }
    // The views go while every member they report to still exists.
    m_isTearingDown = true;
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
    return m_contentView;
}
QWidget* AspectRatioWindowController::mainViewportContainer() const {
    return m_mainViewportContainer;
}
QWidget* AspectRatioWindowController::mainView() const {
    return m_mainView;
}
ControlButtonStrip* AspectRatioWindowController::rightButtonsContainer() const {
    return m_rightButtonsContainer;
}
ControlButtonStrip* AspectRatioWindowController::bottomButtonsContainer() const {
    return m_bottomButtonsContainer;
}
QWidget* AspectRatioWindowController::keyMappingPanel() const {
    return m_keyMappingPanel;
}
QWidget* AspectRatioWindowController::cloudPhoneConnectionOverlay() const {
    return m_cloudPhoneConnectionOverlay;
}
ConnectionSpinner* AspectRatioWindowController::cloudPhoneLoadingIndicator() const {
    return m_cloudPhoneLoadingIndicator;
}
QPushButton* AspectRatioWindowController::reconnectCloudPhoneButton() const {
    return m_reconnectCloudPhoneButton;
}

void AspectRatioWindowController::setupUI() {
    auto* content = new QWidget;
    m_window->setCentralWidget(content);
    m_contentView = content;
    content->installEventFilter(this);

    m_mainViewportContainer = new QWidget(content);
    m_mainViewportContainer->setObjectName(QStringLiteral("mainViewportContainer"));
    m_mainViewportContainer->setAutoFillBackground(true);
    QPalette black = m_mainViewportContainer->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_mainViewportContainer->setPalette(black);
    m_mainViewportContainer->installEventFilter(this);

    m_mainView = new QWidget(m_mainViewportContainer);
    m_mainView->setObjectName(QStringLiteral("mainView"));

    m_rightButtonsContainer = new ControlButtonStrip(ControlButtonPlacement::right, content);
    m_rightButtonsContainer->setObjectName(QStringLiteral("rightButtonsContainer"));
    m_bottomButtonsContainer = new ControlButtonStrip(ControlButtonPlacement::bottom, content);
    m_bottomButtonsContainer->setObjectName(QStringLiteral("bottomButtonsContainer"));

    m_keyMappingPanel = new QWidget(content);
    m_keyMappingPanel->setObjectName(QStringLiteral("keyMappingPanel"));
    m_keyMappingPanel->setAutoFillBackground(true);
    m_keyMappingPanel->hide();

    // Buttons that no strip shows stay here, hidden.
    m_unplacedButtons = new QWidget(content);
    m_unplacedButtons->hide();

    setupConnectionOverlay();
    layoutViewTree();
    buildControlButtons();
    layoutControlButtons();
    updatePingButtonAppearance();
}

void AspectRatioWindowController::setupConnectionOverlay() {
    auto* overlay = new QWidget(m_mainViewportContainer);
    overlay->setObjectName(QStringLiteral("cloudPhoneConnectionOverlay"));
    overlay->hide();
    overlay->setAutoFillBackground(true);
    QPalette black = overlay->palette();
    black.setColor(QPalette::Window, Qt::black);
    overlay->setPalette(black);
    m_cloudPhoneConnectionOverlay = overlay;

    m_connectionBackgroundView = new QLabel(overlay);
    m_connectionBackgroundView->setScaledContents(true);
    m_connectionBackgroundView->setPixmap(DeviceWindowImages::loadingBackground());

    m_cloudPhoneLoadingIndicator = new ConnectionSpinner(overlay);
    m_cloudPhoneLoadingIndicator->resize(36, 36);

    auto* button = new QPushButton(QStringLiteral("Reconnect"), overlay);
    button->setObjectName(QStringLiteral("reconnectCloudPhoneButton"));
    button->hide();
    button->resize(136, 44);
    button->setCursor(Qt::PointingHandCursor);
    QFont font = button->font();
    font.setPixelSize(15);
    font.setWeight(QFont::DemiBold);
    button->setFont(font);
    const QColor text = calibrated(0.08, 0.08, 0.08);
    const QColor border = calibrated(0.61, 0.46, 0.93);
    button->setStyleSheet(QStringLiteral("QPushButton { background: white; color: %1;"
                                         " border: 3px solid %2; border-radius: 8px; }")
                              .arg(text.name(), border.name()));
    auto* shadow = new QGraphicsDropShadowEffect(button);
    shadow->setColor(calibrated(0.22, 0.08, 0.55, 0.28));
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 2);
    button->setGraphicsEffect(shadow);
    connect(button, &QPushButton::clicked, this,
            &AspectRatioWindowController::reconnectCloudPhoneClick);
    m_reconnectCloudPhoneButton = button;

    layoutConnectionOverlay();
}

void AspectRatioWindowController::layoutConnectionOverlay() {
    if (!m_cloudPhoneConnectionOverlay || !m_mainViewportContainer) {
        return;
    }
    const QRect bounds = m_mainViewportContainer->rect();
    m_cloudPhoneConnectionOverlay->setGeometry(bounds);
    m_connectionBackgroundView->setGeometry(bounds);
    QRect spinner(0, 0, 36, 36);
    spinner.moveCenter(bounds.center());
    m_cloudPhoneLoadingIndicator->setGeometry(spinner);
    QRect button(0, 0, 136, 44);
    button.moveCenter(bounds.center());
    m_reconnectCloudPhoneButton->setGeometry(button);
}

void AspectRatioWindowController::setKeyMappingPanelWidth(int width) {
    m_keyMappingPanelWidth = qMax(width, 0);
    layoutViewTree();
}

void AspectRatioWindowController::layoutViewTree() {
    if (!m_contentView) {
        return;
    }
    const DeviceWindowLayout layout =
        DeviceWindowLayout::compute(m_contentView->size(), m_keyMappingPanelWidth);
    m_mainViewportContainer->setGeometry(layout.mainViewportContainer);
    m_rightButtonsContainer->setGeometry(layout.rightButtonsContainer);
    m_bottomButtonsContainer->setGeometry(layout.bottomButtonsContainer);
    m_rightButtonsContainer->placeButtons();
    m_bottomButtonsContainer->placeButtons();
    m_keyMappingPanel->setGeometry(layout.keyMappingPanel);
    updateMainViewConstraints();
    layoutConnectionOverlay();
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
            return weakSelf && weakSelf->handleMouseEventForKeyMapping(receiver, event);
        });
}

DeviceRealTimeOptions& AspectRatioWindowController::realTimeOptions() {
    if (!m_realTimeOptions) {
        DeviceRealTimeOptions options;
        options.displaySize = QSizeF(720, 1280);
        options.videoQuality = VideoQuality::p480;
        options.codecFormat = CodecFormat::H265;
        options.fps = 30;
        options.streamTimeout = 15;
        options.operationTimeout = 0;
        options.connectType = DeviceConnectType::udp;
        options.muted = true;
        m_realTimeOptions = options;
    }
    return *m_realTimeOptions;
}

void AspectRatioWindowController::startCloudPhoneConnection() {
    if (m_cloudPhoneConnectionOverlay) {
        m_cloudPhoneConnectionOverlay->show();
        m_cloudPhoneConnectionOverlay->raise();
        m_reconnectCloudPhoneButton->hide();
        m_cloudPhoneLoadingIndicator->startAnimation();
    }
    const QString key = deviceKey();
    // Exactly "off" unmutes; the page writes it so, and anything else keeps the sound off.
    const bool muted =
        SettingsManager::shared().string(SettingKey::cloudphoneMuted) != QStringLiteral("off");

    DeviceRealTimeOptions& options = realTimeOptions();
    options.videoQuality = m_selectedVideoQuality;
    options.codecFormat = CodecFormat::H265;
    options.operationTimeout = m_isCloudPhoneIdleDisconnectEnabled ? 180 : 0;
    options.connectType = DeviceConnectType::udp;
    options.muted = muted;

    const QPointer<AspectRatioWindowController> weakSelf(this);
    CloudPhoneCommunicator::shared().updateDevice(
        key, DeviceConnectType::udp, [weakSelf, key](bool) {
            if (!weakSelf || weakSelf->deviceKey() != key) {
                return;
            }
            auto& communicator = CloudPhoneCommunicator::shared();
            if (weakSelf->m_mainView) {
                communicator.startRealTimePlay(
                    key, weakSelf->realTimeOptions(),
                    std::make_shared<DeviceWindowEventHandler>(weakSelf),
                    std::make_shared<DeviceWindowStreamHandler>(weakSelf), weakSelf->m_mainView);
            }
            communicator.setKeyboard(DeviceKeyboardType::external, key);
            communicator.fetchDiskInfo(key, [weakSelf](const std::optional<QVariantMap>& info,
                                                       const std::optional<Error>&) {
                // The answer comes on the SDK's thread.
                MainQueue::async([weakSelf, info] {
                    if (weakSelf) {
                        weakSelf->diskInfoDidArrive(info);
                    }
                });
            });
        });
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

bool AspectRatioWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (m_isTearingDown) {
        return false;
    }
    if (watched == m_window.get()) {
        handleWindowGeometryEvent(event);
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
    } else if (watched == m_contentView && event->type() == QEvent::Resize) {
        layoutViewTree();
    } else if (watched == m_mainViewportContainer && event->type() == QEvent::Resize) {
        updateMainViewConstraints();
        layoutConnectionOverlay();
    }
    return QObject::eventFilter(watched, event);
}

// Hooks the window's other parts fill in; until then they keep the plain behaviour.
void AspectRatioWindowController::diskInfoDidArrive(const std::optional<QVariantMap>&) {}
