#include "devicewindow/KeyMappingMarkerView.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor kSystemRed(0xff, 0x3b, 0x30);
const QColor kSystemBlue(0x00, 0x7a, 0xff);
const QColor kSystemYellow(0xff, 0xcc, 0x00);
const QColor kPillFill = QColor::fromRgbF(0.04f, 0.04f, 0.04f, 0.84f);
const QColor kHintFill = QColor::fromRgbF(0.02f, 0.02f, 0.02f, 0.78f);

constexpr int kCloseButtonSize = 18;
constexpr int kCloseButtonOverhang = 3;
constexpr int kHintHeight = 20;
constexpr int kHintDrop = 18;  // its bottom edge below the marker's
constexpr int kTitleInset = 3;

// Centre of each direction label as a fraction of the marker's width and height.
struct DirectionPlace {
    KeyMappingDirection direction;
    const char* fallbackTitle;
    qreal x;
    qreal y;
};
constexpr DirectionPlace kDirectionPlaces[] = {
    {KeyMappingDirection::up, "W", 0.5, 0.18},
    {KeyMappingDirection::left, "A", 0.18, 0.5},
    {KeyMappingDirection::down, "S", 0.5, 0.82},
    {KeyMappingDirection::right, "D", 0.82, 0.5},
};

// Companions stay readable and clickable inside the layer, even for a marker at its edge.
QRect insideHost(const QWidget* host, QRect rect) {
    const QRect bounds = host->rect();
    if (bounds.width() < rect.width() || bounds.height() < rect.height()) {
        return rect;
    }
    rect.moveLeft(std::clamp(rect.left(), bounds.left(), bounds.right() + 1 - rect.width()));
    rect.moveTop(std::clamp(rect.top(), bounds.top(), bounds.bottom() + 1 - rect.height()));
    return rect;
}

QFont boldFont(const QFont& base, int pixelSize, QFont::Weight weight = QFont::Bold) {
    QFont font = base;
    font.setWeight(weight);
    font.setPixelSize(pixelSize);
    return font;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

// The hover hint: one line of text on a dark rounded badge.
class HintLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kHintFill);
        painter.drawRoundedRect(QRectF(rect()), 5, 5);
        painter.end();
        QLabel::paintEvent(event);
    }
};

}  // namespace

KeyMappingMarkerView::KeyMappingMarkerView(
    const QString& title, KeyMappingType type,
    const std::map<KeyMappingDirection, QString>& moveKeyTitles, QWidget* parent)
    : QWidget(parent),
      m_type(type),
      m_moveKeyTitles(moveKeyTitles),
      m_titleLabel(new QLabel(this)),
      m_imageView(new QLabel(this)),
      m_displayTitle(title) {
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.45f));
    shadow->setBlurRadius(12);
    shadow->setOffset(0, 2);
    setGraphicsEffect(shadow);

    const bool move = type == KeyMappingType::move;
    m_titleLabel->setText(title);
    m_titleLabel->setFont(boldFont(font(), move ? 12 : 15));
    m_titleLabel->setAlignment(Qt::AlignCenter);
    m_titleLabel->setWordWrap(false);
    m_titleLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextColor(m_titleLabel, Qt::white);
    m_imageView->setAlignment(Qt::AlignCenter);
    m_imageView->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (move) {
        m_titleLabel->hide();
        buildDirectionLabels();
    } else {
        m_imageView->hide();
    }

    m_hintLabel = new HintLabel(hintText(type), companionHost());
    m_hintLabel->setFont(boldFont(font(), 10, QFont::Medium));
    m_hintLabel->setAlignment(Qt::AlignCenter);
    m_hintLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextColor(m_hintLabel, Qt::white);
    m_hintLabel->hide();

    m_closeButton = new QPushButton(QStringLiteral("×"), companionHost());
    m_closeButton->setFont(boldFont(font(), 12));
    m_closeButton->setCursor(Qt::ArrowCursor);
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    m_closeButton->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: white; border: none;"
                       " border-radius: 9px; padding: 0px; }")
            .arg(kSystemRed.name()));
    m_closeButton->hide();
    m_closeButton->installEventFilter(this);
    connect(m_closeButton, &QPushButton::clicked, this, [this] {
        if (closeAction) {
            closeAction();
        }
    });
}

KeyMappingMarkerView::~KeyMappingMarkerView() {
    // Later, not now: the close button's own click may be what removes this marker.
    for (QWidget* companion :
         {static_cast<QWidget*>(m_hintLabel.data()), static_cast<QWidget*>(m_closeButton.data())}) {
        if (companion && companion->parent() != this) {
            companion->removeEventFilter(this);
            companion->hide();
            companion->deleteLater();
        }
    }
}

