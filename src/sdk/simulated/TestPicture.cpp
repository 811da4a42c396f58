#include "sdk/simulated/TestPicture.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>

namespace {

bool isQuarterTurn(KXRotationObc rotation) {
    return rotation == KXRotationObc::rotation90 || rotation == KXRotationObc::rotation270;
}

// Text needs the GUI application's font database; a bare core application gets shapes only.
bool canDrawText() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

void drawText(QPainter& painter, const QRectF& box, const QString& text, qreal pixelSize, bool bold,
              const QColor& color) {
    QFont font = painter.font();
    font.setPixelSize(std::max(1, qRound(pixelSize)));
    font.setBold(bold);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

QTransform TestPicture::contentToFrame(KXRotationObc rotation, const QSize& frameSize,
                                       QSizeF* contentSize) {
    const QSizeF frame(frameSize);
    const QSizeF content = isQuarterTurn(rotation) ? frame.transposed() : frame;
    if (contentSize) {
        *contentSize = content;
    }
    // The viewer turns the picture counter-clockwise by the device's rotation, so the content is
    // drawn turned clockwise, as a device turned to landscape encodes its screen.
    QTransform transform;
    transform.translate(frame.width() / 2, frame.height() / 2);
    transform.rotate(90.0 * static_cast<int>(rotation));
    transform.translate(-content.width() / 2, -content.height() / 2);
    return transform;
}

QPointF TestPicture::contactPosition(const KXTouchObc& contact, KXRotationObc,
                                     const QSize& frameSize) {
    // Touches are normalised in the frame, the device's unturned screen, whatever its rotation.
    return QPointF(contact.x() * frameSize.width(), contact.y() * frameSize.height());
}

QColor TestPicture::contactColor(qint32 index) {
    static const std::array<QColor, 6> colors{QColor(255, 64, 64),  QColor(64, 220, 64),
                                              QColor(80, 140, 255), QColor(255, 200, 0),
                                              QColor(255, 0, 255),  QColor(0, 230, 230)};
    const auto slot = static_cast<size_t>(index < 0 ? -static_cast<qint64>(index) : index);
    return colors[slot % colors.size()];
}

QImage TestPicture::render(const QSize& frameSize) const {
    QImage frame(frameSize, QImage::Format_RGB32);
    drawInto(frame);
    return frame;
}

void TestPicture::drawInto(QImage& frame) const {
    if (frame.isNull()) {
        return;
    }
    const QSize frameSize = frame.size();
    frame.fill(Qt::black);
    QSizeF content;
    const QTransform transform = contentToFrame(rotation, frameSize, &content);

    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(transform);
    const qreal w = content.width();
    const qreal h = content.height();
    const qreal unit = std::min(w, h) / 100.0;
    const bool text = canDrawText();

    // The screen: rounded corners, a status bar on top and a navigation bar below.
    QPainterPath screen;
    screen.addRoundedRect(QRectF(0, 0, w, h), 6 * unit, 6 * unit);
    painter.fillPath(screen, QColor(24, 44, 72));
    const QRectF statusBar(0, 0, w, 7 * unit);
    const QRectF navigationBar(0, h - 10 * unit, w, 10 * unit);
    painter.fillRect(statusBar, QColor(12, 22, 36));
    painter.fillRect(navigationBar, QColor(12, 22, 36));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 200, 200));
    const qreal navY = navigationBar.center().y();
    const qreal key = 2.5 * unit;
    painter.drawPolygon(QPolygonF{QPointF(w * 0.25 - key, navY),
                                  QPointF(w * 0.25 + key, navY - key),
                                  QPointF(w * 0.25 + key, navY + key)});
    painter.drawEllipse(QPointF(w * 0.5, navY), key, key);
    painter.drawRect(QRectF(w * 0.75 - key, navY - key, 2 * key, 2 * key));

    const QRectF appCard(w * 0.1, h * 0.55, w * 0.8, 12 * unit);
    painter.setBrush(QColor(40, 80, 120));
    painter.drawRoundedRect(appCard, 2 * unit, 2 * unit);

    if (text) {
        drawText(painter, statusBar.adjusted(2 * unit, 0, -2 * unit, 0),
                 QStringLiteral("#%1").arg(frameNumber), 4 * unit, false, Qt::white);
        drawText(painter, QRectF(0, h * 0.25, w, 16 * unit), deviceID, 12 * unit, true, Qt::white);
        drawText(painter, QRectF(0, h * 0.40, w, 10 * unit),
                 QStringLiteral("frame %1").arg(frameNumber), 6 * unit, false,
                 QColor(180, 220, 255));
        drawText(painter, appCard, foregroundApp, 4.5 * unit, false, Qt::white);
    }

    const qreal radius = 4 * unit;
    painter.resetTransform();
    for (const KXTouchObc& contact : contacts) {
        const QPointF centre = contactPosition(contact, rotation, frameSize);
        painter.setBrush(contactColor(contact.index()));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(centre, radius, radius);
    }
}
