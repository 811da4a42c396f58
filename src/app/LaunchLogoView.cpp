#include "app/LaunchLogoView.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

LaunchLogoView::LaunchLogoView(QWidget* parent) : QWidget(parent) {
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        m_icon = icon.pixmap(QSize(240, 240));
    }
    if (m_icon.isNull()) {
        setAccessibleName(QStringLiteral("App Icon"));
    }
}

void LaunchLogoView::setScale(double scale) {
    m_scale = scale;
    update();
}

void LaunchLogoView::setOpacity(double opacity) {
    m_opacity = opacity;
    update();
}

void LaunchLogoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(m_scale, m_scale);
    painter.translate(-centre);
    const QRectF area = QRectF(rect()).adjusted(10, 10, -10, -10);

    // A soft shadow below the logo, like a raised tile.
    QPainterPath shadow;
    shadow.addRoundedRect(area.translated(0, 5), 26, 26);
    painter.fillPath(shadow, QColor(0, 0, 0, 60));

    if (!m_icon.isNull()) {
        const QSize fitted = m_icon.size().scaled(area.size().toSize(), Qt::KeepAspectRatio);
        QRectF target{QPointF(), QSizeF(fitted)};
        target.moveCenter(area.center());
        painter.drawPixmap(target, m_icon, QRectF(m_icon.rect()));
        return;
    }
    // The symbol: a rounded tile with a four-square grid, as app launchers draw an application.
    QPainterPath tile;
    tile.addRoundedRect(area, 26, 26);
    painter.fillPath(tile, QColor(255, 255, 255, 235));
    const double cell = area.width() / 5.0;
    const QColor accent(255, 160, 40);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            QPainterPath square;
            square.addRoundedRect(
                QRectF(area.left() + cell * (1 + column * 1.6), area.top() + cell * (1 + row * 1.6),
                       cell * 1.2, cell * 1.2),
                6, 6);
            painter.fillPath(square, accent);
        }
    }
}
