#include "devicewindow/WindowToolbarController.h"

#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowGuard.h"
#include "devicewindow/DeviceWindowIcons.h"
#include "devicewindow/DeviceWindowPageLink.h"
#include "devicewindow/DeviceWindowViews.h"
#include "devicewindow/WindowGeometryController.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/LanguageManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

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

}  // namespace

WindowToolbarController::WindowToolbarController(
    const DeviceWindowViews& views, const DeviceIdentity& identity,
    CloudPhoneCommunicator& communicator, const DeviceWindowGuard& guard,
    const LanguageManager& language, PageLinkProvider pageLink, WindowGeometryController& geometry,
    QObject* parent)
    : QObject(parent),
      m_views(views),
      m_identity(identity),
      m_communicator(communicator),
      m_guard(guard),
      m_language(language),
      m_pageLink(std::move(pageLink)),
      m_geometry(geometry) {}

WindowToolbarController::~WindowToolbarController() = default;

const std::array<WindowToolbarController::ToolbarItem, 4>& WindowToolbarController::toolbarItems() {
    using C = WindowToolbarController;
    static const std::array<ToolbarItem, 4> items{{
        {flexibleSpaceItemIdentifier, &C::makeFlexibleSpaceItem, true},
        {inputSyncItemIdentifier, &C::makeInputSyncItem, false},
        {qualityItemIdentifier, &C::makeQualityItem, true},
        {pinItemIdentifier, &C::makePinItem, true},
    }};
    return items;
}

QString WindowToolbarController::localized(const QString& key) const {
    return m_language.bundle().localizedString(key, key);
}

void WindowToolbarController::setupToolbar() {
    if (!m_views.window) {
        return;
    }
    m_views.window->setWindowTitle(m_identity.deviceName);
    m_geometry.updateMinWindowSize();
    rebuildToolbar();
}

void WindowToolbarController::rebuildToolbar() {
    QMainWindow* window = m_views.window;
    if (!window) {
        return;
    }
    if (m_toolbar) {
        window->removeToolBar(m_toolbar);
        delete m_toolbar;
    }
    auto* toolbar = new QToolBar(window);
    toolbar->setObjectName(toolbarIdentifier);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // No customisation: the toolbar cannot be hidden or rearranged by the user.
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar->toggleViewAction()->setVisible(false);
    window->addToolBar(Qt::TopToolBarArea, toolbar);
    m_toolbar = toolbar;
    for (const QString& identifier : toolbarDefaultItemIdentifiers()) {
        makeToolbarItem(identifier);
    }
    updateInputSyncToolbarItem();
}

QStringList WindowToolbarController::toolbarDefaultItemIdentifiers() const {
    QStringList identifiers;
    for (const ToolbarItem& item : toolbarItems()) {
        if (item.isDefault) {
            identifiers << item.identifier;
        }
    }
    return identifiers;
}

QStringList WindowToolbarController::toolbarAllowedItemIdentifiers() const {
    QStringList identifiers;
    for (const ToolbarItem& item : toolbarItems()) {
        identifiers << item.identifier;
    }
    return identifiers;
}

QToolBar* WindowToolbarController::toolbar() const {
    return m_toolbar;
}

QStringList WindowToolbarController::toolbarItemIdentifiers() const {
    QStringList identifiers;
    if (m_toolbar) {
        for (const QAction* item : m_toolbar->actions()) {
            identifiers << item->objectName();
        }
    }
    return identifiers;
}

QAction* WindowToolbarController::toolbarItem(const QString& identifier) const {
    if (m_toolbar) {
        for (QAction* item : m_toolbar->actions()) {
            if (item->objectName() == identifier) {
                return item;
            }
        }
    }
    return nullptr;
}

QAction* WindowToolbarController::makeToolbarItem(const QString& identifier, QAction* before) {
    if (!m_toolbar) {
        return nullptr;
    }
    for (const ToolbarItem& entry : toolbarItems()) {
        if (entry.identifier == identifier) {
            QAction* item = (this->*entry.make)(before);
            item->setObjectName(identifier);
            return item;
        }
    }
    return nullptr;
}

QAction* WindowToolbarController::makeFlexibleSpaceItem(QAction* before) {
    auto* space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return m_toolbar->insertWidget(before, space);
}

QAction* WindowToolbarController::makePinItem(QAction* before) {
    QToolButton* button = makeToolbarButton();
    setButtonImage(button, QStringLiteral("pin_normal"), std::nullopt);
    button->setToolTip(localized(QStringLiteral("固定窗口置顶")));
    connect(button, &QToolButton::clicked, this, &WindowToolbarController::togglePin);
    m_pinButton = button;
    QAction* item = m_toolbar->insertWidget(before, button);
    item->setText(localized(QStringLiteral("固定")));
    item->setToolTip(localized(QStringLiteral("固定窗口置顶")));
    return item;
}

QAction* WindowToolbarController::makeQualityItem(QAction* before) {
    QToolButton* button = makeToolbarButton();
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setText(m_currentQuality);
    button->setToolTip(localized(QStringLiteral("选择清晰度")));
    connect(button, &QToolButton::clicked, this, &WindowToolbarController::showQualityMenu);
    m_qualityBtn = button;
    QAction* item = m_toolbar->insertWidget(before, button);
    item->setText(m_currentQuality);
    item->setToolTip(localized(QStringLiteral("选择清晰度")));
    m_qualityToolbarItem = item;
    item->setObjectName(qualityItemIdentifier);
    updateQualityToolbarItem();
    return item;
}

