#include "SessionTestSupport.h"

#include "sdk/SimulatedDevice.h"
#include "session/CloudPhoneCommunicator.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace {

QStringList textsReceived(const std::shared_ptr<SimulatedDevice>& device) {
    QStringList texts;
    for (const DeviceControl& control : device->controls()) {
        if (control.kind == DeviceControl::Kind::text) {
            texts << control.text.value_or(QString());
        }
    }
    return texts;
}

}  // namespace

class InputSyncTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleCapture> m_console;
    std::unique_ptr<SessionBench> m_bench;

    CloudPhoneCommunicator& communicator() { return *m_bench->communicator; }
    QStringList texts(const QString& id) { return textsReceived(m_bench->device(id)); }

private Q_SLOTS:
    void init() {
        m_console = std::make_unique<ConsoleCapture>();
        m_bench = std::make_unique<SessionBench>();
        QVERIFY(m_bench->add({"1", "2", "3", "4"}));
        ConsoleCapture::clear();
    }
    void cleanup() {
        m_bench.reset();
        m_console.reset();
    }

    void replayDelayFollowsTheSyncTimeSetting_data() {
        QTest::addColumn<QVariant>("syncTime");  // invalid: not set
        QTest::addColumn<int>("delayMs");        // -1: at once

        QTest::newRow("missing") << QVariant() << -1;
        QTest::newRow("not a number") << QVariant("abc") << -1;
        QTest::newRow("zero") << QVariant("0") << -1;
        QTest::newRow("negative") << QVariant("-5") << -1;
        QTest::newRow("nan") << QVariant("nan") << -1;
        QTest::newRow("fifth of a second") << QVariant("0.2") << 200;
        QTest::newRow("rounded up") << QVariant("0.0001") << 1;
        QTest::newRow("capped") << QVariant("2000") << 1000000;
    }
    void replayDelayFollowsTheSyncTimeSetting() {
        QFETCH(QVariant, syncTime);
        QFETCH(int, delayMs);
        m_bench->holdDelayedTasks();
        m_bench->setSyncTime(syncTime.isValid() ? std::optional(syncTime.toString())
                                                : std::nullopt);
        communicator().enableInputSync("1", {"2", "3"});

        communicator().sendText("x", "1");
        QCOMPARE(texts("1"), QStringList{"x"});
        if (delayMs < 0) {
            QVERIFY(m_bench->delayed.isEmpty());
        } else {
            QCOMPARE(m_bench->delayed.size(), 1);
            QCOMPARE(m_bench->delayed.first().first.count(), delayMs);
            QVERIFY(texts("2").isEmpty());
            m_bench->runDelayedTasks();
        }
        QCOMPARE(texts("2"), QStringList{"x"});
        QCOMPARE(texts("3"), QStringList{"x"});
        QVERIFY(texts("4").isEmpty());
    }

    void replayWaitsForTheDelayOnTheGuiThreadTimer() {
        m_bench->setSyncTime("0.2");
        communicator().enableInputSync("1", {"2"});
        QElapsedTimer clock;
        clock.start();
        communicator().sendText("late", "1");
        QTRY_COMPARE_WITH_TIMEOUT(texts("2"), QStringList{"late"}, 5000);
        QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
    }

    void syncChangesCancelPendingReplays_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("disable") << "disable";
        QTest::newRow("pause") << "pause";
        QTest::newRow("pause and resume") << "pause and resume";
        QTest::newRow("enable again") << "enable again";
        QTest::newRow("other main device") << "other main device";
        QTest::newRow("main device removed") << "main device removed";
    }
    void syncChangesCancelPendingReplays() {
        QFETCH(QString, change);
        m_bench->holdDelayedTasks();
        m_bench->setSyncTime("5");
        communicator().enableInputSync("1", {"2", "3"});
        communicator().sendText("x", "1");
        QCOMPARE(m_bench->delayed.size(), 1);

        if (change == "disable") {
            communicator().disableInputSync();
        } else if (change == "pause") {
            communicator().setInputSyncEnabled(false);
        } else if (change == "pause and resume") {
            communicator().setInputSyncEnabled(false);
            communicator().setInputSyncEnabled(true);
        } else if (change == "enable again") {
            communicator().enableInputSync("1", {"2", "3"});
        } else if (change == "other main device") {
            communicator().enableInputSync("2", {"1", "3"});
        } else {
            communicator().remove("1");
        }
        if (change == "pause" || change == "disable") {
            // Contacts held on the mirrored devices are lifted as the mirroring stops.
            const QList<TouchRecord> lifted{TouchRecord{TouchPhase::end, {}}};
            QCOMPARE(m_bench->device("2")->touches(), lifted);
        }
        m_bench->runDelayedTasks();
        QVERIFY(texts("2").isEmpty());
        QVERIFY(texts("3").isEmpty());
    }

    void onlyTheMainDeviceLeadsAndItIsNoMemberOfItsGroup() {
        m_bench->setSyncTime("0");
        communicator().enableInputSync("1", {"3", "1", "2", "9"});
        QCOMPARE(communicator().inputSync().deviceIDs(), (QSet<QString>{"2", "3", "9"}));
        QCOMPARE(communicator().inputSyncState("1"), std::optional<bool>(true));
        QCOMPARE(communicator().inputSyncState("2"), std::optional<bool>());
        QCOMPARE(ConsoleCapture::lines(),
                 (QStringList{"⚠️ 批量输入同步设备尚未添加: [\"9\"]",
                              "批量输入同步已开启，主控: 1，设备: [\"2\", \"3\", \"9\"]"}));
        communicator().sendText("own", "2");
        QCOMPARE(texts("2"), QStringList{"own"});
        QVERIFY(texts("1").isEmpty() && texts("3").isEmpty());
    }
};

QTEST_GUILESS_MAIN(InputSyncTest)
#include "tst_InputSync.moc"
