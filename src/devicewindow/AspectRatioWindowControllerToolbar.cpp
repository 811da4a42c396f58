#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/DeviceWindowIcons.h"
#include "devicewindow/DeviceWindowPageLink.h"
#include "devicewindow/WindowGeometryController.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/LanguageManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <array>

namespace {

// Which image a toolbar button shows and in which tint; read back by the window's tests.
const char* const kImageNameProperty = "imageName";
const char* const kTintProperty = "tint";
const char* const kPaletteLabelProperty = "paletteLabel";

const QColor kSystemOrange(255, 149, 0);
const QColor kSystemGreen(52, 199, 89);
const QColor kSystemBlue(10, 132, 255);
constexpr QSize kToolbarIconSize(16, 16);

struct QualityChoice {
    const char16_t* titleKey;
    VideoQuality quality;
};
// In menu order; the position is the menu item's tag.
const std::array<QualityChoice, 4> kQualityChoices{{
    {u"超清", VideoQuality::p1080},
    {u"高清", VideoQuality::p720},
    {u"标清", VideoQuality::p480},
    {u"流畅", VideoQuality::p360},
}};

QString localized(const QString& key) {
    return LanguageManager::shared().bundle().localizedString(key, key);
}

QString localized(const char16_t* key) {
    return localized(QString::fromUtf16(key));
}

void setButtonImage(QToolButton* button, const QString& imageName,
                    const std::optional<QColor>& tint) {
    // Untinted, the image takes the button's text colour.
    const QColor color = tint.value_or(button->palette().color(QPalette::ButtonText));
    button->setIcon(QIcon(DeviceWindowIcons::tinted(DeviceWindowIcons::drawn(imageName), color)));
    button->setProperty(kImageNameProperty, imageName);
    button->setProperty(kTintProperty, tint ? QVariant(*tint) : QVariant());
}

QToolButton* makeToolbarButton() {
    auto* button = new QToolButton;
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(kToolbarIconSize);
    return button;
}

// The quality entries of both the pop-up menu and the item's menu form.
void addQualityEntries(QMenu* menu, AspectRatioWindowController* controller,
                       const QString& currentQuality) {
    for (int tag = 0; tag < int(kQualityChoices.size()); ++tag) {
        const QString title = localized(kQualityChoices[tag].titleKey);
        QAction* item = menu->addAction(title);
        item->setData(tag);
        item->setCheckable(true);
        item->setChecked(title == currentQuality);
        QObject::connect(item, &QAction::triggered, controller,
                         [controller, item] { controller->selectQuality(item); });
    }
}

}  // namespace

void AspectRatioWindowController::setupToolbar() {
    if (!m_window) {
        return;
    }
    m_window->setWindowTitle(m_identity.deviceName);
    m_geometry->updateMinWindowSize();
    rebuildToolbar();
}

void AspectRatioWindowController::rebuildToolbar() {
    if (!m_window) {
        return;
    }
    if (m_toolbar) {
        m_window->removeToolBar(m_toolbar);
        delete m_toolbar;
    }
    auto* toolbar = new QToolBar(m_window.get());
    toolbar->setObjectName(toolbarIdentifier);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // No customisation: the toolbar cannot be hidden or rearranged by the user.
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar->toggleViewAction()->setVisible(false);
    m_window->addToolBar(Qt::TopToolBarArea, toolbar);
    m_toolbar = toolbar;
    for (const QString& identifier : toolbarDefaultItemIdentifiers()) {
        makeToolbarItem(identifier);
    }
    updateInputSyncToolbarItem();
}

QStringList AspectRatioWindowController::toolbarDefaultItemIdentifiers() const {
    return {flexibleSpaceItemIdentifier, qualityItemIdentifier, pinItemIdentifier};
}

QStringList AspectRatioWindowController::toolbarAllowedItemIdentifiers() const {
    return {flexibleSpaceItemIdentifier, inputSyncItemIdentifier, qualityItemIdentifier,
            pinItemIdentifier};
}

QToolBar* AspectRatioWindowController::toolbar() const {
    return m_toolbar;
}

QStringList AspectRatioWindowController::toolbarItemIdentifiers() const {
    QStringList identifiers;
    if (m_toolbar) {
        for (const QAction* item : m_toolbar->actions()) {
            identifiers << item->objectName();
        }
    }
    return identifiers;
}