QString KeyMappingMarkerView::hintText(KeyMappingType type) {
    return type == KeyMappingType::move ? QStringLiteral("点击可编辑，滚轮可缩放")
                                        : QStringLiteral("点击可编辑");
}

QPixmap KeyMappingMarkerView::joystickMarkerImage() {
    QPixmap image;
    if (QPixmapCache::find(kJoystickImageName, &image)) {
        return image;
    }
    constexpr int size = 256;
    image = QPixmap(size, size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(size / 2.0, size / 2.0);
    painter.setPen(QPen(QColor(255, 255, 255, 170), 6));
    painter.setBrush(QColor::fromRgbF(0.04f, 0.04f, 0.04f, 0.55f));
    painter.drawEllipse(centre, size / 2.0 - 4, size / 2.0 - 4);
    painter.setPen(QPen(QColor(255, 255, 255, 90), 3));
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawEllipse(centre, size * 0.16, size * 0.16);
    // An arrowhead near the rim in each direction.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 150));
    for (int quarter = 0; quarter < 4; ++quarter) {
        painter.save();
        painter.translate(centre);
        painter.rotate(90.0 * quarter);
        QPainterPath arrow;
        arrow.moveTo(0, -size / 2.0 + 12);
        arrow.lineTo(-12, -size / 2.0 + 26);
        arrow.lineTo(12, -size / 2.0 + 26);
        arrow.closeSubpath();
        painter.drawPath(arrow);
        painter.restore();
    }
    painter.end();
    QPixmapCache::insert(kJoystickImageName, image);
    return image;
}

void KeyMappingMarkerView::buildDirectionLabels() {
    for (const DirectionPlace& place : kDirectionPlaces) {
        const auto title = m_moveKeyTitles.find(place.direction);
        auto* label =
            new QLabel(title == m_moveKeyTitles.end() ? QString::fromLatin1(place.fallbackTitle)
                                                      : title->second,
                       this);
        label->setFont(boldFont(font(), 14));
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(false);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        setTextColor(label, Qt::white);
        m_moveKeyLabels[place.direction] = label;
    }
}

// Companions ---------------------------------------------------------------------------------

QWidget* KeyMappingMarkerView::companionHost() {
    return parentWidget() ? parentWidget() : this;
}

void KeyMappingMarkerView::updateCompanions() {
    QWidget* host = companionHost();
    const QPoint origin = host == this ? QPoint() : pos();
    const bool shown = isVisible();
    if (m_closeButton) {
        if (m_closeButton->parentWidget() != host) {
            m_closeButton->setParent(host);
        }
        m_closeButton->setGeometry(insideHost(
            host, QRect(origin.x() + width() + kCloseButtonOverhang - kCloseButtonSize,
                        origin.y() - kCloseButtonOverhang, kCloseButtonSize, kCloseButtonSize)));
        m_closeButton->setVisible(m_closeButtonShown && shown);
    }
    if (m_hintLabel) {
        if (m_hintLabel->parentWidget() != host) {
            m_hintLabel->setParent(host);
        }
        const int minimumWidth = m_type == KeyMappingType::move ? 110 : 64;
        const int hintWidth = std::max(minimumWidth, m_hintLabel->sizeHint().width() + 12);
        m_hintLabel->setGeometry(insideHost(
            host, QRect(origin.x() + (width() - hintWidth) / 2,
                        origin.y() + height() + kHintDrop - kHintHeight, hintWidth, kHintHeight)));
        m_hintLabel->setVisible(m_hintShown && shown);
    }
    if (host != this) {
        if (m_hintLabel) {
            m_hintLabel->raise();
        }
        if (m_closeButton) {
            m_closeButton->raise();
        }
    }
}

bool KeyMappingMarkerView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange:
        case QEvent::ZOrderChange:
            updateCompanions();
            break;
        default:
            break;
    }
    return handled;
}

// Hover and conflict -------------------------------------------------------------------------

void KeyMappingMarkerView::showHint(bool visible, const QString& text, const QColor& color) {
    m_hintShown = visible;
    if (m_hintLabel) {
        m_hintLabel->setText(text);
        setTextColor(m_hintLabel, color);
    }
    updateCompanions();
}

void KeyMappingMarkerView::setCloseButtonVisible(bool visible) {
    m_closeButtonShown = visible;
    if (m_conflictVisible) {
        updateCompanions();  // the hint keeps the conflict message
    } else {
        showHint(visible, hintText(m_type), Qt::white);
    }
}

