#include "session/CloudPhoneTouchView.h"

#include "foundation/logging/ConsoleFormat.h"

#include <QMouseEvent>

#include <cmath>
#include <numbers>

namespace {

constexpr int kFirstTapID = 1;
constexpr int kLastTapID = 9;

}  // namespace

CloudPhoneTouchView::CloudPhoneTouchView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void CloudPhoneTouchView::setDelegate(std::weak_ptr<KXDeviceTouchDelegate> delegate) {
    m_delegate = std::move(delegate);
}

void CloudPhoneTouchView::setRotationDegrees(qreal degrees) {
    if (degrees == m_rotationDegrees) {
        return;
    }
    m_rotationDegrees = degrees;
    ConsoleFormat::print(QStringLiteral("🔄 CloudPhoneTouchView 旋转角度更新: ") +
                         ConsoleFormat::number(degrees) + QStringLiteral("°"));
}

qreal CloudPhoneTouchView::normalizedRotation() const {
    qreal r = std::fmod(m_rotationDegrees, 360.0);
    if (r < 0) {
        r += 360;
    }
    return r;
}

QSizeF CloudPhoneTouchView::pictureExtent() const {
    const qreal r = normalizedRotation();
    const QSizeF bounds(size());
    return r == 90 || r == 270 ? bounds.transposed() : bounds;
}

QPointF CloudPhoneTouchView::flipped(const QPointF& point) const {
    return m_shouldFlipY ? point : QPointF(point.x(), height() - point.y());
}

QPointF CloudPhoneTouchView::rotateViewPoint(const QPointF& point) const {
    const qreal w = width();
    const qreal h = height();
    const qreal x = point.x();
    const qreal y = point.y();
    const qreal r = normalizedRotation();
    if (r == 0) {
        return {x, y};
    }
    if (r == 90) {
        return {h - y, x};
    }
    if (r == 180) {
        return {w - x, h - y};
    }
    if (r == 270) {
        return {y, w - x};
    }
    // Undo the picture's turn about the centre. With y growing downwards a positive angle here is
    // a clockwise turn, the inverse of the picture's; this agrees with the quarter turns above.
    const QSizeF extent = pictureExtent();
    const qreal dx = x - w / 2;
    const qreal dy = y - h / 2;
    const qreal t = r * std::numbers::pi / 180;
    return {extent.width() / 2 + std::cos(t) * dx - std::sin(t) * dy,
            extent.height() / 2 + std::sin(t) * dx + std::cos(t) * dy};
}

KXTouchObc CloudPhoneTouchView::makeTouch(qint32 index, const QPointF& point) const {
    const QPointF mapped = rotateViewPoint(flipped(point));
    const QSizeF extent = pictureExtent();
    return KXTouchObc(static_cast<float>(mapped.x() / extent.width()),
                      static_cast<float>(mapped.y() / extent.height()), index);
}

QList<KXTouchObc> CloudPhoneTouchView::currentTouches() const {
    QList<KXTouchObc> touches;
    if (m_mouseTouchPoint) {
        touches.append(makeTouch(0, *m_mouseTouchPoint));
    }
    for (const auto& [id, point] : m_simulatedTouches) {
        touches.append(makeTouch(id, point));
    }
    return touches;
}

bool CloudPhoneTouchView::isTouching() const {
    return m_mouseTouchPoint.has_value() || !m_simulatedTouches.empty();
}

void CloudPhoneTouchView::sendBegin() const {
    if (const auto delegate = m_delegate.lock()) {
        delegate->touchBegin();
    }
}

void CloudPhoneTouchView::sendMove(const QList<KXTouchObc>& touches) const {
    if (const auto delegate = m_delegate.lock()) {
        delegate->touchMove(touches);
    }
}

void CloudPhoneTouchView::sendEnd() const {
    if (const auto delegate = m_delegate.lock()) {
        delegate->touchEnd();
    }
}

