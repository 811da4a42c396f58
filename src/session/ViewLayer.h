#pragma once

#include <QColor>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

class QWidget;

// The drawing state of a layer-backed view: an anchor point (a fraction of the bounds), the
// position of that anchor in the parent's coordinates and a transform about it. The view keeps
// its widget geometry (its frame, where it takes mouse events); only its painting is moved,
// turned or scaled, and may reach beyond the frame into the parent. Changes show at once.
//
// All geometry uses the widget's top-left origin. The transform is a plain Qt transform: a
// rotation by a positive angle turns the content clockwise on screen.
class ViewLayer : public QObject {
    Q_OBJECT

public:
    // The view's layer, or none when the view is not layer-backed.
    static ViewLayer* of(const QWidget* view);
    // Makes the view layer-backed: its layer starts with anchor (0, 0) at the frame's origin.
    static ViewLayer* ensure(QWidget* view);

    QWidget* view() const;

    QPointF anchorPoint() const { return m_anchorPoint; }
    void setAnchorPoint(const QPointF& anchorPoint);
    QPointF position() const;
    void setPosition(const QPointF& position);
    QRectF bounds() const;
    QTransform transform() const { return m_transform; }
    void setTransform(const QTransform& transform);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color);

    // Where a point of the view's own coordinates is drawn, in the same coordinates.
    QTransform contentTransform() const;
    // Where the layer's content appears, in the parent's coordinates.
    QRectF presentationFrame() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ViewLayer(QWidget* view);
    // When the widget's frame changed, the layer keeps its anchor and follows the frame. Hidden
    // widgets get no move or resize events, so every reader catches up first.
    void followFrame() const;
    void contentChanged();

    QPointF m_anchorPoint{0, 0};
    mutable QRectF m_frame;
    mutable QPointF m_position;
    QTransform m_transform;
    QColor m_backgroundColor;
};
