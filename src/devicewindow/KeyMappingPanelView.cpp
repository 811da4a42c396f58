#include "devicewindow/KeyMappingPanelView.h"

#include "devicewindow/DeviceWindowImages.h"
#include "devicewindow/SharedPixmaps.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor kSystemBlue(0x00, 0x7a, 0xff);
const QColor kSystemRed(0xff, 0x3b, 0x30);
const QColor kLabel(0x1d, 0x1d, 0x1f);
const QColor kSecondaryLabel(0x3c, 0x3c, 0x43, 0x99);
const QColor kTertiaryLabel(0x3c, 0x3c, 0x43, 0x4d);

QString rgba(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF());
}

QFont systemFont(const QFont& base, int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QLabel* secondaryLabel(const QString& text, int pixelSize, QWidget* parent,
                       QFont::Weight weight = QFont::Normal) {
    auto* label = new QLabel(text, parent);
    label->setFont(systemFont(label->font(), pixelSize, weight));
    label->setStyleSheet(QStringLiteral("color: %1;").arg(rgba(kSecondaryLabel)));
    return label;
}

// Stand-ins drawn when the build ships no picture of that name.
void drawStandIn(QPainter& painter, const QString& name, const QColor& tint, qreal size) {
    QPen pen(tint, size / 14.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal s = size;
    if (name == QLatin1String("keymapping_edit_plan")) {
        QPainterPath pencil;
        pencil.moveTo(0.25 * s, 0.75 * s);
        pencil.lineTo(0.30 * s, 0.58 * s);
        pencil.lineTo(0.66 * s, 0.22 * s);
        pencil.lineTo(0.78 * s, 0.34 * s);
        pencil.lineTo(0.42 * s, 0.70 * s);
        pencil.closeSubpath();
        painter.drawPath(pencil);
    } else if (name == QLatin1String("keymapping_delete_plan")) {
        painter.drawLine(QPointF(0.24 * s, 0.30 * s), QPointF(0.76 * s, 0.30 * s));
        painter.drawLine(QPointF(0.42 * s, 0.22 * s), QPointF(0.58 * s, 0.22 * s));
        painter.drawRoundedRect(QRectF(0.32 * s, 0.34 * s, 0.36 * s, 0.44 * s), 0.05 * s, 0.05 * s);
    } else if (name == QLatin1String("keymapping_tap")) {
        painter.drawEllipse(QRectF(0.15 * s, 0.15 * s, 0.7 * s, 0.7 * s));
        painter.setBrush(tint);
        painter.drawEllipse(QRectF(0.4 * s, 0.4 * s, 0.2 * s, 0.2 * s));
    } else if (name == QLatin1String("keymapping_move")) {
        painter.drawEllipse(QRectF(0.1 * s, 0.1 * s, 0.8 * s, 0.8 * s));
        painter.setBrush(tint);
        painter.drawEllipse(QRectF(0.36 * s, 0.36 * s, 0.28 * s, 0.28 * s));
        for (const QPointF& tip :
             {QPointF(0.5, 0.2), QPointF(0.2, 0.5), QPointF(0.5, 0.8), QPointF(0.8, 0.5)}) {
            painter.drawEllipse(QPointF(tip.x() * s, tip.y() * s), 0.035 * s, 0.035 * s);
        }
    }
}

// The picture of a tile that cannot be used.
QPixmap dimmedPicture(const QPixmap& picture) {
    return SharedPixmaps::value(QStringLiteral("dimmed:%1").arg(picture.cacheKey()), [&picture] {
        QPixmap dimmed(picture.size());
        dimmed.setDevicePixelRatio(picture.devicePixelRatio());
        dimmed.fill(Qt::transparent);
        QPainter painter(&dimmed);
        painter.setOpacity(0.35);
        painter.drawPixmap(0, 0, picture);
        return dimmed;
    });
}

}  // namespace

QPixmap KeyMappingPanelView::panelImage(const QString& name, const QColor& tint, int size) {
    const QString key = QStringLiteral("panel:%1:%2:%3")
                            .arg(name)
                            .arg(tint.rgba(), 8, 16, QLatin1Char('0'))
                            .arg(size);
    return SharedPixmaps::value(key, [&name, &tint, size] {
        QPixmap image = DeviceWindowImages::named(name);
        if (!image.isNull()) {
            return image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        const qreal ratio = 2;
        QPixmap drawn(int(size * ratio), int(size * ratio));
        drawn.setDevicePixelRatio(ratio);
        drawn.fill(Qt::transparent);
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::Antialiasing);
        drawStandIn(painter, name, tint, size);
        return drawn;
    });
}

QPushButton* KeyMappingPanelView::makePanelIconButton(const QString& imageName,
                                                      const QString& toolTip, const QColor& tint) {
    auto* button = new QPushButton;
    button->setIcon(QIcon(panelImage(imageName, tint, 18)));
    button->setIconSize(QSize(18, 18));
    button->setToolTip(toolTip);
    button->setFixedSize(28, 28);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: 5px;"
                                         " background: %1; }"
                                         "QPushButton:disabled { background: %2; }")
                              .arg(rgba(QColor(0, 0, 0, 20)), rgba(QColor(0, 0, 0, 10))));
    button->setEnabled(false);
    return button;
}