QAction* WindowToolbarController::makeInputSyncItem(QAction* before) {
    QToolButton* button = makeToolbarButton();
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setText(QStringLiteral("暂停同步"));
    setButtonImage(button, QStringLiteral("pause.fill"), kSystemOrange);
    button->setAccessibleDescription(QStringLiteral("暂停同步"));
    connect(button, &QToolButton::clicked, this, &WindowToolbarController::toggleInputSync);
    m_inputSyncToolbarButton = button;
    QAction* item = m_toolbar->insertWidget(before, button);
    item->setToolTip(QStringLiteral("暂停同步"));
    m_inputSyncToolbarItem = item;
    return item;
}

QToolButton* WindowToolbarController::qualityBtn() const {
    return m_qualityBtn;
}
QAction* WindowToolbarController::qualityToolbarItem() const {
    return m_qualityToolbarItem;
}
QToolButton* WindowToolbarController::pinButton() const {
    return m_pinButton;
}
QToolButton* WindowToolbarController::inputSyncToolbarButton() const {
    return m_inputSyncToolbarButton;
}
QAction* WindowToolbarController::inputSyncToolbarItem() const {
    return m_inputSyncToolbarItem;
}
QMenu* WindowToolbarController::qualityPopupMenu() const {
    return m_qualityPopupMenu;
}

void WindowToolbarController::updateQualityToolbarItem() {
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

QMenu* WindowToolbarController::makeQualityMenuItem(QWidget* parent) {
    auto* form = new QMenu(m_currentQuality, parent);
    QMenu* submenu = form->addMenu(localized(QStringLiteral("清晰度")));
    addQualityEntries(submenu);
    return form;
}

void WindowToolbarController::showQualityMenu() {
    if (!m_qualityBtn) {
        return;
    }
    if (m_qualityPopupMenu) {
        m_qualityPopupMenu->close();
    }
    auto* menu = new QMenu(m_qualityBtn);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addQualityEntries(menu);
    m_qualityPopupMenu = menu;
    menu->popup(m_qualityBtn->mapToGlobal(QPoint(0, m_qualityBtn->height() + 5)));
}

void WindowToolbarController::selectQuality(QAction* item) {
    if (!item || !m_guard.isActiveAndConnected()) {
        return;
    }
    m_currentQuality = item->text();
    KXLog(QStringLiteral("切换到清晰度: ") + m_currentQuality + QStringLiteral("-") +
              QString::number(item->data().toInt()),
          LogTag::video, LogLevel::info);
    // A title outside the table is the lowest quality.
    m_selectedVideoQuality = VideoQuality::p360;
    for (const QualityChoice& choice : kQualityChoices) {
        if (localized(QString::fromUtf16(choice.titleKey)) == m_currentQuality) {
            m_selectedVideoQuality = choice.quality;
            break;
        }
    }
    updateQualityToolbarItem();
    m_communicator.setVideoQuality(m_selectedVideoQuality, m_identity.deviceKey());
}

void WindowToolbarController::togglePin() {
    if (!m_guard.isActiveDeviceWindow()) {
        return;
    }
    m_isPinned = !m_isPinned;
    QMainWindow* window = m_views.window;
    if (!window) {
        return;
    }
    // Changing the flags re-creates the native window, which hides it.
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, m_isPinned);
    if (wasVisible) {
        window->show();
    }
    if (m_pinButton) {
        if (m_isPinned) {
            setButtonImage(m_pinButton, QStringLiteral("pin_selected"), kSystemBlue);
        } else {
            setButtonImage(m_pinButton, QStringLiteral("pin_normal"), std::nullopt);
        }
    }
}

void WindowToolbarController::updateInputSyncToolbarItem() {
    if (m_communicator.inputSyncMainDeviceID() != m_identity.deviceKey()) {
        setInputSyncToolbarItemVisible(false);
        return;
    }
    setInputSyncToolbarItemVisible(true);
    const bool running = m_communicator.isInputSyncEnabled();
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

void WindowToolbarController::setInputSyncToolbarItemVisible(bool visible) {
    if (!m_views.window || !m_toolbar) {
        return;
    }
    QAction* existing = toolbarItem(inputSyncItemIdentifier);
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
        // Where the table has it: before the item that follows it there, else at the end.
        const auto& items = toolbarItems();
        const auto entry = std::find_if(items.begin(), items.end(), [](const ToolbarItem& item) {
            return item.identifier == inputSyncItemIdentifier;
        });
        QAction* next = entry + 1 != items.end() ? toolbarItem((entry + 1)->identifier) : nullptr;
        makeToolbarItem(inputSyncItemIdentifier, next);
    }
}

void WindowToolbarController::toggleInputSync() {
    if (m_communicator.inputSyncMainDeviceID() != m_identity.deviceKey()) {
        return;
    }
    const bool running = !m_communicator.isInputSyncEnabled();
    m_communicator.setInputSyncEnabled(running);
    if (DeviceWindowPageLink* link = m_pageLink()) {
        link->sendBatchControlStatus(running ? 1 : 0);
    }
    updateInputSyncToolbarItem();
}

// The quality entries of both the pop-up menu and the item's menu form.
void WindowToolbarController::addQualityEntries(QMenu* menu) {
    for (int tag = 0; tag < int(kQualityChoices.size()); ++tag) {
        const QString title = localized(QString::fromUtf16(kQualityChoices[tag].titleKey));
        QAction* item = menu->addAction(title);
        item->setData(tag);
        item->setCheckable(true);
        item->setChecked(title == m_currentQuality);
        connect(item, &QAction::triggered, this, [this, item] { selectQuality(item); });
    }
}
