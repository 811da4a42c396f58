#include "devicewindow/LocalEventMonitor.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <QWindow>

// Plain widgets ignore input, so Qt passes every event on to the parents as well.
class LocalEventMonitorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachEventIsHandedOverOnce_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("calls");
        QTest::newRow("press on a child") << "childPress" << 1;
        QTest::newRow("click on a child") << "childClick" << 2;
        QTest::newRow("key on a child") << "childKey" << 1;
        QTest::newRow("two keys") << "childKey childKey" << 2;
        QTest::newRow("key release only") << "childRelease" << 0;
        // Qt moves the pointer there first.
        QTest::newRow("press through the window") << "windowPress" << 2;
        QTest::newRow("key on a child, then on its parent") << "childKey parentKey" << 2;
        QTest::newRow("move through the window") << "windowMove" << 1;
        QTest::newRow("press on the child, then its parent") << "childPress parentPress" << 2;
        // Events sent by the application itself carry no timestamp.
        QTest::newRow("two sent moves on a child") << "childSentMove childSentMove" << 2;
        QTest::newRow("sent move on a child, then on its parent elsewhere")
            << "childSentMove parentSentMove" << 2;
        // A Quick scene hands what its window got on to its items.
        QTest::newRow("key through the window, then to an item") << "windowKeyToItem" << 1;
    }
    void eachEventIsHandedOverOnce() {
        QFETCH(QString, script);
        QWidget top;
        top.resize(200, 200);
        auto* middle = new QWidget(&top);
        middle->setGeometry(0, 0, 200, 200);
        auto* child = new QWidget(middle);
        child->setGeometry(50, 50, 100, 100);
        child->setFocusPolicy(Qt::StrongFocus);
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        child->setFocus();

        int handled = 0;
        int sentMoves = 0;
        LocalEventMonitor monitor({QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                   QEvent::MouseMove, QEvent::KeyPress},
                                  [&handled](QObject*, QEvent*) {
                                      ++handled;
                                      return false;
                                  });
        for (const QString& step : script.split(QLatin1Char(' '))) {
            if (step == "childPress") {
                QTest::mousePress(child, Qt::LeftButton);
            } else if (step == "parentPress") {
                QTest::mousePress(middle, Qt::LeftButton, {}, QPoint(5, 5));
            } else if (step == "childClick") {
                QTest::mouseClick(child, Qt::LeftButton);
            } else if (step == "childKey") {
                QTest::keyPress(child, Qt::Key_A);
            } else if (step == "parentKey") {
                QTest::keyPress(middle, Qt::Key_A);
            } else if (step == "childRelease") {
                QTest::keyRelease(child, Qt::Key_A);
            } else if (step == "windowPress") {
                QTest::mousePress(top.windowHandle(), Qt::LeftButton, {}, QPoint(100, 100));
            } else if (step == "childSentMove" || step == "parentSentMove") {
                QWidget* target = step == "childSentMove" ? child : middle;
                ++sentMoves;
                const QPointF local(10 * sentMoves, 10);
                QMouseEvent move(QEvent::MouseMove, local, target->mapToGlobal(local), Qt::NoButton,
                                 Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(target, &move);
            } else if (step == "windowKeyToItem") {
                QObject item;
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
                QCoreApplication::sendEvent(top.windowHandle(), &key);
                QCoreApplication::sendEvent(&item, &key);
            } else if (step == "windowMove") {
                QTest::mouseMove(top.windowHandle(), QPoint(120, 120));
            }
        }
        QTEST(handled, "calls");
    }
};

QTEST_MAIN(LocalEventMonitorTest)
#include "tst_LocalEventMonitor.moc"
