#include "SessionTestSupport.h"

#include "sdk/simulated/SimulatedDevice.h"
#include "session/CloudPhoneCommunicator.h"

#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceEvent)

namespace {

const QString kEventLine = "CloudPhoneCommunicator.eventDelegate.";
const QString kStreamLine = "CloudPhoneCommunicator.streamDelegate.";

}  // namespace

class EventRelayTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleCapture> m_console;
    std::unique_ptr<SessionBench> m_bench;

    CloudPhoneCommunicator& communicator() { return *m_bench->communicator; }
    RecordingWindow& window() { return *m_bench->window; }
    std::shared_ptr<SimulatedDevice> device() { return m_bench->device("5"); }

    // Injects the report and waits until it went through the relay and the GUI thread.
    void deliver(const DeviceEvent& event) {
        device()->inject(event);
        device()->drain();
        QCoreApplication::processEvents();
    }
    QList<CrashReportBreadcrumb> breadcrumbs(const QString& message) const {
        QList<CrashReportBreadcrumb> matching;
        for (const CrashReportBreadcrumb& crumb : m_bench->crashReports->breadcrumbs()) {
            if (crumb.message == message) {
                matching << crumb;
            }
        }
        return matching;
    }

private Q_SLOTS:
    void init() {
        m_console = std::make_unique<ConsoleCapture>();
        m_bench = std::make_unique<SessionBench>();
        QVERIFY(m_bench->add({"5"}));
        QVERIFY(m_bench->play("5"));
        window().clear();
        m_bench->crashReports->clear();
        ConsoleCapture::clear();
    }
    void cleanup() {
        m_bench.reset();
        m_console.reset();
    }

    void kickoutReasonsMapToTerminatedReasons_data() {
        QTest::addColumn<int>("reason");
        QTest::addColumn<TerminatedReason>("expected");
        QTest::newRow("0") << 0 << TerminatedReason::unknown;
        QTest::newRow("1") << 1 << TerminatedReason::duplicatedChannel;
        QTest::newRow("2") << 2 << TerminatedReason::invalidAuthorization;
        QTest::newRow("3") << 3 << TerminatedReason::restartingUnavailable;
        QTest::newRow("4") << 4 << TerminatedReason::occupied;
        QTest::newRow("5") << 5 << TerminatedReason::unknown;
        QTest::newRow("99") << 99 << TerminatedReason::unknown;
        QTest::newRow("-1") << -1 << TerminatedReason::unknown;
    }
    void kickoutReasonsMapToTerminatedReasons() {
        QFETCH(int, reason);
        QFETCH(TerminatedReason, expected);
        deliver(DeviceEvent::kickout(reason));
        QCOMPARE(window().events(),
                 QStringList{QString("didLoseControl:5:%1").arg(static_cast<int>(expected))});
        QVERIFY(ConsoleCapture::contains(kEventLine +
                                         "onKickout,device:5, reason:" + QString::number(reason)));
        const auto crumbs = breadcrumbs("sdk.onKickout");
        QCOMPARE(crumbs.size(), 1);
        QCOMPARE(crumbs.first().level, CrashReportLevel::warning);
        QCOMPARE(crumbs.first().data->value("reason").toInt(), reason);
        QCOMPARE(crumbs.first().data->value("device_id").toString(), "5");
    }

    void reportsReachTheWindowOnTheGuiThread_data() {
        QTest::addColumn<DeviceEvent>("event");
        QTest::addColumn<QString>("call");   // empty: none
        QTest::addColumn<QString>("line");   // after the relay's prefix; empty: none
        QTest::addColumn<QString>("crumb");  // empty: none
        QTest::addColumn<int>("level");

        const int info = static_cast<int>(CrashReportLevel::info);
        const int warning = static_cast<int>(CrashReportLevel::warning);
        const int error = static_cast<int>(CrashReportLevel::error);
        const Error failure{"KXDevice", 7, "broken"};

        QTest::newRow("device error")
            << DeviceEvent::deviceError(failure) << "didEncounterError:5:7"
            << "e:onError,device:5,error:7"
            << "sdk.onError" << error;
        QTest::newRow("device error without error")
            << DeviceEvent::deviceError(std::nullopt) << "didEncounterError:5:-999"
            << ""
            << "" << 0;
        QTest::newRow("status 0") << DeviceEvent::exceptionStatus(0, std::nullopt)
                                  << "didUpdateConnection:5:0:<none>"
                                  << "e:onExceptionStatus,device:5, status:0, msg:none"
                                  << "sdk.onExceptionStatus" << info;
        QTest::newRow("status -1")
            << DeviceEvent::exceptionStatus(-1, "lost") << "didUpdateConnection:5:-1:lost"
            << "e:onExceptionStatus,device:5, status:-1, msg:lost"
            << "sdk.onExceptionStatus" << warning;
        QTest::newRow("no screen size") << DeviceEvent::screenSize(std::nullopt) << ""
                                        << "e:onScreenSize,device:5,size:nil"
                                        << "" << 0;
        QTest::newRow("keyboard")
            << DeviceEvent::imeStatus(QVariantMap{{"soft", true}, {"desc", "{\"IMEIsActive\":1}"}})
            << "didUpdateKeyboardState:5:show=1,imeIsActive=1"
            << "e:onIMEStatus,device:5,ime:[\"desc\": \"{\"IMEIsActive\":1}\", \"soft\": true]"
            << "" << 0;
        QTest::newRow("clip without text") << DeviceEvent::clipData(std::nullopt) << ""
                                           << "e:onClipData,device:5,text:noText"
                                           << "" << 0;
        QTest::newRow("push without message")
            << DeviceEvent::pushMessage(std::nullopt) << "didReceivePushMessage:5:<none>"
            << "e:onPushMsg,device:5,msg:no"
            << "" << 0;
        QTest::newRow("stream timeout") << DeviceEvent::streamTimeout() << "didTimeout:5:stream"
                                        << "s:onRealPlayStreamTimeout,device:5"
                                        << "sdk.onRealPlayStreamTimeout" << warning;
        QTest::newRow("stuck") << DeviceEvent::networkStuck() << "stallDueToPoorNetwork:5"
                               << "s:onRealPlayNetworkStuck, device:5"
                               << "sdk.onRealPlayNetworkStuck" << warning;
    }
    void reportsReachTheWindowOnTheGuiThread() {
        QFETCH(DeviceEvent, event);
        QFETCH(QString, call);
        QFETCH(QString, line);
        QFETCH(QString, crumb);
        QFETCH(int, level);
        deliver(event);
        QCOMPARE(window().events(), call.isEmpty() ? QStringList() : QStringList{call});
        QVERIFY(window().allOnGuiThread());

        const QString prefix = line.startsWith("e:") ? kEventLine : kStreamLine;
        QStringList relayLines = ConsoleCapture::lines().filter("Delegate.");
        relayLines.removeIf([](const QString& l) { return l.contains("onRealPlayNetStat"); });
        QCOMPARE(relayLines, line.isEmpty() ? QStringList() : QStringList{prefix + line.mid(2)});

        const QList<CrashReportBreadcrumb> crumbs = m_bench->crashReports->breadcrumbs();
        QCOMPARE(crumbs.size(), crumb.isEmpty() ? 0 : 1);
        if (!crumb.isEmpty()) {
            QCOMPARE(crumbs.first().message, crumb);
            QCOMPARE(static_cast<int>(crumbs.first().level), level);
            QCOMPARE(crumbs.first().category,
                     prefix == kEventLine ? "cloud_phone.event" : "cloud_phone.stream");
            QCOMPARE(crumbs.first().data->value("device_id").toString(), "5");
        }
    }

    void deviceAuthenticationErrorRemovesTheDeviceBeforeTheErrorCall() {
        QStringList failures;
        communicator().setAuthenticationFailureHandler(
            [&failures](const QString& id) { failures << id; });
        bool registeredAtErrorCall = true;
        window().onCall = [&](const QString& call) {
            if (call.startsWith("didEncounterError")) {
                registeredAtErrorCall = communicator().isDeviceAdded("5");
            }
        };
        deliver(DeviceEvent::deviceError(Error{"KXDevice", 3, "token expired"}));
        QCOMPARE(window().events(), QStringList{"didEncounterError:5:3"});
        QVERIFY(!registeredAtErrorCall);
        QCOMPARE(failures, QStringList{"5"});
        QVERIFY(communicator().isNotPlaying("5"));
    }

    void streamAuthenticationErrorTakesNoFailureRoad() {
        int failures = 0;
        communicator().setAuthenticationFailureHandler([&failures](const QString&) { ++failures; });
        deliver(DeviceEvent::realPlayError(Error{"KXDevice", 3, "token expired"}));
        QCOMPARE(window().events(), QStringList{"didEncounterError:5:3"});
        QCOMPARE(failures, 0);
        QVERIFY(communicator().isDeviceAdded("5"));
        QVERIFY(!communicator().isNotPlaying("5"));
    }

    void reportsKeepTheirOrder() {
        QStringList expected;
        for (int i = 0; i < 30; ++i) {
            device()->inject(DeviceEvent::clipData(QString::number(i)));
            expected << "didCopyText:5:" + QString::number(i);
        }
        device()->drain();
        QTRY_COMPARE(window().events(), expected);
    }

    void statisticsCarryThePlayerCounters() {
        deliver(DeviceEvent::netStat(QVariantMap{{"fps", 999}, {"rtt", 42}}));
        const QStringList calls = window().calls();
        QCOMPARE(calls.filter("didUpdateNetworkStatus").size(), 1);
        const QVariantMap statistics = window().lastStatistics();
        QCOMPARE(statistics.value("rtt").toInt(), 42);
        QVERIFY(statistics.contains("netFps"));
        QVERIFY(statistics.value("fps").toInt() < 999);
        QVERIFY(ConsoleCapture::contains(
            kStreamLine + "onRealPlayNetStat,device:5,stat:[\"fps\": 999, \"rtt\": 42]"));
    }
};

QTEST_MAIN(EventRelayTest)
#include "tst_EventRelay.moc"
