#include "devicewindow/ControlButtonController.h"

#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowGuard.h"
#include "devicewindow/DeviceWindowIcons.h"
#include "devicewindow/DeviceWindowImages.h"
#include "devicewindow/DeviceWindowPageLink.h"
#include "devicewindow/DeviceWindowViews.h"
#include "devicewindow/FileRevealer.h"
#include "devicewindow/ImageSaveManager.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/WindowGeometryController.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/ColorExtensions.h"
#include "foundation/settings/LanguageManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QMainWindow>
#include <QPointer>
#include <QToolButton>

#include <algorithm>

namespace {

const char* const kImageProperty = "controlButtonImage";
constexpr QSize kIconSize(18, 18);

std::function<std::optional<QString>()> localized(const LanguageManager& language,
                                                  const QString& key) {
    return [&language, key]() -> std::optional<QString> {
        return language.bundle().localizedString(key, key);
    };
}

// The snapshot a device is asked for when the user presses the snapshot button.
const SnapshotOptions kSnapshotOptions{QSizeF(720, 1280), 100, ImageFormat::webP};

QString describe(const std::optional<SnapshotInfo>& info) {
    if (!info) {
        return QStringLiteral("nil");
    }
    const QString data =
        info->data ? QStringLiteral("%1 bytes").arg(info->data->size()) : QStringLiteral("nil");
    return QStringLiteral(
               "SnapshotInfo(options: %1, data: %2, rotation: %3, "
               "deviceOrientation: %4)")
        .arg(info->options.description(), data)
        .arg(info->rotation)
        .arg(info->deviceOrientation);
}

}  // namespace

ControlButtonController::ControlButtonController(
    const DeviceWindowViews& views, const DeviceIdentity& identity,
    CloudPhoneCommunicator& communicator, const DeviceWindowGuard& guard,
    const LanguageManager& language, ImageSaveManager& imageSaver, PageLinkProvider pageLink,
    WindowGeometryController& geometry, KeyMappingPanelController& keyMappingPanel, QObject* parent)
    : QObject(parent),
      m_views(views),
      m_identity(identity),
      m_communicator(communicator),
      m_guard(guard),
      m_language(language),
      m_imageSaver(imageSaver),
      m_pageLink(std::move(pageLink)),
      m_geometry(geometry),
      m_keyMappingPanel(keyMappingPanel) {
    connect(&m_keyMappingPanel, &KeyMappingPanelController::visibilityDidChange, this,
            &ControlButtonController::keyMappingPanelVisibilityDidChange);
    buildControlButtons();
    layoutControlButtons();
    updatePingButtonAppearance();
}

ControlButtonController::~ControlButtonController() = default;

const QList<ControlButtonID>& ControlButtonController::visibleBottomButtons() {
    static const QList<ControlButtonID> buttons{ControlButtonID::back, ControlButtonID::home,
                                                ControlButtonID::overview};
    return buttons;
}

const QList<ControlButtonID>& ControlButtonController::visibleRightButtons() {
    static const QList<ControlButtonID> buttons{
        ControlButtonID::ping,     ControlButtonID::volumeUp, ControlButtonID::volumeDown,
        ControlButtonID::rotation, ControlButtonID::snapshot, ControlButtonID::keyboardMapping,
        ControlButtonID::previous, ControlButtonID::next};
    return buttons;
}

QList<ControlButtonController::ControlButtonDescriptor>
ControlButtonController::controlButtonDescriptors() {
    using C = ControlButtonController;
    const auto bottom = ControlButtonPlacement::bottom;
    const auto right = ControlButtonPlacement::right;
    return {
        {ControlButtonID::back, bottom, QStringLiteral("back"), {}, &C::backBtnClick},
        {ControlButtonID::home, bottom, QStringLiteral("home"), {}, &C::homeBtnClick},
        {ControlButtonID::overview, bottom, QStringLiteral("overview"), {}, &C::switchBtnClick},
        {ControlButtonID::ping, right, QStringLiteral("ping"),
         [this]() -> std::optional<QString> { return pingButtonTitle(); }, &C::pingBtnClick},
        {ControlButtonID::volumeUp, right, QStringLiteral("volumeUp"),
         localized(m_language, QStringLiteral("音量high")), &C::volumeUpBtnClick},
        {ControlButtonID::volumeDown, right, QStringLiteral("volumeDown"),
         localized(m_language, QStringLiteral("音量low")), &C::volumeDownBtnClick},
        {ControlButtonID::rotation, right, QStringLiteral("rotation"),
         localized(m_language, QStringLiteral("旋转")), &C::rotationBtnClick},
        {ControlButtonID::snapshot, right, QStringLiteral("snapshot"),
         localized(m_language, QStringLiteral("截图")), &C::snapshotBtnClick},
        {ControlButtonID::keyboardMapping, right, QStringLiteral("keyboard"),
         localized(m_language, QStringLiteral("按键")), &C::keyboardMappingBtnClick},
        {ControlButtonID::install, right, QStringLiteral("install"),
         localized(m_language, QStringLiteral("安装")), &C::installBtnClick},
        {ControlButtonID::previous, right, QStringLiteral("previous"),
         localized(m_language, QStringLiteral("上一台")), &C::previousBtnClick},
        {ControlButtonID::next, right, QStringLiteral("next"),
         localized(m_language, QStringLiteral("下一台")), &C::nextBtnClick},
    };
}

