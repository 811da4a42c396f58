#include "devicewindow/ConnectionSpinner.h"

#include <QPainter>

namespace {
constexpr int kSpokes = 12;
}

ConnectionSpinner::ConnectionSpinner(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % kSpokes;
        update();
    });
    hide();
}

void ConnectionSpinner::startAnimation() {
    m_timer.start();
    show();
}

void ConnectionSpinner::stopAnimation() {
    m_timer.stop();
    hide();
}

void ConnectionSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    QPen pen(Qt::white);
    pen.setWidthF(side / 12);
    pen.setCapStyle(Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // The leading spoke is brightest; the tail fades behind it.
        const int age = (m_step - i + kSpokes) % kSpokes;
        QColor color = Qt::white;
        color.setAlphaF(1.0 - 0.75 * age / kSpokes);
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / kSpokes);
        painter.drawLine(QPointF(0, -side * 0.25), QPointF(0, -side * 0.45));
        painter.restore();
    }
}