QAction* AspectRatioWindowController::makeToolbarItem(const QString& identifier, QAction* before) {
    if (!m_toolbar) {
        return nullptr;
    }
    QAction* item = nullptr;
    if (identifier == flexibleSpaceItemIdentifier) {
        auto* space = new QWidget;
        space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        item = m_toolbar->insertWidget(before, space);
    } else if (identifier == pinItemIdentifier) {
        QToolButton* button = makeToolbarButton();
        setButtonImage(button, QStringLiteral("pin_normal"), std::nullopt);
        button->setToolTip(localized(QStringLiteral("固定窗口置顶")));
        connect(button, &QToolButton::clicked, this, &AspectRatioWindowController::togglePin);
        m_pinButton = button;
        item = m_toolbar->insertWidget(before, button);
        item->setText(localized(QStringLiteral("固定")));
        item->setToolTip(localized(QStringLiteral("固定窗口置顶")));
    } else if (identifier == qualityItemIdentifier) {
        QToolButton* button = makeToolbarButton();
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setText(m_currentQuality);
        button->setToolTip(localized(QStringLiteral("选择清晰度")));
        connect(button, &QToolButton::clicked, this, &AspectRatioWindowController::showQualityMenu);
        m_qualityBtn = button;
        item = m_toolbar->insertWidget(before, button);
        item->setText(m_currentQuality);
        item->setToolTip(localized(QStringLiteral("选择清晰度")));
        m_qualityToolbarItem = item;
        item->setObjectName(identifier);
        updateQualityToolbarItem();
    } else if (identifier == inputSyncItemIdentifier) {
        QToolButton* button = makeToolbarButton();
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setText(QStringLiteral("暂停同步"));
        setButtonImage(button, QStringLiteral("pause.fill"), kSystemOrange);
        button->setAccessibleDescription(QStringLiteral("暂停同步"));
        connect(button, &QToolButton::clicked, this, &AspectRatioWindowController::toggleInputSync);
        m_inputSyncToolbarButton = button;
        item = m_toolbar->insertWidget(before, button);
        item->setToolTip(QStringLiteral("暂停同步"));
        m_inputSyncToolbarItem = item;
    } else {
        return nullptr;
    }
    item->setObjectName(identifier);
    return item;
}

QToolButton* AspectRatioWindowController::qualityBtn() const {
    return m_qualityBtn;
}
QAction* AspectRatioWindowController::qualityToolbarItem() const {
    return m_qualityToolbarItem;
}
QToolButton* AspectRatioWindowController::pinButton() const {
    return m_pinButton;
}
QToolButton* AspectRatioWindowController::inputSyncToolbarButton() const {
    return m_inputSyncToolbarButton;
}
QAction* AspectRatioWindowController::inputSyncToolbarItem() const {
    return m_inputSyncToolbarItem;
}
QMenu* AspectRatioWindowController::qualityPopupMenu() const {
    return m_qualityPopupMenu;
}

void AspectRatioWindowController::updateQualityToolbarItem() {
    if (m_qualityBtn) {
        m_qualityBtn->setText(m_currentQuality);
    }
    if (!m_qualityToolbarItem) {
        return;
    }
    m_qualityToolbarItem->setText(m_currentQuality);
    m_qualityToolbarItem->setProperty(kPaletteLabelProperty, localized(QStringLiteral("清晰度")));
    QMenu* previous = m_qualityToolbarItem->menu();
    m_qualityToolbarItem->setMenu(makeQualityMenuItem(m_qualityBtn));
    // One of its entries may be what is being handled now.
    if (previous) {
        previous->deleteLater();
    }
}

QMenu* AspectRatioWindowController::makeQualityMenuItem(QWidget* parent) {
    auto* form = new QMenu(m_currentQuality, parent);
    QMenu* submenu = form->addMenu(localized(QStringLiteral("清晰度")));
    addQualityEntries(submenu, this, m_currentQuality);
    return form;
}

