#include "SessionTestSupport.h"
#include "TouchRecorder.h"

#include "session/CloudPhoneTouchView.h"

#include <QTest>
#include <QWindow>

namespace {

constexpr QPoint kViewOffset(10, 10);

}  // namespace

class CloudPhoneTouchViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_host;
    CloudPhoneTouchView* m_view = nullptr;
    std::shared_ptr<TouchRecorder> m_recorder;

    // QTest moves a widget event at (0, 0) to the widget's centre, so a press there goes through
    // the window, where the view sits away from the origin.
    void press(QPoint point) {
        if (point.isNull()) {
            QTest::mousePress(m_host->windowHandle(), Qt::LeftButton, {}, point + kViewOffset);
        } else {
            QTest::mousePress(m_view, Qt::LeftButton, {}, point);
        }
    }
    void release(QPoint point) {
        if (point.isNull()) {
            QTest::mouseRelease(m_host->windowHandle(), Qt::LeftButton, {}, point + kViewOffset);
        } else {
            QTest::mouseRelease(m_view, Qt::LeftButton, {}, point);
        }
    }
    void drag(QPoint point) { QTest::mouseMove(m_view, point); }

    QStringList sent() const { return m_recorder->texts(); }

private Q_SLOTS:
    void init() {
        m_host = std::make_unique<QWidget>();
        m_host->resize(420, 320);
        m_view = new CloudPhoneTouchView(m_host.get());
        m_view->setGeometry(QRect(kViewOffset, QSize(400, 300)));
        m_recorder = std::make_shared<TouchRecorder>();
        m_view->setDelegate(m_recorder);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }
    void cleanup() {
        m_host.reset();
        ConsoleCapture::clear();
    }

    void mouseContactIsNormalisedInTheDevicePicture_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<qreal>("rotation");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QPointF>("expected");

        QTest::newRow("top-left") << QSize(400, 300) << 0.0 << QPoint(0, 0) << QPointF(0, 0);
        QTest::newRow("bottom-right")
            << QSize(400, 300) << 0.0 << QPoint(400, 300) << QPointF(1, 1);
        QTest::newRow("y from the top")
            << QSize(400, 300) << 0.0 << QPoint(100, 75) << QPointF(0.25, 0.25);
        QTest::newRow("90 top-left") << QSize(400, 300) << 90.0 << QPoint(0, 0) << QPointF(1, 0);
        QTest::newRow("90 inner point")
            << QSize(400, 300) << 90.0 << QPoint(100, 75) << QPointF(0.75, 0.25);
        QTest::newRow("180 top-left") << QSize(400, 300) << 180.0 << QPoint(0, 0) << QPointF(1, 1);
        QTest::newRow("-90 as 270") << QSize(400, 300) << -90.0 << QPoint(0, 0) << QPointF(0, 1);
        QTest::newRow("-90 inner point as 270")
            << QSize(400, 300) << -90.0 << QPoint(100, 75) << QPointF(0.25, 0.75);
        QTest::newRow("450 as 90") << QSize(400, 300) << 450.0 << QPoint(0, 0) << QPointF(1, 0);
        // Off quarter turns the picture is turned counter-clockwise too: the frame point 100
        // above the centre shows up-left of it.
        QTest::newRow("45 follows the picture")
            << QSize(400, 400) << 45.0 << QPoint(129, 129) << QPointF(0.5, 0.2501);
        QTest::newRow("45 centre")
            << QSize(400, 400) << 45.0 << QPoint(200, 200) << QPointF(0.5, 0.5);
    }
    void mouseContactIsNormalisedInTheDevicePicture() {
        QFETCH(QSize, size);
        QFETCH(qreal, rotation);
        QFETCH(QPoint, point);
        QFETCH(QPointF, expected);
        m_view->resize(size);
        m_view->setRotationDegrees(rotation);

        press(point);
        release(point);

        QCOMPARE(m_recorder->records.size(), 4);
        QCOMPARE(m_recorder->records.first().phase, TouchPhase::begin);
        QCOMPARE(m_recorder->records.last().phase, TouchPhase::end);
        for (int i : {1, 2}) {
            const TouchRecord& move = m_recorder->records.at(i);
            QCOMPARE(move.phase, TouchPhase::move);
            QCOMPARE(move.contacts.size(), 1);
            QCOMPARE(move.contacts.first().index(), 0);
            QVERIFY2(qAbs(move.contacts.first().x() - expected.x()) < 2e-3,
                     qPrintable(TouchRecorder::text(move)));
            QVERIFY2(qAbs(move.contacts.first().y() - expected.y()) < 2e-3,
                     qPrintable(TouchRecorder::text(move)));
        }
    }

    void mouseAndSimulatedContactsShareOneList_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("press while simulated: no begin, mouse first")
            << QStringList{"down 3 200 150", "press 100 75"}
            << QStringList{"begin", "move 3@0.5,0.5", "move 0@0.25,0.25 3@0.5,0.5"};
        QTest::newRow("release while simulated: a move, no end")
            << QStringList{"down 3 200 150", "press 100 75", "release 100 75"}
            << QStringList{"begin", "move 3@0.5,0.5", "move 0@0.25,0.25 3@0.5,0.5",
                           "move 0@0.25,0.25 3@0.5,0.5", "move 3@0.5,0.5"};
        QTest::newRow("simulated down while pressed: no second begin")
            << QStringList{"press 100 75", "down 2 200 150"}
            << QStringList{"begin", "move 0@0.25,0.25", "move 0@0.25,0.25 2@0.5,0.5"};
        QTest::newRow("down on a present id moves it")
            << QStringList{"down 2 200 150", "down 2 100 75"}
            << QStringList{"begin", "move 2@0.5,0.5", "move 2@0.25,0.25"};
        QTest::newRow("ids in ascending order")
            << QStringList{"down 7 0 0", "down 2 400 300"}
            << QStringList{"begin", "move 7@0,0", "move 2@1,1 7@0,0"};
        QTest::newRow("up of the last contact ends")
            << QStringList{"down 1 0 0", "up 1 400 300"}
            << QStringList{"begin", "move 1@0,0", "move 1@1,1", "end"};
        QTest::newRow("up of one of two moves twice")
            << QStringList{"down 1 0 0", "down 2 400 300", "up 1 200 150"}
            << QStringList{"begin", "move 1@0,0", "move 1@0,0 2@1,1", "move 1@0.5,0.5 2@1,1",
                           "move 2@1,1"};
        QTest::newRow("unknown ids are ignored")
            << QStringList{"move 4 0 0", "up 4 0 0"} << QStringList{};
        QTest::newRow("clear with the mouse down keeps the mouse")
            << QStringList{"press 100 75", "down 1 0 0", "clear"}
            << QStringList{"begin", "move 0@0.25,0.25", "move 0@0.25,0.25 1@0,0",
                           "move 0@0.25,0.25"};
        QTest::newRow("clear of the last contacts ends")
            << QStringList{"down 1 0 0", "down 2 0 0", "clear"}
            << QStringList{"begin", "move 1@0,0", "move 1@0,0 2@0,0", "end"};
        QTest::newRow("tap from idle")
            << QStringList{"tap 100 75"} << QStringList{"begin", "move 0@0.25,0.25", "end"};
        QTest::newRow("tap while pressed takes id 1")
            << QStringList{"press 100 75", "tap 200 150"}
            << QStringList{"begin", "move 0@0.25,0.25", "move 0@0.25,0.25 1@0.5,0.5",
                           "move 0@0.25,0.25"};
        QTest::newRow("tap takes the lowest free id")
            << QStringList{"down 1 0 0", "down 2 0 0", "down 4 0 0", "tap 200 150"}
            << QStringList{"begin",
                           "move 1@0,0",
                           "move 1@0,0 2@0,0",
                           "move 1@0,0 2@0,0 4@0,0",
                           "move 1@0,0 2@0,0 3@0.5,0.5 4@0,0",
                           "move 1@0,0 2@0,0 4@0,0"};
        QTest::newRow("outside the view nothing moves, release still ends")
            << QStringList{"press 100 75", "drag 500 150", "drag 600 150", "release 600 150"}
            << QStringList{"begin", "move 0@0.25,0.25", "end"};
        QTest::newRow("coming back inside reports again")
            << QStringList{"press 100 75", "drag 500 150", "drag 200 150", "release 200 150"}
            << QStringList{"begin", "move 0@0.25,0.25", "move 0@0.5,0.5", "move 0@0.5,0.5", "end"};
    }
    void mouseAndSimulatedContactsShareOneList() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        for (const QString& step : steps) {
            const QStringList words = step.split(QLatin1Char(' '));
            const auto number = [&](int i) { return words.at(i).toInt(); };
            if (words[0] == "press") {
                press(QPoint(number(1), number(2)));
            } else if (words[0] == "release") {
                release(QPoint(number(1), number(2)));
            } else if (words[0] == "drag") {
                drag(QPoint(number(1), number(2)));
            } else if (words[0] == "down") {
                m_view->simulateTouchDown(number(1), number(2), number(3));
            } else if (words[0] == "move") {
                m_view->simulateTouchMove(number(1), number(2), number(3));
            } else if (words[0] == "up") {
                m_view->simulateTouchUp(number(1), number(2), number(3));
            } else if (words[0] == "tap") {
                m_view->tapAtPoint(number(1), number(2));
            } else if (words[0] == "clear") {
                m_view->clearSimulatedTouches();
            } else {
                QFAIL(qPrintable(step));
            }
        }
        QCOMPARE(sent(), expected);
    }

    void tapWithEveryTapIDTakenIsDropped() {
        ConsoleCapture console;
        for (int id = 1; id <= 9; ++id) {
            m_view->simulateTouchDown(id, 4 * id, 0);
        }
        const QList<TouchRecord> before = m_recorder->records;
        const auto contacts = m_view->simulatedTouches();

        m_view->tapAtPoint(200, 150);

        QCOMPARE(m_recorder->records, before);
        QCOMPARE(m_view->simulatedTouches(), contacts);
        QVERIFY(ConsoleCapture::contains(
            QStringLiteral("⚠️ CloudPhoneTouchView tapAtPoint: 触点 1-9 "
                           "均被占用，忽略点击 (200.0, 150.0)")));

        // A free id makes taps work again.
        m_view->simulateTouchUp(5, 20, 0);
        m_recorder->records.clear();
        m_view->tapAtPoint(200, 150);
        QCOMPARE(m_recorder->records.size(), 2);
        QCOMPARE(m_recorder->records.first().contacts.at(4), KXTouchObc(0.5f, 0.5f, 5));
    }
};

QTEST_MAIN(CloudPhoneTouchViewTest)
#include "tst_CloudPhoneTouchView.moc"
