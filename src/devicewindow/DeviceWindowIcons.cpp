#include "devicewindow/DeviceWindowIcons.h"

#include "devicewindow/SharedPixmaps.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace DeviceWindowIcons {

namespace {

constexpr int kSize = 36;
// Mid grey reads on light and dark strips alike.
const QColor kInk(0x8a, 0x8a, 0x8a);

using Drawing = std::function<void(QPainter&)>;

QPainterPath triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

void fillPath(QPainter& painter, const QPainterPath& path) {
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kInk);
    painter.drawPath(path);
    painter.restore();
}

void speaker(QPainter& painter) {
    QPainterPath body(QPointF(6, 14));
    body.lineTo(12, 14);
    body.lineTo(19, 8);
    body.lineTo(19, 28);
    body.lineTo(12, 22);
    body.lineTo(6, 22);
    body.closeSubpath();
    fillPath(painter, body);
}

void pin(QPainter& painter, bool selected) {
    QPainterPath head;
    head.addRoundedRect(QRectF(11, 5, 14, 14), 4, 4);
    if (selected) {
        fillPath(painter, head);
    } else {
        painter.drawPath(head);
    }
    painter.drawLine(QPointF(8, 20), QPointF(28, 20));
    painter.drawLine(QPointF(18, 20), QPointF(18, 31));
}

const QHash<QString, Drawing>& drawings() {
    static const QHash<QString, Drawing> table{
        {QStringLiteral("back"),
         [](QPainter& p) {
             fillPath(p, triangle({24, 9}, {24, 27}, {10, 18}));
         }},
        {QStringLiteral("home"), [](QPainter& p) { p.drawEllipse(QRectF(10, 10, 16, 16)); }},
        {QStringLiteral("overview"),
         [](QPainter& p) { p.drawRoundedRect(QRectF(10, 10, 16, 16), 2, 2); }},
        {QStringLiteral("ping"),
         [](QPainter& p) {
             for (int bar = 0; bar < 4; ++bar) {
                 const double height = 6 + bar * 5;
                 p.drawLine(QPointF(9 + bar * 6, 28), QPointF(9 + bar * 6, 28 - height));
             }
         }},
        {QStringLiteral("volumeUp"),
         [](QPainter& p) {
             speaker(p);
             p.drawArc(QRectF(16, 11, 10, 14), -60 * 16, 120 * 16);
             p.drawArc(QRectF(16, 7, 16, 22), -60 * 16, 120 * 16);
         }},
        {QStringLiteral("volumeDown"),
         [](QPainter& p) {
             speaker(p);
             p.drawArc(QRectF(16, 11, 10, 14), -60 * 16, 120 * 16);
         }},
        {QStringLiteral("rotation"),
         [](QPainter& p) {
             p.drawArc(QRectF(8, 8, 20, 20), 90 * 16, 270 * 16);
             fillPath(p, triangle({18, 3}, {18, 13}, {24, 8}));
         }},
        {QStringLiteral("snapshot"),
         [](QPainter& p) {
             p.drawRoundedRect(QRectF(6, 11, 24, 17), 3, 3);
             p.drawEllipse(QRectF(13, 14, 10, 10));
             p.drawLine(QPointF(13, 11), QPointF(15, 7));
             p.drawLine(QPointF(15, 7), QPointF(21, 7));
             p.drawLine(QPointF(21, 7), QPointF(23, 11));
         }},
        {QStringLiteral("keyboard"),
         [](QPainter& p) {
             p.drawRoundedRect(QRectF(4, 10, 28, 17), 3, 3);
             p.drawLine(QPointF(11, 22), QPointF(25, 22));
             for (int key = 0; key < 5; ++key) {
                 p.drawPoint(QPointF(9 + key * 4.5, 15));
             }
         }},
        {QStringLiteral("install"),
         [](QPainter& p) {
             p.drawLine(QPointF(18, 6), QPointF(18, 22));
             fillPath(p, triangle({11, 17}, {25, 17}, {18, 25}));
             p.drawLine(QPointF(8, 30), QPointF(28, 30));
         }},
        {QStringLiteral("previous"),
         [](QPainter& p) {
             fillPath(p, triangle({10, 22}, {26, 22}, {18, 12}));
         }},
        {QStringLiteral("next"),
         [](QPainter& p) {
             fillPath(p, triangle({10, 14}, {26, 14}, {18, 24}));
         }},
        {QStringLiteral("pin_normal"), [](QPainter& p) { pin(p, false); }},
        {QStringLiteral("pin_selected"), [](QPainter& p) { pin(p, true); }},
        {QStringLiteral("play.fill"),
         [](QPainter& p) {
             fillPath(p, triangle({11, 7}, {11, 29}, {29, 18}));
         }},
        {QStringLiteral("pause.fill"),
         [](QPainter& p) {
             QPainterPath bars;
             bars.addRoundedRect(QRectF(9, 7, 6, 22), 1.5, 1.5);
             bars.addRoundedRect(QRectF(21, 7, 6, 22), 1.5, 1.5);
             fillPath(p, bars);
         }},
    };
    return table;
}

}  // namespace

QPixmap drawn(const QString& name) {
    const auto drawing = drawings().constFind(name);
    if (drawing == drawings().constEnd()) {
        return {};
    }
    return SharedPixmaps::value(QStringLiteral("drawn:") + name, [&drawing] {
        QPixmap pixmap(kSize, kSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(kInk);
        pen.setWidthF(2.5);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        (*drawing)(painter);
        return pixmap;
    });
}

QPixmap tinted(const QPixmap& image, const QColor& color) {
    if (image.isNull()) {
        return image;
    }
    const QString key = QStringLiteral("tinted:%1:%2")
                            .arg(image.cacheKey())
                            .arg(color.rgba(), 8, 16, QLatin1Char('0'));
    return SharedPixmaps::value(key, [&image, &color] {
        QPixmap result(image.size());
        result.setDevicePixelRatio(image.devicePixelRatio());
        result.fill(Qt::transparent);
        QPainter painter(&result);
        painter.drawPixmap(0, 0, image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(result.rect(), color);
        return result;
    });
}

}  // namespace DeviceWindowIcons
