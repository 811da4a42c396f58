#include "DeviceWindowTestSupport.h"
#include "devicewindow/KeyEditorPopup.h"
#include "devicewindow/KeyMappingMarkerView.h"
#include "devicewindow/KeyMappingOverlayView.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

KeyMappingItem tapItem(const QString& name, QPointF point = {0.5, 0.5}) {
    KeyMappingItem item(KeyMappingType::tap, point);
    item.keyDisplayName = name;
    return item;
}

KeyMappingItem moveItem(std::optional<double> radius) {
    KeyMappingItem item(KeyMappingType::move, {0.3, 0.7});
    item.moveRadius = radius;
    return item;
}

}  // namespace

class KeyMappingOverlayTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void markerSize_data() {
        QTest::addColumn<KeyMappingItem>("item");
        QTest::addColumn<qreal>("width");
        QTest::addColumn<qreal>("height");
        QTest::newRow("move, no radius") << moveItem(std::nullopt) << 200.0 << 200.0;
        QTest::newRow("move, small radius clamped up") << moveItem(0.03) << 96.0 << 96.0;
        QTest::newRow("move, large radius clamped down") << moveItem(0.3) << 260.0 << 260.0;
        QTest::newRow("move, just under the top")
            << moveItem(0.155) << 258.33333333333337 << 258.33333333333337;
        QTest::newRow("tap, one letter") << tapItem(QStringLiteral("Q")) << 42.0 << 42.0;
        QTest::newRow("tap, long title")
            << tapItem(QStringLiteral("Left Shift + Page Down")) << 92.0 << 42.0;
        KeyMappingItem joystick(KeyMappingType::joystick, {0.5, 0.5});
        joystick.keyDisplayName = QStringLiteral("J");
        QTest::newRow("joystick is sized like a tap") << joystick << 42.0 << 42.0;
    }
    void markerSize() {
        QFETCH(KeyMappingItem, item);
        QFETCH(qreal, width);
        QFETCH(qreal, height);
        QCOMPARE(KeyMappingOverlayView::markerWidth(item), width);
        const qreal diameter = KeyMappingOverlayView::markerDiameter(item);
        QCOMPARE(item.isMove() ? diameter : KeyMappingOverlayView::kMarkerHeight, height);
    }

    void layoutPoint_data() {
        QTest::addColumn<QPointF>("normalized");
        QTest::addColumn<QSizeF>("bounds");
        QTest::addColumn<QPointF>("point");
        QTest::newRow("top-left corner") << QPointF(0, 0) << QSizeF(200, 400) << QPointF(0, 0);
        QTest::newRow("y from the top")
            << QPointF(0.25, 0.1) << QSizeF(200, 400) << QPointF(50, 40);
        QTest::newRow("outside is drawn at the edge")
            << QPointF(1.5, -0.5) << QSizeF(200, 400) << QPointF(200, 0);
        QTest::newRow("zero-size layer") << QPointF(0.5, 0.5) << QSizeF(0, 0) << QPointF(0.5, 0.5);
    }
    void layoutPoint() {
        QFETCH(QPointF, normalized);
        QFETCH(QSizeF, bounds);
        QFETCH(QPointF, point);
        QCOMPARE(KeyMappingOverlayView::layoutPoint(normalized, bounds), point);
    }

    void diagnosticLine_data() {
        QTest::addColumn<QPointF>("normalized");
        QTest::addColumn<QString>("tail");
        QTest::newRow("inside") << QPointF(0.5, 0.5)
                                << QStringLiteral(
                                       "overlayUnclamped=(100.00,200.00) overlayFinal=(100.00,"
                                       "200.00) overlayBounds=200.00x400.00 clamped=false "
                                       "description=-");
        QTest::newRow("past the right edge")
            << QPointF(1.5, 0.5)
            << QStringLiteral(
                   "overlayUnclamped=(300.00,200.00) overlayFinal=(200.00,200.00) "
                   "overlayBounds=200.00x400.00 clamped=true description=-");
    }
    void diagnosticLine() {
        QFETCH(QPointF, normalized);
        QFETCH(QString, tail);
        KeyMappingItem item = tapItem(QStringLiteral("Q"), normalized);
        item.keyCode = 12;
        item.windowsKey = 81;
        KeyMappingOverlayView::PointTrace trace;
        trace.bounds = QSizeF(200, 400);
        trace.final = KeyMappingOverlayView::layoutPoint(normalized, trace.bounds);
        trace.unclamped = KeyMappingOverlayView::unclampedLayoutPoint(normalized, trace.bounds);
        const QString line = KeyMappingOverlayView::markerLogLine(item, trace);
        const QString id = item.id.toString(QUuid::WithoutBraces).toUpper();
        QCOMPARE(line,
                 QStringLiteral("[KEYMAPPING] id=%1 type=tap key=Q macKeyCode=12 windowsKey=81 "
                                "secondWindowsKey=nil directions=- viewNormalizedLeftTop=(%2,0.50) "
                                "rawTouch=nil playerPoint=nil mainViewPoint=nil ")
                         .arg(id, QString::asprintf("%.2f", normalized.x())) +
                     tail);
    }

    void moveDirectionsWithAMissingBinding() {
        KeyMappingItem item = moveItem(0.12);
        item.directionBindings.erase(KeyMappingDirection::left);
        const QString summary = KeyMappingOverlayView::markerDirectionSummary(item);
        const QStringList parts = summary.split(QLatin1Char(','));
        QCOMPARE(parts.size(), 8);  // four directions, each with its own inner comma
        QCOMPARE(parts[2], QStringLiteral("left:nil(mac:nil"));
        QVERIFY(summary.startsWith(QStringLiteral("up:W(mac:")));
    }

    void moveEditorSitsBesideItsMarker() {
        KeyMappingItem item = moveItem(0.12);
        item.directionBindings.clear();
        QStringList captured;
        QWidget anchor;
        anchor.setGeometry(100, 100, 200, 200);
        anchor.show();
        auto* popup = new KeyEditorPopup(
            item, item.markerTitle(),
            [&captured](QPushButton* button) { captured << button->objectName(); }, &anchor);
        popup->showBeside(&anchor);
        for (QPushButton* button : popup->keyButtons()) {
            QVERIFY(popup->rect().contains(button->geometry()));
        }
        // At the anchor's right edge; the platform may add its frame.
        QVERIFY(qAbs(popup->pos().x() - anchor.mapToGlobal(QPoint(200, 0)).x()) <= 2);

        QTest::mouseClick(popup->keyButtons()[1], Qt::LeftButton);
        const QString id = item.id.toString(QUuid::WithoutBraces).toUpper();
        QCOMPARE(captured, QStringList{id + QStringLiteral("|left")});
        popup->close();
    }

    void tapEditorHasOneKey() {
        KeyMappingItem item = tapItem(QStringLiteral("Q"));
        item.actionDescription = QStringLiteral("开火");
        KeyEditorPopup popup(item, item.markerTitle(), {});
        QCOMPARE(popup.size(), QSize(150, 92));
        QCOMPARE(popup.titleText(), QStringLiteral("开火"));
        QCOMPARE(popup.keyButtons().size(), 1);
        QCOMPARE(popup.keyButtons().first()->objectName(),
                 item.id.toString(QUuid::WithoutBraces).toUpper());
    }

    void companionsStayInsideTheLayer_data() {
        QTest::addColumn<QPoint>("markerPosition");
        QTest::newRow("left edge") << QPoint(-21, 150);
        QTest::newRow("top-right corner") << QPoint(180, -21);
        QTest::newRow("bottom edge") << QPoint(100, 380);
    }
    void companionsStayInsideTheLayer() {
        QFETCH(QPoint, markerPosition);
        QWidget layer;
        layer.resize(200, 400);
        auto* marker =
            new KeyMappingMarkerView(QStringLiteral("Q"), KeyMappingType::tap, {}, &layer);
        marker->setGeometry(QRect(markerPosition, QSize(42, 42)));
        layer.show();
        marker->setConflictVisible(true, QStringLiteral("键位冲突，再按一次清空原键位"));
        marker->setCloseButtonVisible(true);
        QVERIFY(marker->hintLabel()->isVisible());
        QVERIFY(layer.rect().contains(marker->hintLabel()->geometry()));
        QVERIFY(layer.rect().contains(marker->closeButton()->geometry()));
    }
};

QTEST_MAIN(KeyMappingOverlayTest)
#include "tst_KeyMappingOverlay.moc"
