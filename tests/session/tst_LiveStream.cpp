#include "SessionTestSupport.h"

#include "sdk/KXDeviceVideoView.h"
#include "sdk/simulated/SimulatedDevice.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneTouchView.h"

#include <QCoreApplication>
#include <QImage>
#include <QTest>
#include <QThread>

#include <memory>

Q_DECLARE_METATYPE(TouchRecord)

namespace {

const QString kPrefix = "CloudPhoneCommunicator.";

TouchRecord begin() {
    return {TouchPhase::begin, {}};
}
TouchRecord move(QList<KXTouchObc> contacts) {
    return {TouchPhase::move, std::move(contacts)};
}
TouchRecord end() {
    return {TouchPhase::end, {}};
}

}  // namespace

class LiveStreamTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleCapture> m_console;
    std::unique_ptr<SessionBench> m_bench;

    CloudPhoneCommunicator& communicator() { return *m_bench->communicator; }
    RecordingWindow& window() { return *m_bench->window; }
    std::shared_ptr<SimulatedDevice> device(const QString& id = "5") { return m_bench->device(id); }
    CloudPhonePlayerView* player(const QString& id = "5") { return communicator().playerView(id); }
    QStringList breadcrumbMessages() const {
        QStringList messages;
        for (const CrashReportBreadcrumb& crumb : m_bench->crashReports->breadcrumbs()) {
            messages << crumb.message + "/" + QString::number(static_cast<int>(crumb.level));
        }
        return messages;
    }
    // Touches the device received since the last call.
    QList<TouchRecord> takeTouches(const QString& id = "5") {
        const QList<TouchRecord> touches = device(id)->touches();
        device(id)->clearRecords();
        return touches;
    }

