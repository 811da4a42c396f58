#include "session/ViewLayer.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QPainter>
#include <QPointer>
#include <QWidget>

namespace {

// Draws the view's own rendering where its layer puts it. Installed only while that differs
// from the frame, so an untransformed view paints straight into its parent as usual.
class LayerEffect : public QGraphicsEffect {
public:
    explicit LayerEffect(const ViewLayer* layer) : m_layer(layer) {}

    void layerChanged() { updateBoundingRect(); }

    // Called with the view's frame in the parent's coordinates.
    QRectF boundingRectFor(const QRectF& frame) const override {
        if (!m_layer) {
            return frame;
        }
        return m_layer->contentTransform()
            .mapRect(frame.translated(-frame.topLeft()))
            .translated(frame.topLeft());
    }

protected:
    void draw(QPainter* painter) override {
        // A dying view loses its layer before its effect.
        if (!m_layer) {
            drawSource(painter);
            return;
        }
        QPoint offset;
        const QPixmap content = sourcePixmap(Qt::LogicalCoordinates, &offset, NoPad);
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->setWorldTransform(m_layer->contentTransform(), true);
        painter->drawPixmap(offset, content);
        painter->restore();
    }

private:
    QPointer<const ViewLayer> m_layer;
};

}  // namespace

ViewLayer* ViewLayer::of(const QWidget* view) {
    return view ? view->findChild<ViewLayer*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

ViewLayer* ViewLayer::ensure(QWidget* view) {
    if (ViewLayer* layer = of(view)) {
        return layer;
    }
    return new ViewLayer(view);
}

ViewLayer::ViewLayer(QWidget* view) : QObject(view) {
    m_frame = view->geometry();
    m_position = m_frame.topLeft();
    view->installEventFilter(this);
}

QWidget* ViewLayer::view() const {
    return static_cast<QWidget*>(parent());
}

QPointF ViewLayer::position() const {
    followFrame();
    return m_position;
}

QRectF ViewLayer::bounds() const {
    followFrame();
    return QRectF(QPointF(0, 0), m_frame.size());
}

void ViewLayer::setAnchorPoint(const QPointF& anchorPoint) {
    followFrame();
    m_anchorPoint = anchorPoint;
    contentChanged();
}

void ViewLayer::setPosition(const QPointF& position) {
    followFrame();
    m_position = position;
    contentChanged();
}

void ViewLayer::setTransform(const QTransform& transform) {
    m_transform = transform;
    contentChanged();
}

void ViewLayer::setBackgroundColor(const QColor& color) {
    m_backgroundColor = color;
    QWidget* widget = view();
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(color.isValid());
}

QTransform ViewLayer::contentTransform() const {
    followFrame();
    const QPointF anchor(m_anchorPoint.x() * m_frame.width(), m_anchorPoint.y() * m_frame.height());
    const QPointF shift = m_position - m_frame.topLeft();
    return QTransform::fromTranslate(-anchor.x(), -anchor.y()) * m_transform *
           QTransform::fromTranslate(shift.x(), shift.y());
}

QRectF ViewLayer::presentationFrame() const {
    return contentTransform().mapRect(bounds()).translated(view()->geometry().topLeft());
}

bool ViewLayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        contentChanged();
    }
    return QObject::eventFilter(watched, event);
}

void ViewLayer::followFrame() const {
    const QRectF frame = view()->geometry();
    if (frame == m_frame) {
        return;
    }
    m_frame = frame;
    m_position = frame.topLeft() +
                 QPointF(m_anchorPoint.x() * frame.width(), m_anchorPoint.y() * frame.height());
}

void ViewLayer::contentChanged() {
    QWidget* widget = view();
    const bool moved = !contentTransform().isIdentity();
    auto* effect = dynamic_cast<LayerEffect*>(widget->graphicsEffect());
    if (moved && !effect) {
        widget->setGraphicsEffect(new LayerEffect(this));
    } else if (!moved && effect) {
        widget->setGraphicsEffect(nullptr);
    } else if (effect) {
        effect->layerChanged();
    }
    if (QWidget* parentWidget = widget->parentWidget()) {
        parentWidget->update();
    }
    widget->update();
}
