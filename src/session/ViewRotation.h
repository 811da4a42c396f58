#pragma once

#include <QtGlobal>

class QWidget;

// Turns a view's drawing about its own centre and back (see ViewLayer). The first turn moves the
// layer's anchor to the centre without moving the picture, and the view remembers that it did.
// Angles are absolute, in degrees, positive counter-clockwise on screen as devices report their
// rotation; a later call replaces the earlier angle. Changes show at once: `animated` and
// `duration` are accepted for callers that ask for a transition but none is played. GUI thread.
class ViewRotation {
public:
    // True only once `ensureAnchorPoint` moved (or found) the anchor at the centre.
    static bool isAnchorPointSet(const QWidget* view);

    // Nothing for a view that is not layer-backed.
    static void ensureAnchorPoint(QWidget* view);
    // Makes the view layer-backed if needed.
    static void rotateAroundCenter(QWidget* view, qreal degrees, bool animated = false,
                                   double duration = 0.3);
    // The identity transform; anchor and flag stay. Nothing for a view that is not layer-backed.
    static void resetRotation(QWidget* view, bool animated = false, double duration = 0.3);
};