QPushButton* KeyMappingPanelView::makeKeyMappingAddTile(const QString& caption,
                                                        const QString& imageName, bool enabled) {
    auto* tile = new QPushButton;
    tile->setFixedSize(50, 56);
    tile->setFlat(true);
    tile->setFocusPolicy(Qt::NoFocus);
    tile->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
    tile->setEnabled(enabled);
    tile->setToolTip(caption);

    auto* image = new QLabel(tile);
    image->setObjectName(QStringLiteral("tileImage"));
    if (!imageName.isEmpty()) {
        const QPixmap picture = panelImage(imageName, kSystemBlue, 34);
        image->setPixmap(enabled ? picture : dimmedPicture(picture));
    }
    image->setScaledContents(false);
    image->setAlignment(Qt::AlignCenter);
    image->setGeometry(8, 0, 34, 34);
    image->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* label = new QLabel(caption, tile);
    label->setObjectName(QStringLiteral("tileCaption"));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(systemFont(label->font(), 11));
    label->setStyleSheet(
        QStringLiteral("color: %1;").arg(rgba(enabled ? kSecondaryLabel : kTertiaryLabel)));
    label->setGeometry(0, 38, 50, 18);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return tile;
}

KeyMappingPanelView::KeyMappingPanelView(bool showsOverlay, QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("keyMappingPanelScrollView"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    viewport()->setAutoFillBackground(false);

    auto* document = new QWidget;
    document->setObjectName(QStringLiteral("keyMappingPanelDocumentView"));
    document->setAutoFillBackground(false);
    m_stack = new QVBoxLayout(document);
    m_stack->setSpacing(12);
    m_stack->setContentsMargins(16, 14, 16, 16);
    m_stack->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    // Header.
    auto* header = new QHBoxLayout;
    header->addWidget(secondaryLabel(QStringLiteral("按键设置"), 13, document, QFont::Medium));
    header->addStretch();
    m_closeButton = new QPushButton(QStringLiteral("×"), document);
    m_closeButton->setFont(systemFont(m_closeButton->font(), 16));
    m_closeButton->setFlat(true);
    m_closeButton->setFixedSize(24, 22);
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    m_closeButton->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; border-radius: 4px; background: rgba(0,0,0,0.06); }"));
    header->addWidget(m_closeButton);
    m_stack->addLayout(header);

    // Plans.
    auto* planRow = new QHBoxLayout;
    planRow->setSpacing(8);
    m_presetPopup = new QComboBox(document);
    m_presetPopup->setObjectName(QStringLiteral("keyMappingPresetPopup"));
    m_presetPopup->addItem(QStringLiteral("预设方案"));
    m_presetPopup->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_presetPopup->setMinimumContentsLength(8);
    m_presetPopup->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    planRow->addWidget(m_presetPopup);
    m_renamePlanButton = makePanelIconButton(QStringLiteral("keymapping_edit_plan"),
                                             QStringLiteral("重命名方案"), kLabel);
    m_deletePlanButton = makePanelIconButton(QStringLiteral("keymapping_delete_plan"),
                                             QStringLiteral("删除方案"), kSystemRed);
    planRow->addWidget(m_renamePlanButton);
    planRow->addWidget(m_deletePlanButton);
    auto* planRowHost = new QWidget(document);
    planRowHost->setFixedWidth(kRowWidth);
    planRow->setContentsMargins(0, 0, 0, 0);
    planRowHost->setLayout(planRow);
    m_stack->addWidget(planRowHost);

    m_newPlanButton = new QPushButton(QStringLiteral("+ 新建方案"), document);
    m_newPlanButton->setFixedSize(kRowWidth, 32);
    m_newPlanButton->setFocusPolicy(Qt::NoFocus);
    m_newPlanButton->setStyleSheet(
        QStringLiteral("QPushButton { border: none; border-radius: 6px; background: %1;"
                       " color: %2; }")
            .arg(rgba(QColor(0x00, 0x7a, 0xff, 20)), kSystemBlue.name()));
    m_stack->addWidget(m_newPlanButton);

    m_stack->addWidget(secondaryLabel(QStringLiteral("将按键拖到屏幕对应位置："), 12, document));

    auto* tiles = new QGridLayout;
    tiles->setHorizontalSpacing(12);
    tiles->setVerticalSpacing(10);
    m_addTapTile =
        makeKeyMappingAddTile(QStringLiteral("普通点击"), QStringLiteral("keymapping_tap"), true);
    m_addMoveTile =
        makeKeyMappingAddTile(QStringLiteral("键盘行走"), QStringLiteral("keymapping_move"), true);
    tiles->addWidget(m_addTapTile, 0, 0);
    tiles->addWidget(m_addMoveTile, 0, 1);
    tiles->setColumnStretch(2, 1);
    m_stack->addLayout(tiles);

    QLabel* status = secondaryLabel(QString(), 12, document);
    status->setObjectName(kStatusLabelName);
    status->setWordWrap(true);
    status->setFixedWidth(kRowWidth);
    m_stack->addWidget(status);

    m_emptyLabel = secondaryLabel(QStringLiteral("暂无按键映射"), 12, document);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setFixedWidth(kRowWidth);
    m_stack->addWidget(m_emptyLabel);

    m_displayCheckbox = new QCheckBox(QStringLiteral("在屏幕上显示按键"), document);
    m_displayCheckbox->setFont(systemFont(m_displayCheckbox->font(), 12));
    m_displayCheckbox->setChecked(showsOverlay);
    m_displayCheckbox->setFocusPolicy(Qt::NoFocus);
    m_stack->addWidget(m_displayCheckbox);

    auto* bottomHost = new QWidget(document);
    bottomHost->setFixedWidth(kRowWidth);
    auto* bottom = new QHBoxLayout(bottomHost);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(12);
    m_restoreButton = new QPushButton(QStringLiteral("还原"), bottomHost);
    m_saveButton = new QPushButton(QStringLiteral("保存"), bottomHost);
    m_saveButton->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; }").arg(kSystemBlue.name()));
    for (QPushButton* button : {m_restoreButton, m_saveButton}) {
        button->setFocusPolicy(Qt::NoFocus);
        bottom->addWidget(button, 1);
    }
    m_stack->addWidget(bottomHost);

    document->setFixedWidth(kPanelWidth);
    setWidget(document);
}

QLabel* KeyMappingPanelView::statusLabel() const {
    for (int index = 0; index < m_stack->count(); ++index) {
        QWidget* widget = m_stack->itemAt(index)->widget();
        if (widget && widget->objectName() == kStatusLabelName) {
            return qobject_cast<QLabel*>(widget);
        }
    }
    return nullptr;
}