void CloudPhoneTouchView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (!m_mouseTouchPoint) {
        const bool simulatedDown = !m_simulatedTouches.empty();
        m_leftDown = true;
        m_sendMove = true;
        if (!simulatedDown) {
            sendBegin();
        }
    } else {
        m_leftDown = true;
        m_sendMove = true;
    }
    m_pointerInside = true;
    pointerMoved(event->position());
}

void CloudPhoneTouchView::mouseMoveEvent(QMouseEvent* event) {
    // While the button is held Qt keeps sending moves here from outside the view and no crossing
    // events, so crossings are read from the position.
    const bool inside = QRectF(rect()).contains(event->position());
    if (inside && !m_pointerInside) {
        pointerEntered();
    } else if (!inside && m_pointerInside) {
        pointerExited();
    }
    pointerMoved(event->position());
}

void CloudPhoneTouchView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    mouseMoveEvent(event);
    m_leftDown = false;
    m_sendMove = false;
    m_mouseTouchPoint.reset();
    if (!m_simulatedTouches.empty()) {
        sendMove(currentTouches());
    } else {
        sendEnd();
    }
}

void CloudPhoneTouchView::enterEvent(QEnterEvent*) {
    pointerEntered();
}

void CloudPhoneTouchView::leaveEvent(QEvent*) {
    pointerExited();
}

void CloudPhoneTouchView::pointerEntered() {
    m_pointerInside = true;
    if (m_leftDown) {
        m_sendMove = true;
    }
}

void CloudPhoneTouchView::pointerExited() {
    m_pointerInside = false;
    m_sendMove = false;
}

void CloudPhoneTouchView::pointerMoved(const QPointF& position) {
    if (!m_sendMove) {
        return;
    }
    m_mouseTouchPoint = position;
    sendMove(currentTouches());
}

void CloudPhoneTouchView::simulateTouchDown(int id, qreal x, qreal y) {
    const bool wasTouching = isTouching();
    m_simulatedTouches[id] = QPointF(x, y);
    if (!wasTouching) {
        sendBegin();
    }
    sendMove(currentTouches());
}

void CloudPhoneTouchView::simulateTouchMove(int id, qreal x, qreal y) {
    const auto found = m_simulatedTouches.find(id);
    if (found == m_simulatedTouches.end()) {
        return;
    }
    found->second = QPointF(x, y);
    sendMove(currentTouches());
}

void CloudPhoneTouchView::simulateTouchUp(int id, qreal x, qreal y) {
    const auto found = m_simulatedTouches.find(id);
    if (found == m_simulatedTouches.end()) {
        return;
    }
    found->second = QPointF(x, y);
    sendMove(currentTouches());
    m_simulatedTouches.erase(id);
    if (isTouching()) {
        sendMove(currentTouches());
    } else {
        sendEnd();
    }
}

void CloudPhoneTouchView::clearSimulatedTouches() {
    if (m_simulatedTouches.empty()) {
        return;
    }
    m_simulatedTouches.clear();
    if (m_mouseTouchPoint) {
        sendMove(currentTouches());
    } else {
        sendEnd();
    }
}

void CloudPhoneTouchView::tapAtPoint(qreal x, qreal y) {
    const QPointF point(x, y);
    if (!isTouching()) {
        sendBegin();
        sendMove({makeTouch(0, point)});
        sendEnd();
        return;
    }
    int freeID = kFirstTapID;
    while (freeID <= kLastTapID && m_simulatedTouches.contains(freeID)) {
        ++freeID;
    }
    if (freeID > kLastTapID) {
        // A one-shot contact 0 would lift every contact still held; the tap is lost instead.
        ConsoleFormat::print(
            QStringLiteral(
                "⚠️ CloudPhoneTouchView tapAtPoint: 触点 1-9 均被占用，忽略点击 ") +
            ConsoleFormat::point(point));
        return;
    }
    m_simulatedTouches[freeID] = point;
    sendMove(currentTouches());
    m_simulatedTouches.erase(freeID);
    sendMove(currentTouches());
}
