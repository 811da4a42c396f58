#include "devicewindow/IdlePolicy.h"
#include "foundation/settings/SettingsManager.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using namespace std::chrono_literals;

// The window as the policy sees it, recording what it was asked to do.
class RecordingStream : public IdlePolicyHost {
public:
    bool player = true;
    VideoQuality chosen = VideoQuality::p720;
    std::optional<int> operationTimeout;
    QStringList calls;

    bool hasPlayer() const override { return player; }
    VideoQuality selectedVideoQuality() const override { return chosen; }
    void setVideoQuality(VideoQuality quality) override {
        calls << QStringLiteral("quality:%1").arg(static_cast<int>(quality));
    }
    void setOperationTimeout(int seconds) override { operationTimeout = seconds; }
    void disconnect() override { calls << QStringLiteral("disconnect"); }
    void reconnect() override { calls << QStringLiteral("reconnect"); }
};

const QString kLowest = QStringLiteral("quality:%1").arg(static_cast<int>(VideoQuality::p240));
const QString kChosen = QStringLiteral("quality:%1").arg(static_cast<int>(VideoQuality::p720));

}  // namespace

class IdlePolicyTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsManager> m_settings;
    RecordingStream m_stream;
    std::chrono::steady_clock::time_point m_now{std::chrono::hours(10)};
    std::unique_ptr<IdlePolicy> m_policy;

    void setReduceMode(const std::optional<QString>& value) {
        m_settings->set(value, SettingKey::reduceBitrateMode);
    }

    // The policy watching, as a window starts it; nothing recorded yet.
    void start(const std::optional<QString>& reduceMode) {
        setReduceMode(reduceMode);
        m_policy->applyIdlePolicy();
        m_stream.calls.clear();
    }

    // Runs the real check timer until it ticked twice more.
    bool ticked() {
        QSignalSpy ticks(m_policy->idleDisconnectTimer(), &QTimer::timeout);
        return QTest::qWaitFor([&ticks] { return ticks.count() >= 2; });
    }

    void idleFor(std::chrono::milliseconds idle) {
        m_now += idle;
        QVERIFY(ticked());
    }

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<SettingsManager>(m_dir.filePath(QStringLiteral("s.ini")));
        m_stream = RecordingStream();
        m_policy = std::make_unique<IdlePolicy>(
            m_stream, *m_settings, [this] { return m_now; }, 1ms);
    }

    void cleanup() { m_policy.reset(); }

    void modeFollowsTheSetting_data() {
        QTest::addColumn<std::optional<QString>>("setting");
        QTest::addColumn<bool>("reduce");
        QTest::newRow("absent") << std::optional<QString>() << false;
        QTest::newRow("empty") << std::optional<QString>("") << false;
        QTest::newRow("on") << std::optional<QString>("on") << true;
        QTest::newRow("padded and capitalised") << std::optional<QString>(" On\n") << true;
        QTest::newRow("TRUE") << std::optional<QString>("TRUE") << true;
        QTest::newRow("1") << std::optional<QString>("1") << true;
        QTest::newRow("yes") << std::optional<QString>("yes") << false;
        QTest::newRow("0") << std::optional<QString>("0") << false;
        QTest::newRow("two words") << std::optional<QString>("on on") << false;
    }
    void modeFollowsTheSetting() {
        QFETCH(std::optional<QString>, setting);
        QFETCH(bool, reduce);
        start(setting);
        QCOMPARE(m_policy->isReduceBitrateModeEnabled(), reduce);
        QCOMPARE(m_policy->isCloudPhoneIdleDisconnectEnabled(), !reduce);
        QCOMPARE(m_stream.operationTimeout, std::optional<int>(reduce ? 0 : 180));
        QVERIFY(m_policy->idleDisconnectTimer()->isActive());
    }

    // What the checks do after so long without use, in either mode and with or without a player.
    void idleAction_data() {
        QTest::addColumn<std::optional<QString>>("setting");
        QTest::addColumn<bool>("player");
        QTest::addColumn<std::chrono::milliseconds>("idle");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("reduced");
        QTest::addColumn<bool>("disconnected");
        const std::optional<QString> reduce("on");
        const std::optional<QString> disconnect;
        QTest::newRow("disconnect, just short")
            << disconnect << true << 179999ms << QStringList() << false << false;
        QTest::newRow("disconnect, exactly 180 s")
            << disconnect << true << 180000ms << QStringList{"disconnect"} << false << true;
        QTest::newRow("disconnect without a player")
            << disconnect << false << 180000ms << QStringList{"disconnect"} << false << true;
        QTest::newRow("reduce, just short")
            << reduce << true << 179999ms << QStringList() << false << false;
        QTest::newRow("reduce, exactly 180 s")
            << reduce << true << 180000ms << QStringList{kLowest} << true << false;
        QTest::newRow("reduce without a player")
            << reduce << false << 600000ms << QStringList() << false << false;
    }
    void idleAction() {
        QFETCH(std::optional<QString>, setting);
        QFETCH(bool, player);
        QFETCH(std::chrono::milliseconds, idle);
        m_stream.player = player;
        start(setting);
        idleFor(idle);
        // Further checks repeat nothing.
        QVERIFY(ticked());
        QTEST(m_stream.calls, "calls");
        QTEST(m_policy->isVideoQualityReducedForIdle(), "reduced");
        QTEST(m_policy->isCloudPhoneDisconnectedForIdle(), "disconnected");
    }

    void reducedStreamComesBackWithUse() {
        m_stream.player = false;
        start(QStringLiteral("on"));
        idleFor(200s);
        QVERIFY(!m_policy->isVideoQualityReducedForIdle());
        // The stream started meanwhile: the next check lowers it.
        m_stream.player = true;
        QTRY_VERIFY(m_policy->isVideoQualityReducedForIdle());
        QCOMPARE(m_stream.calls, QStringList{kLowest});

        m_now += 5s;
        m_policy->handleLocalInteractionEvent();
        QVERIFY(!m_policy->isVideoQualityReducedForIdle());
        QVERIFY(m_policy->lastCloudPhoneInteractionDate() == m_now);
        QCOMPARE(m_stream.calls, (QStringList{kLowest, kChosen}));
        idleFor(179s);
        QCOMPARE(m_stream.calls.size(), 2);
    }

    void disconnectedStreamWaitsForReconnect() {
        start(std::nullopt);
        idleFor(180s);
        const auto idleSince = m_policy->lastCloudPhoneInteractionDate();
        m_policy->handleLocalInteractionEvent();
        QVERIFY(m_policy->isCloudPhoneDisconnectedForIdle());
        QVERIFY(m_policy->lastCloudPhoneInteractionDate() == idleSince);

        m_now += 60s;
        m_policy->reconnectCloudPhone();
        QVERIFY(!m_policy->isCloudPhoneDisconnectedForIdle());
        QVERIFY(m_policy->lastCloudPhoneInteractionDate() == m_now);
        QCOMPARE(m_stream.calls, (QStringList{"disconnect", "reconnect"}));
    }

    // A change of the setting brings back a window that idled out, in either mode.
    void settingChangeReconnects_data() {
        QTest::addColumn<std::optional<QString>>("next");
        QTest::newRow("to reduce") << std::optional<QString>("1");
        QTest::newRow("still disconnect") << std::optional<QString>("off");
    }
    void settingChangeReconnects() {
        QFETCH(std::optional<QString>, next);
        start(std::nullopt);
        idleFor(180s);
        setReduceMode(next);
        m_policy->applyIdlePolicy();
        QVERIFY(!m_policy->isCloudPhoneDisconnectedForIdle());
        QCOMPARE(m_stream.calls, (QStringList{"disconnect", "reconnect"}));
        QVERIFY(m_policy->lastCloudPhoneInteractionDate() == m_now);
    }

    void reducedStreamRestoredWhenTheModeChanges() {
        start(QStringLiteral("true"));
        idleFor(181s);
        setReduceMode(std::nullopt);
        m_policy->applyIdlePolicy();
        QVERIFY(!m_policy->isVideoQualityReducedForIdle());
        QCOMPARE(m_stream.calls, (QStringList{kLowest, kChosen}));
        QCOMPARE(m_stream.operationTimeout, std::optional<int>(180));
    }

    void anotherDeviceStartsAfresh() {
        start(std::nullopt);
        idleFor(180s);
        m_now += 1s;
        m_policy->deviceDidChange();
        QVERIFY(!m_policy->isCloudPhoneDisconnectedForIdle());
        QVERIFY(m_policy->lastCloudPhoneInteractionDate() == m_now);
        idleFor(179s);
        QCOMPARE(m_stream.calls, QStringList{"disconnect"});
    }

    void stoppedPolicyNoLongerChecks() {
        start(std::nullopt);
        m_policy->stopIdleMonitor();
        QCOMPARE(m_policy->idleDisconnectTimer(), nullptr);
        m_now += 200s;
        // Proves that no check comes any more.
        QTest::qWait(20);
        QVERIFY(m_stream.calls.isEmpty());
    }
};

QTEST_MAIN(IdlePolicyTest)
#include "tst_IdlePolicy.moc"