QToolButton* ControlButtonController::makeControlButton(const ControlButtonDescriptor& descriptor) {
    QPixmap image = DeviceWindowImages::named(descriptor.imageName);
    if (image.isNull()) {
        image = DeviceWindowImages::systemSymbol(descriptor.id == ControlButtonID::keyboardMapping
                                                     ? QStringLiteral("keyboard")
                                                     : QStringLiteral("circle"));
    }

    auto* button = new QToolButton(m_views.unplacedButtons);
    button->setObjectName(rawValue(descriptor.id));
    button->setProperty(kImageProperty, image);
    button->setIcon(QIcon(image));
    button->setIconSize(kIconSize);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("QToolButton { background: transparent; border: none; }"));
    const ButtonAction action = descriptor.action;
    connect(button, &QToolButton::clicked, this, [this, action] { (this->*action)(); });

    const std::optional<QString> title =
        descriptor.titleProvider ? descriptor.titleProvider() : std::nullopt;
    if (title) {
        ControlButtonStrip::setRightButtonTitle(button, *title);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    } else {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    if (descriptor.placement == ControlButtonPlacement::bottom) {
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    return button;
}

void ControlButtonController::buildControlButtons() {
    m_buttonRegistry.clear();
    for (const ControlButtonDescriptor& descriptor : controlButtonDescriptors()) {
        if (QToolButton* replaced = m_buttonRegistry.value(descriptor.id)) {
            replaced->deleteLater();
        }
        m_buttonRegistry.insert(descriptor.id, makeControlButton(descriptor));
    }
    bindControlButtonOutlets();
}

void ControlButtonController::bindControlButtonOutlets() {
    m_backBtn = controlButton(ControlButtonID::back);
    m_homeBtn = controlButton(ControlButtonID::home);
    m_switchBtn = controlButton(ControlButtonID::overview);
    m_pingBtn = controlButton(ControlButtonID::ping);
    m_volumeUpBtn = controlButton(ControlButtonID::volumeUp);
    m_volumeDownBtn = controlButton(ControlButtonID::volumeDown);
    m_rotationBtn = controlButton(ControlButtonID::rotation);
    m_snapshotBtn = controlButton(ControlButtonID::snapshot);
    m_keyboardMappingBtn = controlButton(ControlButtonID::keyboardMapping);
    m_installBtn = controlButton(ControlButtonID::install);
    m_previousBtn = controlButton(ControlButtonID::previous);
    m_nextBtn = controlButton(ControlButtonID::next);
}

QToolButton* ControlButtonController::controlButton(ControlButtonID id) const {
    return m_buttonRegistry.value(id);
}

QToolButton* ControlButtonController::pingBtn() const {
    return m_pingBtn;
}

void ControlButtonController::layoutControlButtons() {
    layoutBottomButtons();
    layoutRightButtons();
    m_controlButtons.clear();
    for (ControlButtonID id : visibleRightButtons()) {
        if (QToolButton* button = controlButton(id)) {
            m_controlButtons.append(button);
        }
    }
}

namespace {

QList<QAbstractButton*> stripButtons(
    const QList<ControlButtonID>& ids,
    const QHash<ControlButtonID, QPointer<QToolButton>>& registry) {
    QList<QAbstractButton*> buttons;
    for (ControlButtonID id : ids) {
        if (QToolButton* button = registry.value(id)) {
            buttons.append(button);
        }
    }
    return buttons;
}

}  // namespace

void ControlButtonController::layoutBottomButtons() {
    if (m_views.bottomButtonsContainer) {
        m_views.bottomButtonsContainer->setButtons(
            stripButtons(visibleBottomButtons(), m_buttonRegistry), m_views.unplacedButtons);
    }
}

void ControlButtonController::layoutRightButtons() {
    if (m_views.rightButtonsContainer) {
        m_views.rightButtonsContainer->setButtons(
            stripButtons(visibleRightButtons(), m_buttonRegistry), m_views.unplacedButtons);
    }
}

QString ControlButtonController::pingButtonTitle() const {
    const int rtt = std::clamp(m_currentRTT, 0, 999);
    // A short window has no room for the unit.
    if (m_views.window && m_views.window->frameGeometry().height() <= 420) {
        return QString::number(rtt);
    }
    return QString::number(rtt) + QStringLiteral("ms");
}

QColor ControlButtonController::pingColor(int rtt) {
    if (rtt <= 199) {
        return colorFromHex(QStringLiteral("#37C98C"), 1.0);
    }
    if (rtt <= 399) {
        return colorFromHex(QStringLiteral("#FE9800"), 1.0);
    }
    return colorFromHex(QStringLiteral("#FE3D00"), 1.0);
}

void ControlButtonController::updatePingButtonAppearance() {
    QToolButton* button = m_pingBtn;
    if (!button) {
        return;
    }
    const QColor color = pingColor(m_currentRTT);
    ControlButtonStrip::setRightButtonTitle(button, pingButtonTitle());
    const QPixmap image = button->property(kImageProperty).value<QPixmap>();
    if (!image.isNull()) {
        button->setIcon(QIcon(DeviceWindowIcons::tinted(image, color)));
    }
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::WindowText, color);
    button->setPalette(palette);
}

