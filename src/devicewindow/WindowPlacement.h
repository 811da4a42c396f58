#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Where device windows go on the screen, as pure functions over frame rectangles in top-left
// screen coordinates. Areas are a screen's availableGeometry.
//
// The window manager places a new device window with newWindowPlacement (whether the settings
// centre new windows, and whether a visible device window exists), then either
// cascadedFrame from the newest visible window's frame on that window's screen, or
// centredFrame on its own screen; a batch of opened windows is arranged with tiledOrigins.
namespace WindowPlacement {

// The step from the anchor to a cascaded window: right, and its bottom edge further down.
inline constexpr double kCascadeRight = 36;
inline constexpr double kCascadeDown = 56;

enum class Placement { centre, cascade };

// Cascading only when new windows are not centred and there is a window to follow.
Placement newWindowPlacement(bool centreNewWindows, bool hasAnchor);

// A window of `size` 36 right of the anchor with its bottom edge 56 below the anchor's, kept
// inside `area` when there is one.
QRectF cascadedFrame(const QRectF& anchorFrame, const QSizeF& size,
                     const std::optional<QRectF>& area);
QRectF centredFrame(const QSizeF& size, const QRectF& area);
// Moved, never resized, so that it lies inside `area`; one larger than the area keeps its
// top-left corner there so the title bar stays reachable.
QRectF constrainedFrame(const QRectF& frame, const QRectF& area);

// Top-left corners for windows of these sizes, in order: rows from the area's top-left corner,
// a new row below the tallest of the last one whenever a window would cross the right edge.
// Rows continue below the area when the windows do not fit.
QList<QPointF> tiledOrigins(const QList<QSizeF>& frameSizes, const QRectF& area);

}  // namespace WindowPlacement
