#include "devicewindow/KeyMappingOverlayView.h"

#include "devicewindow/KeyMappingMarkerView.h"

#include <QEvent>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace {

QString number(double value) {
    return QString::asprintf("%.2f", value);
}

QString point(const std::optional<QPointF>& value) {
    if (!value) {
        return QStringLiteral("nil");
    }
    return QStringLiteral("(") + number(value->x()) + QLatin1Char(',') + number(value->y()) +
           QLatin1Char(')');
}

template <typename T>
QString optionalNumber(const std::optional<T>& value) {
    return value ? QString::number(*value) : QStringLiteral("nil");
}

}  // namespace

KeyMappingOverlayView::KeyMappingOverlayView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("keyMappingOverlayContainer"));
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    hide();
    if (parent) {
        parent->installEventFilter(this);
        fitToParent();
    }
}

void KeyMappingOverlayView::setAllowsMarkerInteraction(bool allows) {
    m_allowsMarkerInteraction = allows;
    // Also keeps the markers and their close buttons out of the way of clicks.
    setAttribute(Qt::WA_TransparentForMouseEvents, !allows);
}

QList<KeyMappingMarkerView*> KeyMappingOverlayView::markers() const {
    QList<KeyMappingMarkerView*> result;
    for (QObject* child : children()) {
        auto* marker = qobject_cast<KeyMappingMarkerView*>(child);
        if (marker && !marker->property("removed").toBool()) {
            result << marker;
        }
    }
    return result;
}

KeyMappingMarkerView* KeyMappingOverlayView::marker(const QString& identifier) const {
    for (KeyMappingMarkerView* candidate : markers()) {
        if (candidate->objectName() == identifier) {
            return candidate;
        }
    }
    return nullptr;
}

void KeyMappingOverlayView::removeMarkers() {
    for (KeyMappingMarkerView* marker : markers()) {
        marker->setProperty("removed", true);
        marker->hide();
        marker->deleteLater();
    }
}

bool KeyMappingOverlayView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize) {
        fitToParent();
    }
    return QWidget::eventFilter(watched, event);
}

void KeyMappingOverlayView::fitToParent() {
    if (parentWidget() && geometry() != parentWidget()->rect()) {
        setGeometry(parentWidget()->rect());
        if (onBoundsChanged) {
            onBoundsChanged();
        }
    }
}

QPointF KeyMappingOverlayView::unclampedLayoutPoint(const QPointF& normalized,
                                                    const QSizeF& bounds) {
    return {normalized.x() * std::max(bounds.width(), 1.0),
            normalized.y() * std::max(bounds.height(), 1.0)};
}

QPointF KeyMappingOverlayView::layoutPoint(const QPointF& normalized, const QSizeF& bounds) {
    return unclampedLayoutPoint(
        {std::clamp(normalized.x(), 0.0, 1.0), std::clamp(normalized.y(), 0.0, 1.0)}, bounds);
}

qreal KeyMappingOverlayView::markerDiameter(const KeyMappingItem& item) {
    if (!item.isMove()) {
        return kMarkerHeight;
    }
    const double diameter = item.moveRadius ? *item.moveRadius / 0.12 * 200 : 200;
    return std::clamp(diameter, 96.0, 260.0);
}

qreal KeyMappingOverlayView::markerWidth(const KeyMappingItem& item) {
    if (item.isMove()) {
        return markerDiameter(item);
    }
    QFont font;
    font.setPixelSize(15);
    font.setBold(true);
    const qreal measured =
        std::ceil(QFontMetricsF(font).horizontalAdvance(item.markerTitle()) + 18);
    return std::clamp(measured, 42.0, 92.0);
}

QString KeyMappingOverlayView::directionBindingDescription(KeyMappingDirection direction,
                                                           const KeyMappingItem& item) {
    const auto found = item.directionBindings.find(direction);
    QString name = QStringLiteral("nil");
    std::optional<quint16> keyCode;
    std::optional<int> windowsKey;
    if (found != item.directionBindings.end()) {
        name = found->second.displayName;
        keyCode = found->second.keyCode;
        windowsKey = found->second.windowsKey;
    }
    return rawValue(direction) + QLatin1Char(':') + name + QStringLiteral("(mac:") +
           optionalNumber(keyCode) + QStringLiteral(",win:") + optionalNumber(windowsKey) +
           QLatin1Char(')');
}

QString KeyMappingOverlayView::markerDirectionSummary(const KeyMappingItem& item) {
    if (!item.isMove()) {
        return QStringLiteral("-");
    }
    QStringList parts;
    for (KeyMappingDirection direction : kAllKeyMappingDirections) {
        parts << directionBindingDescription(direction, item);
    }
    return parts.join(QLatin1Char(','));
}

QString KeyMappingOverlayView::markerLogLine(const KeyMappingItem& item, const PointTrace& trace) {
    const QPointF gap = trace.unclamped - trace.final;
    const bool clamped = std::hypot(gap.x(), gap.y()) > 0.5;
    const QString description =
        item.actionDescription ? *item.actionDescription : QStringLiteral("-");
    const QStringList parts = {
        QStringLiteral("[KEYMAPPING] id=") + item.id.toString(QUuid::WithoutBraces).toUpper(),
        QStringLiteral("type=") + rawValue(item.type),
        QStringLiteral("key=") + item.markerTitle(),
        QStringLiteral("macKeyCode=") + optionalNumber(item.keyCode) +
            QStringLiteral(" windowsKey=") + optionalNumber(item.windowsKey) +
            QStringLiteral(" secondWindowsKey=") + optionalNumber(item.secondWindowsKey),
        QStringLiteral("directions=") + markerDirectionSummary(item),
        QStringLiteral("viewNormalizedLeftTop=") + point(item.normalizedPoint),
        QStringLiteral("rawTouch=") + point(trace.rawTouch),
        QStringLiteral("playerPoint=") + point(trace.playerPoint),
        QStringLiteral("mainViewPoint=") + point(trace.mainViewPoint),
        QStringLiteral("overlayUnclamped=") + point(trace.unclamped),
        QStringLiteral("overlayFinal=") + point(trace.final),
        QStringLiteral("overlayBounds=") + number(trace.bounds.width()) + QLatin1Char('x') +
            number(trace.bounds.height()),
        QStringLiteral("clamped=") + (clamped ? QStringLiteral("true") : QStringLiteral("false")),
        QStringLiteral("description=") + description,
    };
    return parts.join(QLatin1Char(' '));
}