void AspectRatioWindowController::showQualityMenu() {
    if (!m_qualityBtn) {
        return;
    }
    if (m_qualityPopupMenu) {
        m_qualityPopupMenu->close();
    }
    auto* menu = new QMenu(m_qualityBtn);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addQualityEntries(menu, this, m_currentQuality);
    m_qualityPopupMenu = menu;
    menu->popup(m_qualityBtn->mapToGlobal(QPoint(0, m_qualityBtn->height() + 5)));
}

void AspectRatioWindowController::selectQuality(QAction* item) {
    if (!item || !isActiveAndConnected()) {
        return;
    }
    m_currentQuality = item->text();
    KXLog(QStringLiteral("切换到清晰度: ") + m_currentQuality + QStringLiteral("-") +
              QString::number(item->data().toInt()),
          LogTag::video, LogLevel::info);
    // A title outside the table is the lowest quality.
    m_selectedVideoQuality = VideoQuality::p360;
    for (const QualityChoice& choice : kQualityChoices) {
        if (localized(choice.titleKey) == m_currentQuality) {
            m_selectedVideoQuality = choice.quality;
            break;
        }
    }
    updateQualityToolbarItem();
    CloudPhoneCommunicator::shared().setVideoQuality(m_selectedVideoQuality, deviceKey());
}

void AspectRatioWindowController::togglePin() {
    if (!isActiveDeviceWindow()) {
        return;
    }
    m_isPinned = !m_isPinned;
    if (!m_window) {
        return;
    }
    // Changing the flags re-creates the native window, which hides it.
    const bool wasVisible = m_window->isVisible();
    m_window->setWindowFlag(Qt::WindowStaysOnTopHint, m_isPinned);
    if (wasVisible) {
        m_window->show();
    }
    if (m_pinButton) {
        if (m_isPinned) {
            setButtonImage(m_pinButton, QStringLiteral("pin_selected"), kSystemBlue);
        } else {
            setButtonImage(m_pinButton, QStringLiteral("pin_normal"), std::nullopt);
        }
    }
}

void AspectRatioWindowController::updateInputSyncToolbarItem() {
    const auto& communicator = CloudPhoneCommunicator::shared();
    if (communicator.inputSyncMainDeviceID() != deviceKey()) {
        setInputSyncToolbarItemVisible(false);
        return;
    }
    setInputSyncToolbarItemVisible(true);
    const bool running = communicator.isInputSyncEnabled();
    const QString text = running ? QStringLiteral("暂停同步") : QStringLiteral("启动同步");
    if (m_inputSyncToolbarButton) {
        m_inputSyncToolbarButton->setText(text);
        setButtonImage(m_inputSyncToolbarButton,
                       running ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"),
                       running ? kSystemOrange : kSystemGreen);
        m_inputSyncToolbarButton->setAccessibleDescription(text);
        m_inputSyncToolbarButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        m_inputSyncToolbarButton->setToolTip(text);
    }
    if (m_inputSyncToolbarItem) {
        m_inputSyncToolbarItem->setText(text);
        m_inputSyncToolbarItem->setToolTip(text);
    }
}

void AspectRatioWindowController::setInputSyncToolbarItemVisible(bool visible) {
    if (!m_window || !m_toolbar) {
        return;
    }
    QAction* existing = nullptr;
    QAction* quality = nullptr;
    for (QAction* item : m_toolbar->actions()) {
        if (!existing && item->objectName() == inputSyncItemIdentifier) {
            existing = item;
        }
        if (!quality && item->objectName() == qualityItemIdentifier) {
            quality = item;
        }
    }
    if (!visible) {
        if (existing) {
            m_toolbar->removeAction(existing);
            // Its button may be the one that asked for the change.
            existing->deleteLater();
            m_inputSyncToolbarItem = nullptr;
            m_inputSyncToolbarButton = nullptr;
        }
        return;
    }
    if (!existing) {
        makeToolbarItem(inputSyncItemIdentifier, quality);
    }
}

void AspectRatioWindowController::toggleInputSync() {
    auto& communicator = CloudPhoneCommunicator::shared();
    if (communicator.inputSyncMainDeviceID() != deviceKey()) {
        return;
    }
    const bool running = !communicator.isInputSyncEnabled();
    communicator.setInputSyncEnabled(running);
    if (DeviceWindowPageLink* link = DeviceWindowPageLink::installed()) {
        link->sendBatchControlStatus(running ? 1 : 0);
    }
    updateInputSyncToolbarItem();
}
