#include "devicewindow/KeyEditorPopup.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QColor kBackground = QColor::fromRgbF(0.12f, 0.12f, 0.12f);
const QColor kKeyBackground = QColor::fromRgbF(0.16f, 0.16f, 0.16f);
const QColor kSystemBlue(0x00, 0x7a, 0xff);

}  // namespace

KeyEditorPopup::KeyEditorPopup(const KeyMappingItem& item, const QString& markerTitle,
                               CaptureAction captureAction, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_captureAction(std::move(captureAction)) {
    setObjectName(QStringLiteral("keyMappingEditPopover"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    setPalette(palette);

    auto* stack = new QVBoxLayout(this);
    // Tighter than the sides so that three rows of 42-high keys fit the fixed height.
    stack->setContentsMargins(12, 8, 12, 8);
    stack->setSpacing(item.isMove() ? 6 : 10);
    stack->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    m_title = new QLabel(title(item), this);
    QFont font = m_title->font();
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    m_title->setFont(font);
    m_title->setStyleSheet(QStringLiteral("color: white;"));
    stack->addWidget(m_title);

    if (item.isMove()) {
        stack->addLayout(makeDirectionKeyGrid(item));
    } else {
        stack->addWidget(makeKeyCaptureButton(markerTitle, identifier(item)));
    }
    setFixedSize(item.isMove() ? kMoveSize : kTapSize);
}

QString KeyEditorPopup::title(const KeyMappingItem& item) {
    if (item.actionDescription && !item.actionDescription->isEmpty()) {
        return *item.actionDescription;
    }
    switch (item.type) {
        case KeyMappingType::move:
            return QStringLiteral("移动按键");
        case KeyMappingType::joystick:
            return QStringLiteral("手柄摇杆");
        case KeyMappingType::tap:
            break;
    }
    return QStringLiteral("普通点击");
}

QString KeyEditorPopup::identifier(const KeyMappingItem& item) {
    return item.id.toString(QUuid::WithoutBraces).toUpper();
}

QString KeyEditorPopup::identifier(const KeyMappingItem& item, KeyMappingDirection direction) {
    return identifier(item) + QLatin1Char('|') + rawValue(direction);
}

QString KeyEditorPopup::defaultDirectionTitle(KeyMappingDirection direction) {
    switch (direction) {
        case KeyMappingDirection::up:
            return QStringLiteral("上");
        case KeyMappingDirection::left:
            return QStringLiteral("左");
        case KeyMappingDirection::down:
            return QStringLiteral("下");
        case KeyMappingDirection::right:
            break;
    }
    return QStringLiteral("右");
}

QString KeyEditorPopup::titleText() const {
    return m_title->text();
}

QList<QPushButton*> KeyEditorPopup::keyButtons() const {
    return findChildren<QPushButton*>();
}

void KeyEditorPopup::showBeside(QWidget* anchor) {
    QPoint topLeft = anchor->mapToGlobal(QPoint(anchor->width(), anchor->height() / 2));
    topLeft.ry() -= height() / 2;
    if (const QScreen* screen = anchor->screen()) {
        const QRect available = screen->availableGeometry();
        topLeft.setY(std::clamp(topLeft.y(), available.top(),
                                std::max(available.top(), available.bottom() - height())));
    }
    move(topLeft);
    show();
}

QGridLayout* KeyEditorPopup::makeDirectionKeyGrid(const KeyMappingItem& item) {
    auto* grid = new QGridLayout;
    grid->setSpacing(6);
    grid->addWidget(makeDirectionKeyButton(item, KeyMappingDirection::up), 0, 1);
    grid->addWidget(makeDirectionKeyButton(item, KeyMappingDirection::left), 1, 0);
    grid->addWidget(directionGridCenterLabel(), 1, 1);
    grid->addWidget(makeDirectionKeyButton(item, KeyMappingDirection::right), 1, 2);
    grid->addWidget(makeDirectionKeyButton(item, KeyMappingDirection::down), 2, 1);
    for (int index = 0; index < 3; ++index) {
        grid->setRowMinimumHeight(index, 42);
        grid->setColumnMinimumWidth(index, 42);
    }
    return grid;
}

QPushButton* KeyEditorPopup::makeDirectionKeyButton(const KeyMappingItem& item,
                                                    KeyMappingDirection direction) {
    const auto binding = item.directionBindings.find(direction);
    const QString title = binding != item.directionBindings.end()
                              ? binding->second.displayName
                              : defaultDirectionTitle(direction);
    QPushButton* button = makeKeyCaptureButton(title, identifier(item, direction));
    button->setToolTip(defaultDirectionTitle(direction) + QStringLiteral("方向"));
    return button;
}

QPushButton* KeyEditorPopup::makeKeyCaptureButton(const QString& title, const QString& identifier) {
    auto* button = new QPushButton(title, this);
    button->setObjectName(identifier);
    button->setFocusPolicy(Qt::NoFocus);
    QFont font = button->font();
    font.setPixelSize(15);
    font.setBold(true);
    button->setFont(font);
    button->setFixedHeight(42);
    button->setMinimumWidth(42);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: %1; border: 2px solid %2;"
                       " border-radius: 14px; padding: 0px 8px; }")
            .arg(kKeyBackground.name(), kSystemBlue.name()));
    connect(button, &QPushButton::clicked, this, [this, button] {
        if (m_captureAction) {
            m_captureAction(button);
        }
    });
    return button;
}

QLabel* KeyEditorPopup::directionGridCenterLabel() {
    auto* label = new QLabel(QStringLiteral("移动"), this);
    QFont font = label->font();
    font.setPixelSize(11);
    font.setWeight(QFont::Medium);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: rgba(235,235,245,0.6);"));
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(42, 42);
    return label;
}
