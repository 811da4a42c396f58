#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/DeviceWindowIcons.h"
#include "devicewindow/DeviceWindowImages.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/WindowActiveManager.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/settings/ColorExtensions.h"
#include "foundation/settings/LanguageManager.h"

#include <QMainWindow>
#include <QToolButton>

#include <algorithm>

namespace {

const char* const kImageProperty = "controlButtonImage";
constexpr QSize kIconSize(18, 18);

std::function<std::optional<QString>()> localized(const QString& key) {
    return [key]() -> std::optional<QString> {
        return LanguageManager::shared().bundle().localizedString(key, key);
    };
}

}  // namespace

QList<AspectRatioWindowController::ControlButtonDescriptor>
AspectRatioWindowController::controlButtonDescriptors() {
    using C = AspectRatioWindowController;
    const auto bottom = ControlButtonPlacement::bottom;
    const auto right = ControlButtonPlacement::right;
    return {
        {ControlButtonID::back, bottom, QStringLiteral("back"), {}, &C::backBtnClick},
        {ControlButtonID::home, bottom, QStringLiteral("home"), {}, &C::homeBtnClick},
        {ControlButtonID::overview, bottom, QStringLiteral("overview"), {}, &C::switchBtnClick},
        {ControlButtonID::ping, right, QStringLiteral("ping"),
         [this]() -> std::optional<QString> { return pingButtonTitle(); }, &C::pingBtnClick},
        {ControlButtonID::volumeUp, right, QStringLiteral("volumeUp"),
         localized(QStringLiteral("音量high")), &C::volumeUpBtnClick},
        {ControlButtonID::volumeDown, right, QStringLiteral("volumeDown"),
         localized(QStringLiteral("音量low")), &C::volumeDownBtnClick},
        {ControlButtonID::rotation, right, QStringLiteral("rotation"),
         localized(QStringLiteral("旋转")), &C::rotationBtnClick},
        {ControlButtonID::snapshot, right, QStringLiteral("snapshot"),
         localized(QStringLiteral("截图")), &C::snapshotBtnClick},
        {ControlButtonID::keyboardMapping, right, QStringLiteral("keyboard"),
         localized(QStringLiteral("按键")), &C::keyboardMappingBtnClick},
        {ControlButtonID::install, right, QStringLiteral("install"),
         localized(QStringLiteral("安装")), &C::installBtnClick},
        {ControlButtonID::previous, right, QStringLiteral("previous"),
         localized(QStringLiteral("上一台")), &C::previousBtnClick},
        {ControlButtonID::next, right, QStringLiteral("next"), localized(QStringLiteral("下一台")),
         &C::nextBtnClick},
    };
}

QToolButton* AspectRatioWindowController::makeControlButton(
    const ControlButtonDescriptor& descriptor) {
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

void AspectRatioWindowController::buildControlButtons() {
    m_buttonRegistry.clear();
    for (const ControlButtonDescriptor& descriptor : controlButtonDescriptors()) {
        if (QToolButton* replaced = m_buttonRegistry.value(descriptor.id)) {
            replaced->deleteLater();
        }
        m_buttonRegistry.insert(descriptor.id, makeControlButton(descriptor));
    }
    bindControlButtonOutlets();
}

void AspectRatioWindowController::bindControlButtonOutlets() {
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

QToolButton* AspectRatioWindowController::controlButton(ControlButtonID id) const {
    return m_buttonRegistry.value(id);
}

QToolButton* AspectRatioWindowController::pingBtn() const {
    return m_pingBtn;
}

void AspectRatioWindowController::layoutControlButtons() {
    layoutBottomButtons();
    layoutRightButtons();
    m_controlButtons.clear();
    for (ControlButtonID id : m_visibleRightButtons) {
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

void AspectRatioWindowController::layoutBottomButtons() {
    if (m_views.bottomButtonsContainer) {
        m_views.bottomButtonsContainer->setButtons(
            stripButtons(m_visibleBottomButtons, m_buttonRegistry), m_views.unplacedButtons);
    }
}

void AspectRatioWindowController::layoutRightButtons() {
    if (m_views.rightButtonsContainer) {
        m_views.rightButtonsContainer->setButtons(
            stripButtons(m_visibleRightButtons, m_buttonRegistry), m_views.unplacedButtons);
    }
}

QString AspectRatioWindowController::pingButtonTitle() const {
    const int rtt = std::clamp(m_currentRTT, 0, 999);
    // A short window has no room for the unit.
    if (m_window && m_window->frameGeometry().height() <= 420) {
        return QString::number(rtt);
    }
    return QString::number(rtt) + QStringLiteral("ms");
}

QColor AspectRatioWindowController::pingColor(int rtt) {
    if (rtt <= 199) {
        return colorFromHex(QStringLiteral("#37C98C"), 1.0);
    }
    if (rtt <= 399) {
        return colorFromHex(QStringLiteral("#FE9800"), 1.0);
    }
    return colorFromHex(QStringLiteral("#FE3D00"), 1.0);
}

void AspectRatioWindowController::updatePingButtonAppearance() {
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

void AspectRatioWindowController::registerNotificationObservers() {
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationNames::languageDidChange,
        [this](const Notification&) { languageDidChange(); });
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationNames::reduceBitrateMode,
        [this](const Notification&) { handleReduceBitrateMode(); });
    WindowActiveManager::shared().setActiveDevice(m_identity.deviceID);
}

void AspectRatioWindowController::keyboardMappingBtnClick() {
    if (isActiveDeviceWindow()) {
        KeyMappingPanelController& panel = *m_keyMappingPanelController;
        const bool wasVisible = panel.isKeyMappingPanelVisible();
        panel.setKeyMappingPanelVisible(!wasVisible);
        if (!wasVisible) {
            panel.matchKeyMappingPlanForCurrentGame();
        }
    }
    // A click may have toggled the button by itself; it always shows the panel's state.
    if (m_keyboardMappingBtn) {
        m_keyboardMappingBtn->setCheckable(true);
        m_keyboardMappingBtn->setChecked(isKeyMappingPanelVisible());
    }
}

// The network indicator only shows the delay, and the install button is never placed.
void AspectRatioWindowController::pingBtnClick() {}
void AspectRatioWindowController::installBtnClick() {}
