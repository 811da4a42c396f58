#include "devicewindow/WindowPlacement.h"

#include <algorithm>

namespace WindowPlacement {

namespace {

double constrainedStart(double start, double length, double areaStart, double areaLength) {
    if (length >= areaLength) {
        return areaStart;
    }
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

}  // namespace

Placement newWindowPlacement(bool centreNewWindows, bool hasAnchor) {
    return !centreNewWindows && hasAnchor ? Placement::cascade : Placement::centre;
}

QRectF cascadedFrame(const QRectF& anchorFrame, const QSizeF& size,
                     const std::optional<QRectF>& area) {
    const QRectF frame(anchorFrame.left() + kCascadeRight,
                       anchorFrame.bottom() + kCascadeDown - size.height(), size.width(),
                       size.height());
    return area ? constrainedFrame(frame, *area) : frame;
}

QRectF centredFrame(const QSizeF& size, const QRectF& area) {
    QRectF frame(QPointF(0, 0), size);
    frame.moveCenter(area.center());
    return constrainedFrame(frame, area);
}

QRectF constrainedFrame(const QRectF& frame, const QRectF& area) {
    return {constrainedStart(frame.left(), frame.width(), area.left(), area.width()),
            constrainedStart(frame.top(), frame.height(), area.top(), area.height()), frame.width(),
            frame.height()};
}

QList<QPointF> tiledOrigins(const QList<QSizeF>& frameSizes, const QRectF& area) {
    QList<QPointF> origins;
    origins.reserve(frameSizes.size());
    double x = area.left();
    double top = area.top();
    double rowHeight = 0;
    for (const QSizeF& size : frameSizes) {
        if (x > area.left() && x + size.width() > area.right()) {
            x = area.left();
            top += rowHeight;
            rowHeight = 0;
        }
        origins.append({x, top});
        x += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
    return origins;
}

}  // namespace WindowPlacement
