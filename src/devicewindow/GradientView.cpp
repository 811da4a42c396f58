#include "devicewindow/GradientView.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>

GradientView::GradientView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

GradientView::GradientView(const QRect& frame, QWidget* parent) : GradientView(parent) {
    setGeometry(frame);
}

void GradientView::updateGradientColors() {
    m_stops.clear();
    if (colors.size() == 1) {
        m_stops = {{0, colors.first()}, {1, colors.first()}};
    } else {
        for (int i = 0; i < colors.size(); ++i) {
            m_stops.append({qreal(i) / (colors.size() - 1), colors.at(i)});
        }
    }
    update();
}

void GradientView::setFollowsParentSize(bool follows) {
    if (follows == m_followsParentSize || !parentWidget()) {
        return;
    }
    m_followsParentSize = follows;
    if (follows) {
        parentWidget()->installEventFilter(this);
    } else {
        parentWidget()->removeEventFilter(this);
    }
}

bool GradientView::eventFilter(QObject* watched, QEvent* event) {
    if (m_followsParentSize && watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void GradientView::paintEvent(QPaintEvent*) {
    if (m_stops.isEmpty()) {
        return;
    }
    const QRectF area = rect();
    QLinearGradient gradient(
        area.left() + startPoint.x() * area.width(), area.top() + startPoint.y() * area.height(),
        area.left() + endPoint.x() * area.width(), area.top() + endPoint.y() * area.height());
    gradient.setStops(m_stops);
    QPainter painter(this);
    painter.fillRect(area, gradient);
}

GradientView* applyGradientBackground(QWidget* view, const QList<QColor>& colors,
                                      const QPointF& startPoint, const QPointF& endPoint) {
    if (!view) {
        return nullptr;
    }
    GradientView* gradient = nullptr;
    for (QObject* child : view->children()) {
        if (auto* existing = qobject_cast<GradientView*>(child)) {
            gradient = existing;
            break;
        }
    }
    const bool created = gradient == nullptr;
    if (created) {
        gradient = new GradientView(view->rect(), view);
    }
    gradient->colors = colors;
    gradient->updateGradientColors();
    gradient->startPoint = startPoint;
    gradient->endPoint = endPoint;
    gradient->setGeometry(view->rect());
    if (created) {
        gradient->setFollowsParentSize(true);
        gradient->lower();
        gradient->show();
    }
    gradient->update();
    return gradient;
}