void ControlButtonController::keyboardMappingBtnClick() {
    // The panel opens and closes also while the stream is stopped for idleness.
    if (m_guard.isActiveDeviceWindow()) {
        const bool wasVisible = m_keyMappingPanel.isKeyMappingPanelVisible();
        m_keyMappingPanel.setKeyMappingPanelVisible(!wasVisible);
        if (!wasVisible) {
            m_keyMappingPanel.matchKeyMappingPlanForCurrentGame();
        }
    }
    // A click may have toggled the button by itself; it always shows the panel's state.
    keyMappingPanelVisibilityDidChange(m_keyMappingPanel.isKeyMappingPanelVisible());
}

// The network indicator only shows the delay, and the install button is never placed.
void ControlButtonController::pingBtnClick() {}
void ControlButtonController::installBtnClick() {}

void ControlButtonController::sendDeviceButton(DeviceTouchName name) {
    m_communicator.sendTouchEvent(name, DeviceTouchEvent::downAndUp, m_identity.deviceKey());
}

void ControlButtonController::openAdjacentDevice(bool previous) {
    if (DeviceWindowPageLink* link = m_pageLink()) {
        link->sendOpenNewCloudphone(static_cast<int>(m_identity.deviceID), previous);
    }
}

// Device buttons act only in the window the user works in, and not on a stream that was
// stopped for idleness.
void ControlButtonController::backBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::back);
}

void ControlButtonController::homeBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::home);
}

void ControlButtonController::switchBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::overview);
}

void ControlButtonController::volumeUpBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::volumeUp);
}

void ControlButtonController::volumeDownBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::volumeDown);
}

void ControlButtonController::rotationBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    // Turning to landscape is a quarter turn, turning back is none; the player turns with it.
    const bool landscape = !m_geometry.isLandscape();
    m_geometry.setRotation(landscape, landscape ? 90 : 0, true);
}

void ControlButtonController::previousBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    openAdjacentDevice(true);
}

void ControlButtonController::nextBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    openAdjacentDevice(false);
}

void ControlButtonController::snapshotBtnClick() {
    if (!m_guard.isActiveAndConnected()) {
        return;
    }
    const QPointer<ControlButtonController> weakSelf(this);
    m_communicator.captureSnapshot(
        m_identity.deviceKey(), kSnapshotOptions,
        [weakSelf](const std::optional<SnapshotInfo>& info, const QString& deviceID,
                   const std::optional<Error>& error) {
            // A window closed meanwhile saves nothing.
            if (weakSelf) {
                weakSelf->snapshotDidArrive(info, deviceID, error);
            }
        });
}

void ControlButtonController::snapshotDidArrive(const std::optional<SnapshotInfo>& info,
                                                const QString& deviceID,
                                                const std::optional<Error>& error) {
    if (error) {
        return;
    }
    KXLog(QStringLiteral("预览图： deviceID：") + deviceID + QStringLiteral(" image:") +
              describe(info),
          LogTag::video, LogLevel::info);
    if (!info || !info->data) {
        return;
    }
    // Named after the device the picture is of: the window may show another one by now.
    m_imageSaver.saveWebPImage(
        *info->data, ImageSaveManager::snapshotFileName(deviceID.toInt()),
        [](const ImageSaveManager::SaveResult& result) {
            if (!result) {
                KXLog(QStringLiteral("❌ 保存失败: ") + result.error().message, LogTag::video,
                      LogLevel::error);
                return;
            }
            KXLog(QStringLiteral("✅ 保存成功: ") + result.value().toLocalFile(), LogTag::video,
                  LogLevel::info);
            FileRevealer::reveal(result.value());
        });
}

void ControlButtonController::keyMappingPanelVisibilityDidChange(bool visible) {
    if (m_keyboardMappingBtn) {
        m_keyboardMappingBtn->setCheckable(true);
        m_keyboardMappingBtn->setChecked(visible);
    }
}

void ControlButtonController::refreshButtonTitles() {
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
}

void ControlButtonController::setCurrentRTT(int rtt) {
    m_currentRTT = rtt;
    refreshPingAfterResize();
}

void ControlButtonController::refreshPingAfterResize() {
    if (m_geometry.isWindowLiveResizing()) {
        m_pendingPingAppearanceRefresh = true;
    } else {
        updatePingButtonAppearance();
    }
}

void ControlButtonController::liveResizeDidEnd() {
    if (m_pendingPingAppearanceRefresh) {
        m_pendingPingAppearanceRefresh = false;
        updatePingButtonAppearance();
    }
}