void KeyMappingMarkerView::setConflictVisible(bool visible, const QString& message) {
    m_conflictVisible = visible;
    if (visible) {
        showHint(true, message, kSystemYellow);
    } else {
        showHint(m_closeButtonShown, hintText(m_type), Qt::white);
    }
    update();
}

// Drawing and layout -------------------------------------------------------------------------

void KeyMappingMarkerView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (m_type == KeyMappingType::move) {
        return;  // the picture shows
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF pill = QRectF(rect()).adjusted(2, 2, -2, -2);
    const qreal radius = pill.height() / 2;
    painter.setBrush(kPillFill);
    painter.setPen(QPen(m_conflictVisible ? kSystemRed : kSystemBlue, 2));
    painter.drawRoundedRect(pill, radius, radius);
}

void KeyMappingMarkerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_type == KeyMappingType::move) {
        layoutImage();
        layoutDirectionLabels();
    } else {
        fitTitle();
    }
    updateCompanions();
}

void KeyMappingMarkerView::fitTitle() {
    const qreal availableWidth = std::max(qreal(width() - 6), qreal(1));
    const qreal availableHeight = std::max(qreal(height() - 6), qreal(1));
    QFont chosen = boldFont(font(), 8);
    for (int size = 15; size >= 9; --size) {
        const QFont candidate = boldFont(font(), size);
        const QSizeF measured = QFontMetricsF(candidate).size(Qt::TextSingleLine, m_displayTitle);
        if (measured.width() <= availableWidth && measured.height() <= availableHeight) {
            chosen = candidate;
            break;
        }
    }
    m_titleLabel->setFont(chosen);
    m_titleLabel->setText(m_displayTitle);
    const int labelHeight = m_titleLabel->sizeHint().height();
    m_titleLabel->setGeometry(kTitleInset, (height() - labelHeight) / 2,
                              std::max(width() - 2 * kTitleInset, 0), labelHeight);
}

void KeyMappingMarkerView::layoutImage() {
    m_imageView->setGeometry(rect());
    const QPixmap image = joystickMarkerImage();
    if (width() > 0 && height() > 0) {
        m_imageView->setPixmap(image.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
}

void KeyMappingMarkerView::layoutDirectionLabels() {
    for (const DirectionPlace& place : kDirectionPlaces) {
        QLabel* label = m_moveKeyLabels.at(place.direction);
        const int labelWidth = std::max(22, label->sizeHint().width());
        const QPointF centre(width() * place.x, height() * place.y);
        label->setGeometry(int(std::lround(centre.x() - labelWidth / 2.0)),
                           int(std::lround(centre.y() - 9)), labelWidth, 18);
    }
}

// Pointer ------------------------------------------------------------------------------------

void KeyMappingMarkerView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_didDrag = false;
    m_mouseDownPoint = event->position();
    if (showCloseAction) {
        showCloseAction();
    }
}

void KeyMappingMarkerView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_mouseDownPoint) {
        return;
    }
    const QPointF offset = event->position() - *m_mouseDownPoint;
    // Exactly the tolerance is still a click.
    if (std::hypot(offset.x(), offset.y()) > dragTolerance) {
        m_didDrag = true;
        if (dragAction) {
            dragAction(this, event, false);
        }
    }
}

void KeyMappingMarkerView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_mouseDownPoint) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPointer<KeyMappingMarkerView> self(this);
    if (!m_didDrag) {
        if (editAction) {
            editAction();
        }
    } else if (dragAction) {
        dragAction(this, event, true);
    }
    if (self) {
        m_mouseDownPoint.reset();
    }
}

void KeyMappingMarkerView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (showCloseAction) {
        showCloseAction();
    }
}

void KeyMappingMarkerView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    reportLeaveUnlessInside();
}

bool KeyMappingMarkerView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_closeButton && event->type() == QEvent::Leave) {
        reportLeaveUnlessInside();
    }
    return QWidget::eventFilter(watched, event);
}

// The close button lies over the marker in its parent, so passing onto it leaves the marker in
// Qt's eyes; the pointer counts as gone only once it is over neither.
void KeyMappingMarkerView::reportLeaveUnlessInside() {
    QTimer::singleShot(0, this, [this] {
        if (underMouse() || (m_closeButton && m_closeButton->underMouse())) {
            return;
        }
        if (hideCloseAction) {
            hideCloseAction();
        }
    });
}

void KeyMappingMarkerView::wheelEvent(QWheelEvent* event) {
    if (!scrollAction) {
        QWidget::wheelEvent(event);
        return;
    }
    scrollAction(this, event);
}
