#include "session/ViewLayer.h"
#include "session/ViewRotation.h"

#include <QPainter>
#include <QTest>

namespace {

// Blue, with a red square in its top-right corner.
class MarkedView : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::blue);
        painter.fillRect(QRect(width() - 20, 0, 20, 20), Qt::red);
    }
};

bool sameTransform(const QTransform& a, const QTransform& b) {
    return qAbs(a.m11() - b.m11()) < 1e-9 && qAbs(a.m12() - b.m12()) < 1e-9 &&
           qAbs(a.m21() - b.m21()) < 1e-9 && qAbs(a.m22() - b.m22()) < 1e-9 &&
           qAbs(a.dx() - b.dx()) < 1e-9 && qAbs(a.dy() - b.dy()) < 1e-9;
}

}  // namespace

class ViewRotationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstRotationCentresTheAnchorWithoutMovingTheView_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QPointF>("anchor");
        QTest::addColumn<QPointF>("position");

        QTest::newRow("origin") << QRect(0, 0, 200, 100) << QPointF(0, 0) << QPointF(100, 50);
        QTest::newRow("moved frame")
            << QRect(30, 40, 200, 100) << QPointF(0, 0) << QPointF(130, 90);
        QTest::newRow("far corner anchor")
            << QRect(30, 40, 200, 100) << QPointF(1, 1) << QPointF(130, 90);
        QTest::newRow("already centred")
            << QRect(30, 40, 200, 100) << QPointF(0.5, 0.5) << QPointF(130, 90);
    }
    void firstRotationCentresTheAnchorWithoutMovingTheView() {
        QFETCH(QRect, frame);
        QFETCH(QPointF, anchor);
        QFETCH(QPointF, position);
        QWidget parent;
        parent.resize(400, 300);
        QWidget view(&parent);
        view.setGeometry(frame);
        ViewLayer* layer = ViewLayer::ensure(&view);
        layer->setAnchorPoint(anchor);
        layer->setPosition(frame.topLeft() +
                           QPointF(anchor.x() * frame.width(), anchor.y() * frame.height()));
        QVERIFY(!ViewRotation::isAnchorPointSet(&view));

        ViewRotation::rotateAroundCenter(&view, 0);

        QCOMPARE(layer->anchorPoint(), QPointF(0.5, 0.5));
        QCOMPARE(layer->position(), position);
        QCOMPARE(layer->presentationFrame(), QRectF(frame));
        QCOMPARE(view.geometry(), frame);
        QVERIFY(ViewRotation::isAnchorPointSet(&view));
    }

    void rotationsAreAbsolute_data() {
        QTest::addColumn<QList<qreal>>("angles");
        QTest::addColumn<qreal>("expected");

        QTest::newRow("90 then 180") << QList<qreal>{90, 180} << 180.0;
        QTest::newRow("90 then -90") << QList<qreal>{90, -90} << -90.0;
    }
    void rotationsAreAbsolute() {
        QFETCH(QList<qreal>, angles);
        QFETCH(qreal, expected);
        QWidget view;
        view.resize(200, 100);
        for (qreal angle : angles) {
            ViewRotation::rotateAroundCenter(&view, angle);
        }
        QTransform turned;
        turned.rotate(-expected);
        QVERIFY(sameTransform(ViewLayer::of(&view)->transform(), turned));
    }

    void onlyRotationMakesAViewLayerBacked_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("layerBacked");

        QTest::newRow("rotate") << "rotate" << true;
        QTest::newRow("reset") << "reset" << false;
        QTest::newRow("ensure anchor") << "ensure" << false;
    }
    void onlyRotationMakesAViewLayerBacked() {
        QFETCH(QString, operation);
        QFETCH(bool, layerBacked);
        QWidget view;
        if (operation == "rotate") {
            ViewRotation::rotateAroundCenter(&view, 90);
        } else if (operation == "reset") {
            ViewRotation::resetRotation(&view);
        } else {
            ViewRotation::ensureAnchorPoint(&view);
        }
        QCOMPARE(ViewLayer::of(&view) != nullptr, layerBacked);
        QCOMPARE(ViewRotation::isAnchorPointSet(&view), layerBacked);
    }

    // The corner a device picture's top-right lands in, seen in the parent: positive angles turn
    // counter-clockwise, and the picture may reach beyond the view's own frame.
    void paintingFollowsTheRotation_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<qreal>("degrees");
        QTest::addColumn<QPoint>("red");
        QTest::addColumn<QPoint>("blue");

        QTest::newRow("unturned") << QRect(0, 0, 400, 300) << 0.0 << QPoint(395, 5) << QPoint(5, 5);
        QTest::newRow("half turn")
            << QRect(0, 0, 400, 300) << 180.0 << QPoint(5, 295) << QPoint(395, 5);
        QTest::newRow("quarter turn")
            << QRect(50, -50, 300, 400) << 90.0 << QPoint(5, 5) << QPoint(395, 295);
        QTest::newRow("quarter turn back")
            << QRect(50, -50, 300, 400) << -90.0 << QPoint(395, 295) << QPoint(5, 5);
    }
    void paintingFollowsTheRotation() {
        QFETCH(QRect, frame);
        QFETCH(qreal, degrees);
        QFETCH(QPoint, red);
        QFETCH(QPoint, blue);
        QWidget parent;
        parent.resize(400, 300);
        QPalette palette;
        palette.setColor(QPalette::Window, Qt::black);
        parent.setPalette(palette);
        parent.setAutoFillBackground(true);
        auto* view = new MarkedView(&parent);
        view->setGeometry(frame);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        ViewRotation::rotateAroundCenter(view, degrees);
        const QImage picture = parent.grab().toImage();

        QCOMPARE(picture.pixelColor(red), QColor(Qt::red));
        QCOMPARE(picture.pixelColor(blue), QColor(Qt::blue));
        // Turned by a quarter, the view covers its parent exactly.
        QCOMPARE(picture.pixelColor(200, 150), QColor(Qt::blue));
        QCOMPARE(picture.pixelColor(2, 150), QColor(Qt::blue));
        QCOMPARE(picture.pixelColor(398, 150), QColor(Qt::blue));

        ViewRotation::resetRotation(view);
        QCOMPARE(view->graphicsEffect(), nullptr);
    }
};

QTEST_MAIN(ViewRotationTest)
#include "tst_ViewRotation.moc"
