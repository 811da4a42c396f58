#include "devicewindow/DeviceWindowImages.h"

#include "devicewindow/DeviceWindowIcons.h"
#include "devicewindow/SharedPixmaps.h"

#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace DeviceWindowImages {

namespace {

constexpr int kSymbolSize = 36;

QPixmap drawnSymbol(const QString& name) {
    QPixmap pixmap(kSymbolSize, kSymbolSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(0xd8, 0xd8, 0xd8));
    pen.setWidthF(2.5);
    painter.setPen(pen);
    if (name == QLatin1String("circle")) {
        painter.drawEllipse(QRectF(6, 6, kSymbolSize - 12, kSymbolSize - 12));
        return pixmap;
    }
    const QRectF body(3, 9, kSymbolSize - 6, kSymbolSize - 18);
    painter.drawRoundedRect(body, 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(pen.color());
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 5; ++column) {
            painter.drawRect(
                QRectF(body.left() + 4 + column * 5.2, body.top() + 3.5 + row * 4.5, 2.8, 2.6));
        }
    }
    painter.drawRect(QRectF(body.left() + 8, body.bottom() - 5, body.width() - 16, 2.4));
    return pixmap;
}

}  // namespace

QPixmap named(const QString& name) {
    const QString path = QStringLiteral(":/devicewindow/") + name + QStringLiteral(".png");
    if (!QFile::exists(path)) {
        return DeviceWindowIcons::drawn(name);
    }
    return SharedPixmaps::value(QStringLiteral("named:") + name, [&path] { return QPixmap(path); });
}

QPixmap systemSymbol(const QString& name) {
    if (name != QLatin1String("keyboard") && name != QLatin1String("circle")) {
        return {};
    }
    return SharedPixmaps::value(QStringLiteral("symbol:") + name,
                                [&name] { return drawnSymbol(name); });
}

QPixmap loadingBackground() {
    const QPixmap shipped = named(QStringLiteral("cloudphone_loading_background"));
    if (!shipped.isNull()) {
        return shipped;
    }
    return SharedPixmaps::value(QStringLiteral("loadingBackground"), [] {
        QPixmap pixmap(180, 320);
        QPainter painter(&pixmap);
        QLinearGradient gradient(0, 0, 0, pixmap.height());
        gradient.setColorAt(0, QColor(0x1d, 0x1b, 0x3a));
        gradient.setColorAt(1, QColor(0x07, 0x07, 0x10));
        painter.fillRect(pixmap.rect(), gradient);
        return pixmap;
    });
}

}  // namespace DeviceWindowImages
