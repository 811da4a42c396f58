#pragma once

#include <QColor>
#include <QGradientStops>
#include <QList>
#include <QPointF>
#include <QWidget>

// A view filled by a linear gradient. Points are unit coordinates of the view with the origin
// at the top left, so the default runs from the bottom-left corner to the top-right one.
class GradientView : public QWidget {
    Q_OBJECT

public:
    explicit GradientView(QWidget* parent = nullptr);
    explicit GradientView(const QRect& frame, QWidget* parent = nullptr);

    QList<QColor> colors;
    QPointF startPoint{0, 1};
    QPointF endPoint{1, 0};

    // Takes `colors` into the painted gradient, evenly spread; an empty list paints nothing.
    void updateGradientColors();
    const QGradientStops& gradientStops() const { return m_stops; }

    // Keeps the view covering its parent as the parent is resized.
    void setFollowsParentSize(bool follows);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGradientStops m_stops;
    bool m_followsParentSize = false;
};

// Installs a gradient behind all of the view's children, or updates the one an earlier call put
// there; a view never gets a second one.
GradientView* applyGradientBackground(QWidget* view, const QList<QColor>& colors,
                                      const QPointF& startPoint, const QPointF& endPoint);
