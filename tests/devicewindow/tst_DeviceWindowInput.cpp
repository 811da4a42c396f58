#include "DeviceWindowTestSupport.h"
#include "HeldKey.h"
#include "KeyMappingTestSupport.h"
#include "PlayingDevices.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/KeyMappingInputEngine.h"
#include "devicewindow/MouseLookCursor.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneTouchView.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

namespace {

// Where contact `index` stood in each touch message the device received.
QList<QPointF> contactTrail(qint64 id, int index) {
    simulated(id)->drain();
    QList<QPointF> trail;
    for (const TouchRecord& record : simulated(id)->touches()) {
        for (const KXTouchObc& contact : record.contacts) {
            if (contact.index() == index) {
                trail.append(QPointF(contact.x(), contact.y()));
            }
        }
    }
    return trail;
}

QStringList typed(qint64 id) {
    simulated(id)->drain();
    QStringList sent;
    for (const DeviceControl& control : simulated(id)->controls()) {
        if (control.kind == DeviceControl::Kind::text) {
            sent << QStringLiteral("text:") + control.text.value_or(QString());
        } else if (control.kind == DeviceControl::Kind::functionKey) {
            sent << QStringLiteral("key:%1").arg(control.value);
        }
    }
    return sent;
}

// How many touch messages of the phase the device received.
qsizetype touchCount(qint64 id, TouchPhase phase) {
    simulated(id)->drain();
    return std::ranges::count(simulated(id)->touches(), phase, &TouchRecord::phase);
}

bool near(const QPointF& a, const QPointF& b) {
    return qAbs(a.x() - b.x()) < 0.002 && qAbs(a.y() - b.y()) < 0.002;
}

CloudPhoneTouchView* touchViewOf(qint64 id) {
    auto* player = communicator().playerView(QString::number(id));
    return player ? player->touchView() : nullptr;
}

void moveMouse(QWidget* widget, const QPoint& global) {
    QMouseEvent event(QEvent::MouseMove, widget->mapFromGlobal(QPointF(global)), QPointF(global),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

}  // namespace

class DeviceWindowInputTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;
    std::unique_ptr<LineCapture> m_lines;
    // A second's repeats at X's rate.
    static constexpr int kRepeats = 25;

    // A playing window that takes the keyboard, with no input sent to its device yet.
    static AspectRatioWindowController* openPlaying(qint64 id) {
        AspectRatioWindowController* window = PlayingDevices::openActive(id);
        if (window) {
            simulated(id)->clearRecords();
        }
        return window;
    }

    static ImportedMouseConfiguration mouseLook() {
        ImportedMouseConfiguration mouse;
        ImportedMouseConfiguration::Drag drag;
        drag.windowsKey = 'Q';
        drag.normalizedPoint = QPointF(0.5, 0.5);
        mouse.drag = drag;
        mouse.triggerPoint = QPointF(0.8, 0.9);
        return mouse;
    }

private Q_SLOTS:
    void initTestCase() {
        m_lines = std::make_unique<LineCapture>();
        QVERIFY(m_devices.setUp());
    }

    void cleanup() {
        PlayingDevices::closeAll();
        LineCapture::clear();
    }

    void cleanupTestCase() {
        m_lines.reset();
        PlayingDevices::tearDown();
    }

    void directionKeysDragOneContact() {
        AspectRatioWindowController* window = openPlaying(501);
        QVERIFY(window);
        KeyMappingItem move(KeyMappingType::move, QPointF(0.3, 0.7));
        move.moveRadius = 0.12;
        applyPlan(window, {move});
        DeviceTextInput* input = window->input().deviceTextInput();
        QTest::keyPress(input, Qt::Key_W);
        QTest::keyPress(input, Qt::Key_D);
        QTest::keyRelease(input, Qt::Key_W);
        QTest::keyRelease(input, Qt::Key_D);

        const double diagonal = 0.12 / M_SQRT2;
        const QList<QPointF> expected{
            {0.3, 0.7}, {0.3, 0.58}, {0.3 + diagonal, 0.7 - diagonal}, {0.42, 0.7}, {0.3, 0.7}};
        QTRY_COMPARE(contactTrail(501, 1).size(), expected.size());
        const QList<QPointF> trail = contactTrail(501, 1);
        for (qsizetype step = 0; step < expected.size(); ++step) {
            QVERIFY2(near(trail.at(step), expected.at(step)), qPrintable(QString::number(step)));
        }
        QVERIFY(simulated(501)->activeContacts().isEmpty());
        QVERIFY(typed(501).isEmpty());  // mapped keys are not text
    }

    void textReachesTheActiveDeviceOnly() {
        AspectRatioWindowController* window = openPlaying(502);
        QVERIFY(window);
        DeviceTextInput* input = window->input().deviceTextInput();
        QTest::keyClick(input, Qt::Key_A);
        QTest::keyClick(input, Qt::Key_B);
        QCOMPARE(input->inputBuffer(), QStringLiteral("ab"));
        QTest::keyClick(input, Qt::Key_Return);
        QTRY_COMPARE(typed(502), (QStringList{"text:a", "text:b", "key:13"}));
        QVERIFY(input->inputBuffer().isEmpty());

        WindowActiveManager::shared().setActiveDevice(999);
        QTest::keyClick(input, Qt::Key_C);
        QTest::keyClick(input, Qt::Key_Up);
        // Active again: the next key arrives right after the first three, so the two between
        // never went out.
        WindowActiveManager::shared().setActiveDevice(502);
        QTest::keyClick(input, Qt::Key_D);
        QTRY_COMPARE(typed(502), (QStringList{"text:a", "text:b", "key:13", "text:d"}));
    }

    void deviceInputMethodTurnsMappedKeysIntoText() {
        AspectRatioWindowController* window = openPlaying(503);
        QVERIFY(window);
        applyPlan(window, {KeyMappingItem(KeyMappingType::move, QPointF(0.3, 0.7))});
        window->connection().didUpdateKeyboardState(QStringLiteral("503"),
                                                    DeviceKeyboardState{true});
        QTest::keyClick(window->input().deviceTextInput(), Qt::Key_W);
        QTRY_COMPARE(typed(503), QStringList{"text:w"});
        QVERIFY(contactTrail(503, 1).isEmpty());
    }

    void wheelOnAMoveMappingLeavesNoContact() {
        AspectRatioWindowController* window = openPlaying(504);
        QVERIFY(window);
        KeyMappingItem move(KeyMappingType::move, QPointF(0.5, 0.5));
        move.directionBindings[KeyMappingDirection::up] =
            KeyMappingKeyBinding{{}, KeyMappingInputEngine::kWheelUpKey, {}, {}, {}};
        applyPlan(window, {move});
        CloudPhoneTouchView* touchView = touchViewOf(504);
        QVERIFY(touchView);
        const QPointF centre = touchView->rect().center();
        QWheelEvent wheel(centre, touchView->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(touchView, &wheel);
        QVERIFY(wheel.isAccepted());
        QTRY_COMPARE(contactTrail(504, 1).size(), 3);
        QVERIFY(near(contactTrail(504, 1).at(1), QPointF(0.5, 0.38)));
        QVERIFY(simulated(504)->activeContacts().isEmpty());
        QVERIFY(window->input().keyMappingInputEngine().activeMoveKeyMappingTouches().isEmpty());
    }

    // A held key is one press whatever form the platform's repeats take: a move key's contact
    // and mouse look's go down once and lift once, at the real release; a tap key taps at its
    // own interval and no faster. A release and a press at instants of their own are two
    // presses.
    void aHeldKeyIsOnePress_data() {
        QTest::addColumn<QString>("mapping");
        QTest::addColumn<RepeatForm>("repeats");
        // Contacts put down and lifted; for a tap key none: it taps at its interval.
        QTest::addColumn<int>("presses");
        const std::pair<const char*, RepeatForm> forms[] = {
            {"unmarked pairs", RepeatForm::unmarkedPair},
            {"marked pairs", RepeatForm::markedPair},
            {"presses alone", RepeatForm::pressAlone}};
        for (const char* mapping : {"move", "tap", "mouse look"}) {
            for (const auto& [name, form] : forms) {
                QTest::addRow("%s key, %s", mapping, name) << mapping << form << 1;
            }
        }
        QTest::newRow("move key let go and pressed again")
            << "move" << RepeatForm::releaseAndPressApart << kRepeats + 1;
    }
    void aHeldKeyIsOnePress() {
        QFETCH(QString, mapping);
        QFETCH(RepeatForm, repeats);
        QFETCH(int, presses);
        AspectRatioWindowController* window = openPlaying(507);
        QVERIFY(window);
        if (mapping == QLatin1String("move")) {
            applyPlan(window, {KeyMappingItem(KeyMappingType::move, QPointF(0.3, 0.7))});
        } else if (mapping == QLatin1String("tap")) {
            KeyMappingItem tap(KeyMappingType::tap, QPointF(0.4, 0.6));
            tap.windowsKey = 'W';
            applyPlan(window, {tap});
        } else {
            ImportedMouseConfiguration mouse = mouseLook();
            mouse.drag->windowsKey = 'W';
            mouse.drag->mode = ImportedMouseConfiguration::DragMode::view;
            applyPlan(window, {}, mouse);
            window->input().setMouseLookCursor(std::make_unique<FreeMouseLookCursor>());
        }
        // W as X names it.
        HeldKey held(window->input().deviceTextInput(), Qt::Key_W, QStringLiteral("w"), repeats,
                     25);
        QElapsedTimer clock;
        clock.start();
        held.press();
        for (int repeat = 0; repeat < kRepeats; ++repeat) {
            QTest::qWait(40);  // the pace of X's repeats
            held.repeat();
        }
        simulated(507)->drain();
        if (mapping != QLatin1String("tap")) {
            QCOMPARE(simulated(507)->activeContacts().size(), 1);
        }
        held.release();
        const qint64 heldFor = clock.elapsed();
        QTRY_VERIFY(simulated(507)->activeContacts().isEmpty());
        if (mapping == QLatin1String("tap")) {
            const qsizetype taps = touchCount(507, TouchPhase::begin);
            const auto interval = qint64(KeyMappingInputEngine::kTapRepeatInterval * 1000);
            QVERIFY2(taps >= 1 && taps <= heldFor / interval + 1,
                     qPrintable(QStringLiteral("%1 taps in %2 ms").arg(taps).arg(heldFor)));
        } else {
            QCOMPARE(touchCount(507, TouchPhase::begin), presses);
            QCOMPARE(touchCount(507, TouchPhase::end), presses);
        }
    }

    void mouseLookWarpsThePointerBack() {
        AspectRatioWindowController* window = openPlaying(505);
        QVERIFY(window);
        applyPlan(window, {}, mouseLook());
        QList<QPoint> warps;
        QList<bool> hidden;
        window->input().setMouseLookCursor(std::make_unique<WarpingMouseLookCursor>(
            WarpingMouseLookCursor::Platform{[&](const QPoint& to) { warps.append(to); },
                                             [&](bool hide) { hidden.append(hide); }}));
        CloudPhoneTouchView* touchView = touchViewOf(505);
        QVERIFY(touchView);
        QTest::mouseClick(touchView, Qt::LeftButton);  // outside mouse look: the device's tap
        QTRY_VERIFY(!contactTrail(505, 0).isEmpty());

        QTest::keyClick(window->input().deviceTextInput(), Qt::Key_Q);
        QVERIFY(window->input().keyMappingInputEngine().isMouseLookActive());
        QCOMPARE(hidden, QList<bool>{true});
        QCOMPARE(warps.size(), 1);
        const QPoint anchor = warps.first();
        moveMouse(touchView, anchor + QPoint(0, 40));
        QCOMPARE(warps.size(), 2);
        moveMouse(touchView, anchor);  // the warp's own move
        QCOMPARE(warps.size(), 2);
        const double height = touchView->parentWidget()->height();
        QTRY_COMPARE(contactTrail(505, 1).size(), 2);
        QVERIFY(near(contactTrail(505, 1).last(), QPointF(0.5, 0.5 - 40 / height)));

        QTest::mousePress(touchView, Qt::LeftButton);
        QCOMPARE(window->input().keyMappingInputEngine().activeMouseTriggerTouchIndex(),
                 std::optional<int>(2));
        QTest::keyClick(window->input().deviceTextInput(), Qt::Key_Q);
        QVERIFY(!window->input().keyMappingInputEngine().isMouseLookActive());
        QCOMPARE(hidden, (QList<bool>{true, false}));
        QTRY_VERIFY(simulated(505)->activeContacts().isEmpty());
    }

    void mouseLookWithoutWarpingShowsAHint() {
        AspectRatioWindowController* window = openPlaying(506);
        QVERIFY(window);
        applyPlan(window, {}, mouseLook());
        window->input().setMouseLookCursor(std::make_unique<FreeMouseLookCursor>());
        QTest::keyClick(window->input().deviceTextInput(), Qt::Key_Q);
        QVERIFY(window->input().mouseLookHint());
        QVERIFY(window->input().mouseLookHint()->isVisibleTo(window->window()));
        saveArtifact(window->window(), QStringLiteral("mouse-look-hint"));
        CloudPhoneTouchView* touchView = touchViewOf(506);
        const QPoint start = QCursor::pos();
        moveMouse(touchView, start + QPoint(30, 0));
        moveMouse(touchView, start + QPoint(60, 0));
        const double width = touchView->parentWidget()->width();
        QTRY_COMPARE(contactTrail(506, 1).size(), 3);
        QVERIFY(near(contactTrail(506, 1).last(), QPointF(0.5 + 60 / width, 0.5)));
        QTest::keyClick(window->input().deviceTextInput(), Qt::Key_Q);
        QVERIFY(!window->input().mouseLookHint()->isVisibleTo(window->window()));
    }
};

QTEST_MAIN(DeviceWindowInputTest)
#include "tst_DeviceWindowInput.moc"