private Q_SLOTS:
    void init() {
        m_console = std::make_unique<ConsoleCapture>();
        m_bench = std::make_unique<SessionBench>();
        QVERIFY(m_bench->add({"5", "6"}));
        ConsoleCapture::clear();
    }
    void cleanup() {
        m_bench.reset();
        m_console.reset();
    }

    // A device registered through the session core plays in a window, reports to its handler
    // on the GUI thread, takes a mouse click as touches and stays registered after the stop.
    void registeredDevicePlaysAndTakesClicksEndToEnd() {
        QWidget* container = m_bench->containerWidget();
        QVERIFY(QTest::qWaitForWindowExposed(container));
        DeviceRealTimeOptions options = SessionBench::streamOptions();
        options.videoQuality = VideoQuality::p1080;
        options.streamTimeout = 20;
        communicator().startRealTimePlay("5", options, m_bench->window, m_bench->window, container);
        QTRY_VERIFY(window().calls().contains("didReceiveFirstVideoFrame:5:0"));
        QVERIFY(window().allOnGuiThread());
        const QStringList events = window().events();
        QVERIFY(events.indexOf("didStreamReady:5:0") >= 0);
        QVERIFY(events.indexOf("didStreamReady:5:0") <
                events.indexOf("didReceiveFirstVideoFrame:5:0"));

        QCOMPARE(device()->lastStreamParams(), std::optional(options.makeMediaParams()));
        CloudPhonePlayerView* view = player();
        QVERIFY(view);
        QCOMPARE(view->parentWidget(), container);
        QCOMPARE(view->objectName(), "101");
        QCOMPARE(view->geometry(), container->rect());
        QTRY_VERIFY(view->renderView()->paintedFrameCount() > 0);
        QVERIFY(!view->renderView()->currentFrame().isNull());

        takeTouches();
        QTest::mouseClick(view->touchView(), Qt::LeftButton, {}, QPoint(90, 480));
        const KXTouchObc contact(0.25f, 0.75f, 0);
        QCOMPARE(takeTouches(),
                 (QList<TouchRecord>{begin(), move({contact}), move({contact}), end()}));

        communicator().stopRealTimePlay("5");
        QVERIFY(communicator().isNotPlaying("5"));
        QTRY_VERIFY(container->findChildren<CloudPhonePlayerView*>().isEmpty());
        QVERIFY(communicator().isDeviceAdded("5"));
        QVERIFY(!communicator().streams().deviceEventHandler("5"));
        QVERIFY(!communicator().streams().touchEventForwarders().contains("5"));
        QCOMPARE(device()->streamingSessionCount(), 0);
        QCOMPARE(device()->openSessionCount(), 1);
        QVERIFY(ConsoleCapture::contains(kPrefix + "stopRealTimePlay,设备:5"));
    }

    // What other parts of the client may ask about a stream instead of reading its tables; a
    // player deleted with its window leaves the stream started but no player to reach.
    void playerQueriesFollowTheStream() {
        QCOMPARE(communicator().isStreaming("5"), false);
        QCOMPARE(communicator().playerView("5"), nullptr);
        QCOMPARE(communicator().videoSize("5"), std::nullopt);

        auto container = std::make_unique<QWidget>();
        container->resize(240, 400);
        communicator().startRealTimePlay("5", SessionBench::streamOptions(), m_bench->window,
                                         m_bench->window, container.get());
        QVERIFY(communicator().isStreaming("5"));
        QVERIFY(!communicator().isStreaming("6"));
        QCOMPARE(communicator().playerView("5"), player());
        QCOMPARE(communicator().playerView("5")->parentWidget(), container.get());
        QCOMPARE(communicator().videoSize("5"), std::optional(QSizeF(240, 400)));

        container.reset();
        QVERIFY(communicator().isStreaming("5"));
        QCOMPARE(communicator().playerView("5"), nullptr);
        QCOMPARE(communicator().videoSize("5"), std::nullopt);

        communicator().stopRealTimePlay("5");
        QVERIFY(!communicator().isStreaming("5"));
    }

    void refusedStartsAndStopsLeaveALineAndAWarning_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("crumb");

        QTest::newRow("start unknown device")
            << "start 404"
            << kPrefix +
                   "startRealTimePlay(forDevice:with:deviceEventHandler:streamEventHandler:in:)"
                   "设备404尚未没添加"
            << "sdk.startRealTimePlay.device_missing/3";
        QTest::newRow("start twice") << "start 5"
                                     << kPrefix +
                                            "startRealTimePlay(forDevice:with:deviceEventHandler:"
                                            "streamEventHandler:in:)设备渲染代理已存在。"
                                     << "sdk.startRealTimePlay.player_exists/3";
        QTest::newRow("stop without player")
            << "stop 6" << kPrefix + "stopRealTimePlay(deviceID:)设备渲染代理不存在"
            << "sdk.stopRealTimePlay.player_missing/3";
    }
    void refusedStartsAndStopsLeaveALineAndAWarning() {
        QFETCH(QString, action);
        QFETCH(QString, line);
        QFETCH(QString, crumb);
        QVERIFY(m_bench->play("5"));
        CloudPhonePlayerView* first = player();
        ConsoleCapture::clear();
        m_bench->crashReports->clear();
        auto other = std::make_shared<RecordingWindow>();
        const QString id = action.section(' ', 1);
        if (action.startsWith("start")) {
            communicator().startRealTimePlay(id, SessionBench::streamOptions(), other, other,
                                             m_bench->containerWidget());
        } else {
            communicator().stopRealTimePlay(id);
        }
        QCOMPARE(ConsoleCapture::lines(), QStringList{line});
        QCOMPARE(breadcrumbMessages(), QStringList{crumb});
        QCOMPARE(player(), first);
        QVERIFY(communicator().streams().deviceEventHandler("5").get() ==
                static_cast<CloudPhoneEventProtocol*>(m_bench->window.get()));
        QVERIFY(!communicator().streams().deviceEventHandler(id) || id == "5");
    }

    void snapshotsComeFromTheDevicePreview_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("errorDomain");  // empty: an image comes
        QTest::newRow("picture") << "5"
                                 << "";
        QTest::newRow("unknown device") << "404"
                                        << "CloudPhoneCommunicator.loadDeviceSnapshot";
    }
    void snapshotsComeFromTheDevicePreview() {
        QFETCH(QString, id);
        QFETCH(QString, errorDomain);
        struct Answer {
            int calls = 0;
            std::optional<SnapshotInfo> info;
            QString id;
            std::optional<Error> error;
            bool onGuiThread = false;
        };
        auto answer = std::make_shared<Answer>();
        communicator().captureSnapshot(
            id, SnapshotOptions{QSizeF(180, 320), 90, ImageFormat::png},
            [answer](const std::optional<SnapshotInfo>& info, const QString& deviceID,
                     const std::optional<Error>& error) {
                answer->info = info;
                answer->id = deviceID;
                answer->error = error;
                answer->onGuiThread = QThread::currentThread() == qApp->thread();
                ++answer->calls;
            });
        QTRY_COMPARE(answer->calls, 1);
        QVERIFY(answer->onGuiThread);
        QCOMPARE(answer->id, id);
        QCOMPARE(answer->error ? answer->error->domain : QString(), errorDomain);
        QCOMPARE(answer->info.has_value(), errorDomain.isEmpty());
        if (answer->info) {
            QCOMPARE(answer->info->options.format, ImageFormat::png);
            QCOMPARE(answer->info->options.quality, -1);
            QCOMPARE(QImage::fromData(*answer->info->data, "PNG").size(), QSize(180, 320));
        }
        if (id == "404") {
            QCOMPARE(answer->error->code, -1);
        }
    }

    void simulatedContactsTakeTheMouseRoad_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<TouchRecord>>("touches");

        // The player fills a 360 x 640 container; (90, 160) is a quarter across and down.
        const KXTouchObc quarter0(0.25f, 0.25f, 0);
        const KXTouchObc quarter1(0.25f, 0.25f, 1);
        const KXTouchObc half1(0.5f, 0.5f, 1);
        QTest::newRow("tap") << "tap" << QList<TouchRecord>{begin(), move({quarter0}), end()};
        QTest::newRow("down move up")
            << "down,move,up"
            << QList<TouchRecord>{begin(), move({quarter1}), move({half1}), move({half1}), end()};
        QTest::newRow("cancel") << "down,cancel"
                                << QList<TouchRecord>{begin(), move({quarter1}), end()};
        QTest::newRow("index beyond 32 bits") << "wide down" << QList<TouchRecord>{};
    }
    void simulatedContactsTakeTheMouseRoad() {
        QFETCH(QString, script);
        QFETCH(QList<TouchRecord>, touches);
        QVERIFY(m_bench->play("5"));
        takeTouches();
        ConsoleCapture::clear();
        auto& c = communicator();
        for (const QString& step : script.split(',')) {
            if (step == "tap") {
                c.simulateTap("5", QPointF(90, 160));
            } else if (step == "down") {
                c.simulateTouchDown("5", QPointF(90, 160), 1);
            } else if (step == "move") {
                c.simulateTouchMove("5", QPointF(180, 320), 1);
            } else if (step == "up") {
                c.simulateTouchUp("5", QPointF(180, 320), 1);
            } else if (step == "cancel") {
                c.cancelSimulatedTouches("5");
            } else {
                c.simulateTouchDown("5", QPointF(90, 160), 1LL << 32);
            }
        }
        QCOMPARE(takeTouches(), touches);
        if (touches.isEmpty()) {
            QCOMPARE(
                ConsoleCapture::lines(),
                QStringList{kPrefix + "simulateTouchDown(onDevice:at:index:)触点编号超出范围:" +
                            QString::number(1LL << 32)});
        }
    }

    void mouseContactsAreMirroredToSyncDevices() {
        QVERIFY(m_bench->play("5"));
        communicator().enableInputSync("5", {"6"});
        takeTouches("5");
        takeTouches("6");
        QTest::mouseClick(player()->touchView(), Qt::LeftButton, {}, QPoint(180, 320));
        const QList<TouchRecord> received = takeTouches("5");
        QCOMPARE(received.size(), 4);
        QCOMPARE(takeTouches("6"), received);
    }

    void streamSettingsReachAStreamingDevice() {
        QVERIFY(m_bench->play("5"));
        device()->clearRecords();
        ConsoleCapture::clear();
        communicator().setVideoQuality(VideoQuality::p540, "5");
        communicator().setKeyboard(DeviceKeyboardType::external, "5");
        const QList<DeviceControl> expected{
            {DeviceControl::Kind::videoQuality, 2048, 0, {}},
            {DeviceControl::Kind::inputMethod, 0, 0, {}},
        };
        QCOMPARE(device()->controls(), expected);
        QCOMPARE(
            ConsoleCapture::lines(),
            (QStringList{kPrefix + "setVideoQuality(_:forDevice:).kbps:2048,到设备:5",
                         kPrefix + "setKeyboard(kbType:forDevice:).设置键盘类型:原生,到设备:5"}));
    }

    void formsWithoutADeviceReachOneStreamingDevice() {
        QVERIFY(m_bench->play("5"));
        QVERIFY(m_bench->play("6"));
        device("5")->clearRecords();
        device("6")->clearRecords();
        communicator().operations().sendText("once");
        const int reached = device("5")->controls().size() + device("6")->controls().size();
        QCOMPARE(reached, 1);
        QCOMPARE(ConsoleCapture::lines().filter("sendText(_:).文本:<4 chars>,到设备:").size(), 1);
    }

    // The player comes from the streams' factory; touches on it still reach the device, and
    // stopping the stream deletes it.
    void playersComeFromTheFactory() {
        QStringList made;
        QPointer<CloudPhonePlayerView> madePlayer;
        communicator().streams().setPlayerViewFactory([&](const QString& id) {
            made << id;
            madePlayer = new CloudPhonePlayerView(id);
            return madePlayer.data();
        });
        QVERIFY(m_bench->play("5"));
        QCOMPARE(made, QStringList{"5"});
        QCOMPARE(player("5"), madePlayer.data());
        device()->clearRecords();
        communicator().simulateTap("5", QPointF(90, 160));
        QTRY_VERIFY(!device()->touches().isEmpty());
        communicator().stopRealTimePlay("5");
        QTRY_VERIFY(madePlayer.isNull());
    }
};

QTEST_MAIN(LiveStreamTest)
#include "tst_LiveStream.moc"
