#pragma once

#include "sdk/KXDeviceTouchDelegate.h"
#include "sdk/KXTouchObc.h"

#include <QList>
#include <QPointF>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>

// The transparent input surface over a device's picture. The left mouse button is contact 0;
// simulated contacts (ids that fit 32 bits, the window's key mapping uses 1 to 9) come from the
// session. After every change the delegate gets the whole list of contacts, mouse first, then the
// simulated ones by ascending id, normalised to 0..1 in the device's own (unrotated) picture:
// `touchBegin` when the first contact starts, `touchMove` after each change, `touchEnd` when the
// last one goes.
//
// Coordinates: every point this view takes, from the mouse or from the simulated-contact calls,
// is in the view's own widget coordinates, origin at the top-left corner, y growing downwards,
// and not turned with the picture. Callers convert a normalised layout point straight into this
// view (QWidget::mapTo/mapFrom) without flipping y. So (0, 0) is the top-left corner and (width,
// height) the bottom-right one, which report (0, 0) and (1, 1) when the picture is not turned.
//
// GUI thread only.
class CloudPhoneTouchView : public QWidget {
    Q_OBJECT

public:
    explicit CloudPhoneTouchView(QWidget* parent = nullptr);

    // Held weakly: a delegate that is gone gets nothing, while the contacts are still tracked.
    std::weak_ptr<KXDeviceTouchDelegate> delegate() const { return m_delegate; }
    void setDelegate(std::weak_ptr<KXDeviceTouchDelegate> delegate);

    // The picture's rotation in degrees, counter-clockwise; set by the player view.
    qreal rotationDegrees() const { return m_rotationDegrees; }
    void setRotationDegrees(qreal degrees);

    // True: y is reported from the top edge, as the device expects (no change in Qt's
    // coordinates). False: from the bottom edge.
    bool shouldFlipY() const { return m_shouldFlipY; }
    void setShouldFlipY(bool flip) { m_shouldFlipY = flip; }

    bool leftDown() const { return m_leftDown; }
    bool sendMove() const { return m_sendMove; }
    std::optional<QPointF> mouseTouchPoint() const { return m_mouseTouchPoint; }
    const std::map<int, QPointF>& simulatedTouches() const { return m_simulatedTouches; }

    // A whole tap. From idle: begin, one move with contact 0, end. While other contacts are
    // down: the lowest free id from 1 to 9 goes down and up within two moves; when all nine are
    // taken the tap is dropped with a console line.
    void tapAtPoint(qreal x, qreal y);
    // Adds or replaces contact `id`.
    void simulateTouchDown(int id, qreal x, qreal y);
    // Unknown ids are ignored by move and up.
    void simulateTouchMove(int id, qreal x, qreal y);
    void simulateTouchUp(int id, qreal x, qreal y);
    void clearSimulatedTouches();

    // A view point in device picture coordinates (not yet normalised), after the y convention.
    QPointF rotateViewPoint(const QPointF& point) const;
    QList<KXTouchObc> currentTouches() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    qreal normalizedRotation() const;
    QSizeF pictureExtent() const;
    QPointF flipped(const QPointF& point) const;
    KXTouchObc makeTouch(qint32 index, const QPointF& point) const;
    bool isTouching() const;

    void pointerMoved(const QPointF& position);
    void pointerEntered();
    void pointerExited();

    void sendBegin() const;
    void sendMove(const QList<KXTouchObc>& touches) const;
    void sendEnd() const;

    std::weak_ptr<KXDeviceTouchDelegate> m_delegate;
    qreal m_rotationDegrees = 0;
    bool m_shouldFlipY = true;
    bool m_leftDown = false;
    bool m_sendMove = false;
    bool m_pointerInside = false;
    std::optional<QPointF> m_mouseTouchPoint;
    std::map<int, QPointF> m_simulatedTouches;
};
