#include "DeviceWindowTestSupport.h"
#include "PlayingDevices.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/ConnectionSpinner.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowGeometryController.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/settings/SettingsManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "session/CloudPhoneCommunicator.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// The cache key of the picture an icon holds for that size and mode, 0 when it has none. Asked
// at a pixel ratio other than its picture's, an icon hands out a fresh copy on every call; at the
// picture's own ratio it hands out the picture itself.
qint64 pictureKey(const QIcon& icon, const QSize& size, QIcon::Mode mode) {
    for (const qreal ratio : {1.0, 2.0}) {
        const qint64 key = icon.pixmap(size, ratio, mode).cacheKey();
        if (icon.pixmap(size, ratio, mode).cacheKey() == key) {
            return key;
        }
    }
    return 0;
}

// The cache keys of the pictures a window's buttons and labels show, in the order of the views;
// Qt's own parts (named "qt_…") bring pictures of their own.
QList<qint64> pictureKeys(const QWidget* window) {
    QList<qint64> keys;
    for (const QObject* child : window->findChildren<QObject*>()) {
        if (child->objectName().startsWith(QLatin1String("qt_"))) {
            continue;
        }
        if (const auto* button = qobject_cast<const QAbstractButton*>(child)) {
            if (!button->icon().isNull()) {
                keys << pictureKey(button->icon(), button->iconSize(),
                                   button->isEnabled() ? QIcon::Normal : QIcon::Disabled);
            }
        } else if (const auto* label = qobject_cast<const QLabel*>(child)) {
            if (!label->pixmap().isNull()) {
                keys << label->pixmap().cacheKey();
            }
        }
    }
    return keys;
}

}  // namespace

class DeviceWindowTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;
    // Made once the test runner's own message handler is in place.
    std::unique_ptr<LineCapture> m_lines;
    RecordingPageLink m_link;

private Q_SLOTS:
    void initTestCase() {
        m_lines = std::make_unique<LineCapture>();
        QVERIFY(m_devices.setUp());
        DeviceWindowPageLink::install(&m_link);
    }

    void cleanup() {
        PlayingDevices::closeAll();
        communicator().disableInputSync();
        SettingsManager::shared().set(std::nullopt, SettingKey::cloudphoneMuted);
        m_link.messages.clear();
        m_link.onBatchControlStatus = {};
        LineCapture::clear();
    }

    void cleanupTestCase() {
        DeviceWindowPageLink::install(nullptr);
        m_lines.reset();
        PlayingDevices::tearDown();
    }

    void opensAndPlaysLive() {
        QVERIFY(PlayingDevices::add(12345));
        AspectRatioWindowController* window =
            WindowManager::shared().openWindow(12345, QStringLiteral("P1"));
        QCOMPARE(WindowManager::shared().windows(), {window});
        QCOMPARE(window->window()->windowTitle(), QStringLiteral("P1"));
        QVERIFY(window->window()->isVisible());
        QVERIFY(isVisibleIn(window->cloudPhoneConnectionOverlay()));
        QVERIFY(window->connection().cloudPhoneLoadingIndicator()->isAnimating());
        QVERIFY(!isVisibleIn(window->connection().reconnectCloudPhoneButton()));
        saveArtifact(window->window(), QStringLiteral("device-window-connecting"));

        const auto device = simulated(12345);
        QTRY_VERIFY(device->lastStreamParams().has_value());
        const KXMediaParamsObc params = *device->lastStreamParams();
        QCOMPARE(params.bitrateKbps(), 3072u);  // p720, not the options record's p480
        QCOMPARE(params.videoType(), videoType(CodecFormat::H265));
        QCOMPARE(params.captureSize().width(), 720u);
        QCOMPARE(params.captureSize().height(), 1280u);
        QCOMPARE(params.fps(), 30);
        QCOMPARE(params.noStreamTimeout(), std::optional<qint32>(15));
        QCOMPARE(params.noOpTimeout(), std::optional<qint32>(180));  // idle disconnect mode
        QVERIFY(params.mute());
        QTRY_VERIFY(device->controls().contains(
            DeviceControl{DeviceControl::Kind::inputMethod, 0, 0, std::nullopt}));
        QTRY_VERIFY(std::ranges::any_of(device->requests(), [](const DeviceRequest& request) {
            return request.kind == DeviceRequest::Kind::diskDetail;
        }));

        QTRY_VERIFY(!isVisibleIn(window->cloudPhoneConnectionOverlay()));
        QVERIFY(!window->connection().cloudPhoneLoadingIndicator()->isAnimating());
        QVERIFY(LineCapture::logged(QStringLiteral(
            "AspectRatioWindowController.callback.rt.didReceiveFirstVideoFrame,device:12345, "
            "rotation: 0")));

        device->setNetworkConditions(1500, 0);
        QTRY_COMPARE_WITH_TIMEOUT(window->controlButtonController().pingBtn()->text(),
                                  QStringLiteral("999ms"), 5000);
        QCOMPARE(window->controlButtonController().pingBtn()->palette().color(QPalette::ButtonText),
                 QColor(0xFE3D00));
        QTRY_VERIFY(LineCapture::logContains(QStringLiteral("| 延迟：999ms |")));
        saveArtifact(window->window(), QStringLiteral("device-window-playing"));
    }

    void viewTreeFollowsThePanel() {
        AspectRatioWindowController* window = PlayingDevices::open(12345);
        QVERIFY(window);
        window->window()->resize(653, 621);
        window->setKeyMappingPanelWidth(280);
        QTRY_COMPARE(window->keyMappingPanel()->geometry().width(), 280);
        const QRect viewport = window->mainViewportContainer()->geometry();
        QCOMPARE(window->rightButtonsContainer()->geometry().left(), viewport.right() + 1);
        QCOMPARE(window->bottomButtonsContainer()->geometry().right(),
                 window->rightButtonsContainer()->geometry().right());
        QCOMPARE(window->cloudPhoneConnectionOverlay()->geometry(),
                 QRect(QPoint(), viewport.size()));
        QCOMPARE(window->mainView()->geometry(), QRect(QPoint(), viewport.size()));

        QCOMPARE(window->rightButtonsContainer()->buttons().size(), 8);
        QVERIFY(!window->controlButtonController()
                     .controlButton(ControlButtonID::install)
                     ->isVisibleTo(window->window()));
        QCOMPARE(window->controlButtonController().controlButtons().first(),
                 window->controlButtonController().pingBtn());
        QCOMPARE(window->bottomButtonsContainer()->buttons().size(), 3);
    }

    void muteSetting_data() {
        QTest::addColumn<qint64>("device");
        QTest::addColumn<std::optional<QString>>("setting");
        QTest::addColumn<bool>("muted");
        QTest::newRow("absent") << qint64(3001) << std::optional<QString>() << true;
        QTest::newRow("off") << qint64(3002) << std::optional<QString>("off") << false;
        QTest::newRow("OFF") << qint64(3003) << std::optional<QString>("OFF") << true;
        QTest::newRow("leading blank") << qint64(3004) << std::optional<QString>(" off") << true;
        QTest::newRow("on") << qint64(3005) << std::optional<QString>("on") << true;
    }
    void muteSetting() {
        QFETCH(qint64, device);
        QFETCH(std::optional<QString>, setting);
        QFETCH(bool, muted);
        SettingsManager::shared().set(setting, SettingKey::cloudphoneMuted);
        AspectRatioWindowController* window = PlayingDevices::open(device);
        QVERIFY(window);
        QCOMPARE(window->connection().realTimeOptions().muted, muted);
        QCOMPARE(simulated(device)->lastStreamParams()->mute(), muted);
    }

    void pingIndicator_data() {
        QTest::addColumn<QVariantMap>("statistics");
        QTest::addColumn<int>("windowHeight");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("color");
        const QString red = "#fe3d00", orange = "#fe9800", green = "#37c98c";
        QTest::newRow("1500") << QVariantMap{{"rtt", 1500}} << 621 << "999ms" << red;
        QTest::newRow("negative") << QVariantMap{{"rtt", -5}} << 621 << "0ms" << green;
        QTest::newRow("no rtt") << QVariantMap{{"fps", 30}} << 621 << "0ms" << green;
        QTest::newRow("rtt as text") << QVariantMap{{"rtt", "300"}} << 621 << "0ms" << green;
        QTest::newRow("199") << QVariantMap{{"rtt", 199}} << 621 << "199ms" << green;
        QTest::newRow("200") << QVariantMap{{"rtt", 200}} << 621 << "200ms" << orange;
        QTest::newRow("399") << QVariantMap{{"rtt", 399}} << 621 << "399ms" << orange;
        QTest::newRow("400") << QVariantMap{{"rtt", qint64(400)}} << 621 << "400ms" << red;
        QTest::newRow("short window") << QVariantMap{{"rtt", 1500}} << 420 << "999" << red;
        QTest::newRow("just taller") << QVariantMap{{"rtt", 35}} << 421 << "35ms" << green;
    }
    void pingIndicator() {
        QFETCH(QVariantMap, statistics);
        QFETCH(int, windowHeight);
        AspectRatioWindowController window(9001, QStringLiteral("ping"));
        window.window()->resize(373, windowHeight);
        window.connection().didUpdateNetworkStatus(QStringLiteral("9001"), statistics);
        QTEST(window.controlButtonController().pingBtn()->text(), "title");
        QTEST(window.controlButtonController()
                  .pingBtn()
                  ->palette()
                  .color(QPalette::ButtonText)
                  .name(),
              "color");
    }

    // A delay reported while the user drags an edge of the window shows once the drag settled.
    void pingWaitsForLiveResize() {
        AspectRatioWindowController window(9002, QStringLiteral("resize"));
        window.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.window()));
        const QRect frame = window.window()->frameGeometry();
        QCursor::setPos(QPoint(frame.right() - 2, frame.center().y()));
        window.window()->resize(window.window()->size() + QSize(40, 0));
        QVERIFY(window.geometry().isWindowLiveResizing());
        window.connection().didUpdateNetworkStatus(QStringLiteral("9002"), {{"rtt", 250}});
        QCOMPARE(window.controlButtonController().currentRTT(), 250);
        QVERIFY(window.controlButtonController().pendingPingAppearanceRefresh());
        QCOMPARE(window.controlButtonController().pingBtn()->text(), QStringLiteral("0ms"));
        QTRY_VERIFY(!window.geometry().isWindowLiveResizing());
        QCOMPARE(window.controlButtonController().pingBtn()->text(), QStringLiteral("250ms"));
    }

    void firstFrameOfAnotherDevice() {
        // Never registered: the window stays connecting until a frame is reported.
        AspectRatioWindowController window(9003, QStringLiteral("waiting"));
        window.showWindow();
        window.connection().didReceiveFirstVideoFrame(QStringLiteral("9004"),
                                                      KXRotationObc::rotation0);
        window.connection().didUpdateOrientation(QStringLiteral("9004"), KXRotationObc::rotation90);
        QVERIFY(isVisibleIn(window.cloudPhoneConnectionOverlay()));
        QVERIFY(window.connection().cloudPhoneLoadingIndicator()->isAnimating());
        window.connection().didReceiveFirstVideoFrame(QStringLiteral("9003"),
                                                      KXRotationObc::rotation0);
        QVERIFY(!isVisibleIn(window.cloudPhoneConnectionOverlay()));
        QVERIFY(!window.connection().cloudPhoneLoadingIndicator()->isAnimating());
        QVERIFY(!isVisibleIn(window.connection().reconnectCloudPhoneButton()));
    }

    void deviceNotifications_data() {
        QTest::addColumn<std::optional<QString>>("message");
        QTest::addColumn<QString>("systemLine");
        QTest::addColumn<QString>("warning");
        QTest::newRow("restart without desc") << std::optional<QString>(R"({"type": 6})")
                                              << "收到设备 7 的通知 - 类型: 6, 描述: 未知通知"
                                              << "重启中，请稍后重新连接设备";
        QTest::newRow("initialising") << std::optional<QString>(R"({"type": 11, "desc": "init"})")
                                      << "收到设备 7 的通知 - 类型: 11, 描述: init"
                                      << "系统初始化中,请稍后再连";
        QTest::newRow("fractional type")
            << std::optional<QString>(R"({"type": 6.5, "desc": 3})")
            << "收到设备 7 的通知 - 类型: -1, 描述: 未知通知" << QString();
        QTest::newRow("array") << std::optional<QString>("[1, 2]")
                               << "设备 7 的通知JSON格式不正确: [1, 2]" << QString();
        QTest::newRow("percent sign")
            << std::optional<QString>(R"({"type": 3, "desc": "%d%s 100%"})")
            << "收到设备 7 的通知 - 类型: 3, 描述: %d%s 100%" << QString();
        QTest::newRow("empty") << std::optional<QString>("") << "收到来自设备 7 的空通知"
                               << QString();
        QTest::newRow("absent") << std::optional<QString>() << "收到来自设备 7 的空通知"
                                << QString();
    }
    void deviceNotifications() {
        QFETCH(std::optional<QString>, message);
        QFETCH(QString, systemLine);
        QFETCH(QString, warning);
        AspectRatioWindowController window(7, QStringLiteral("notify"));
        LineCapture::clear();
        window.connection().didReceivePushMessage(QStringLiteral("7"), message);
        QCOMPARE(LineCapture::system(), QStringList{systemLine});
        QCOMPARE(LineCapture::logged(QStringLiteral("重启中，请稍后重新连接设备")) ||
                     LineCapture::logged(QStringLiteral("系统初始化中,请稍后再连")),
                 !warning.isEmpty());
        if (!warning.isEmpty()) {
            QVERIFY(LineCapture::logged(warning));
        }
    }

    void notificationThatIsNotJson() {
        AspectRatioWindowController window(7, QStringLiteral("notify"));
        LineCapture::clear();
        window.connection().didReceivePushMessage(QStringLiteral("7"),
                                                  QStringLiteral("reboot %d now"));
        const QStringList lines = LineCapture::system();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(QStringLiteral("解析设备 7 的通知失败: ")),
                 qPrintable(lines.first()));
        QVERIFY(lines.first().endsWith(QStringLiteral("，原始内容: reboot %d now")));
    }

    void copiedTextReachesTheClipboardButNotTheLogs() {
        AspectRatioWindowController window(12, QStringLiteral("copy"));
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("before"));
        window.connection().didCopyText(QStringLiteral("12"), QString());
        QCOMPARE(clipboard->text(), QStringLiteral("before"));

        LineCapture::clear();
        window.connection().didCopyText(QStringLiteral("12"), QStringLiteral("secret-pin 4711"));
        QCOMPARE(clipboard->text(), QStringLiteral("secret-pin 4711"));
        QVERIFY(LineCapture::console().contains(
            QStringLiteral("callback.didCopyText,device:12,copiedText:<15 chars>")));
        QVERIFY(LineCapture::console().contains(
            QStringLiteral("   ✅ 已复制到系统剪贴板: '<15 chars>'")));
        window.connection().didReceiveFirstVideoFrame(QStringLiteral("12"),
                                                      KXRotationObc::rotation0);
        QVERIFY(LineCapture::logged(QStringLiteral("剪贴板内容: <15 chars>")));
        const QStringList everything =
            LineCapture::console() + LineCapture::log() + LineCapture::system();
        for (const QString& line : everything) {
            QVERIFY2(!line.contains(QStringLiteral("4711")), qPrintable(line));
        }
    }

    void inputMethodEndsHeldKeysOnce() {
        AspectRatioWindowController window(13, QStringLiteral("ime"));
        KeyMappingViewModel& model = window.keyMappingViewModel();
        const auto press = [&model] {
            model.currentlyPressedKeys.insert(13, CapturedKey{});
            model.deferredModifierKeys.insert(56, CapturedKey{});
            model.consumedDeferredModifierKeyCodes.insert(56);
        };
        DeviceKeyboardState open;
        open.imeActive = true;
        press();
        window.connection().didUpdateKeyboardState(QStringLiteral("13"), open);
        QVERIFY(window.connection().isIMEInputActive());
        QVERIFY(model.currentlyPressedKeys.isEmpty());
        QVERIFY(model.deferredModifierKeys.isEmpty());
        QVERIFY(model.consumedDeferredModifierKeyCodes.isEmpty());

        press();
        window.connection().didUpdateKeyboardState(QStringLiteral("13"), open);
        QCOMPARE(model.currentlyPressedKeys.size(), 1);

        window.connection().didUpdateKeyboardState(QStringLiteral("13"), DeviceKeyboardState{});
        QVERIFY(!window.connection().isIMEInputActive());
        QCOMPARE(model.currentlyPressedKeys.size(), 1);
        window.connection().didUpdateKeyboardState(QStringLiteral("13"), open);
        QVERIFY(model.currentlyPressedKeys.isEmpty());
    }

    void activationFollowsTheUser() {
        AspectRatioWindowController* a = PlayingDevices::open(5001);
        AspectRatioWindowController* b = PlayingDevices::open(5002);
        QVERIFY(a && b);
        QTRY_COMPARE(WindowActiveManager::shared().activeDeviceID(), std::optional<qint64>(5002));

        LineCapture::clear();
        a->window()->activateWindow();
        QTRY_COMPARE(WindowActiveManager::shared().activeDeviceID(), std::optional<qint64>(5001));
        QTRY_VERIFY(LineCapture::logged(QStringLiteral("🔄 自动切换到设备: 5001")));
        QVERIFY(LineCapture::logged(QStringLiteral("✅ 窗口 5001 成为激活窗口")));
        QTRY_VERIFY(LineCapture::logged(QStringLiteral("⚠️ 窗口 5002 失去激活状态")));

        QWidget page;
        page.resize(200, 200);
        page.show();
        page.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &page);
        QCOMPARE(WindowActiveManager::shared().activeDeviceID(), std::optional<qint64>(5001));
    }

    void closingReleasesTheDevice() {
        AspectRatioWindowController* a = PlayingDevices::open(5001);
        AspectRatioWindowController* b = PlayingDevices::open(5002);
        QVERIFY(a && b);
        const QPointer<AspectRatioWindowController> watchA(a);
        WindowActiveManager::shared().setActiveDevice(5002);
        LineCapture::clear();

        a->close();
        QCOMPARE(WindowActiveManager::shared().activeDeviceID(), std::optional<qint64>(5002));
        QVERIFY(!LineCapture::logContains(QStringLiteral("清除活动设备")));
        QCOMPARE(WindowManager::shared().windows(), {b});
        QVERIFY(communicator().isNotPlaying(QStringLiteral("5001")));
        QVERIFY(communicator().isDeviceAdded(QStringLiteral("5001")));
        QTRY_COMPARE(simulated(5001)->streamingSessionCount(), 0);
        PlayingDevices::flushDeletes();
        QVERIFY(watchA.isNull());

        b->close();
        QCOMPARE(WindowActiveManager::shared().activeDeviceID(), std::nullopt);
        QVERIFY(LineCapture::logged(QStringLiteral("⚠️ 清除活动设备: 5002")));
        QVERIFY(WindowManager::shared().windows().isEmpty());
        QVERIFY(m_link.messages.isEmpty());
    }

    void closingTheSyncLeaderEndsSync() {
        AspectRatioWindowController* leader = PlayingDevices::open(5001);
        AspectRatioWindowController* follower = PlayingDevices::open(5002);
        QVERIFY(leader && follower);
        communicator().enableInputSync(QStringLiteral("5001"), {QStringLiteral("5002")});
        QCOMPARE(communicator().inputSyncMainDeviceID(), std::optional<QString>("5001"));
        std::optional<QString> leaderWhenTold;
        m_link.onBatchControlStatus = [&leaderWhenTold](int) {
            leaderWhenTold = communicator().inputSyncMainDeviceID().value_or("none");
        };

        follower->close();
        QVERIFY(m_link.messages.isEmpty());
        leader->close();
        QCOMPARE(m_link.messages, QStringList{QStringLiteral("status:2")});
        QCOMPARE(leaderWhenTold, std::optional<QString>("5001"));
        QCOMPARE(communicator().inputSyncMainDeviceID(), std::nullopt);
    }

    void managerClosesSkipTheCloseSequence() {
        AspectRatioWindowController* window = PlayingDevices::open(5003);
        QVERIFY(window);
        WindowActiveManager::shared().setActiveDevice(5003);
        communicator().stopRealTimePlay(QStringLiteral("5003"));
        window->closeSkippingCloseSequence();
        QCOMPARE(WindowActiveManager::shared().activeDeviceID(), std::optional<qint64>(5003));
        QVERIFY(WindowManager::shared().windows().isEmpty());
        WindowActiveManager::shared().clearActiveDevice(5003);
    }

    // A window made with services of its own uses them in every part, not the shared ones.
    void partsUseTheWindowsEnvironment() {
        QTemporaryDir dir;
        SettingsManager settings(dir.filePath(QStringLiteral("settings.ini")));
        settings.set(QStringLiteral("off"), SettingKey::cloudphoneMuted);
        settings.set(QStringLiteral("on"), SettingKey::reduceBitrateMode);
        settings.set(QStringLiteral("400"), SettingKey::cloudphoneSize);
        WindowActiveManager activeManager;
        RecordingPageLink link;
        DeviceWindowEnvironment environment = DeviceWindowEnvironment::standard();
        environment.settings = &settings;
        environment.activeManager = &activeManager;
        environment.pageLink = [&link] { return &link; };
        WindowActiveManager::shared().setActiveDevice(4242);

        AspectRatioWindowController window(9301, QStringLiteral("own"), environment);
        QCOMPARE(activeManager.activeDeviceID(), std::optional<qint64>(9301));
        QCOMPARE(WindowActiveManager::shared().activeDeviceID(), std::optional<qint64>(4242));
        QVERIFY(!window.connection().realTimeOptions().muted);
        QVERIFY(!window.idlePolicy().isCloudPhoneIdleDisconnectEnabled());
        QCOMPARE(window.connection().realTimeOptions().operationTimeout, 0);
        QCOMPARE(window.window()->width(), 400);

        window.controlButtonController().controlButton(ControlButtonID::next)->click();
        QCOMPARE(link.messages, QStringList{QStringLiteral("open:9301:0")});
        QVERIFY(m_link.messages.isEmpty());
        WindowActiveManager::shared().clearActiveDevice(4242);
    }

    // A QIcon keeps what it scales in the application's pixmap cache under its source pixmap,
    // so a picture made afresh for each window would stay there once the window closed, one
    // more set each time a window opens. The next window shows the very same pixmaps.
    void windowsShareTheirPictures_data() {
        QTest::addColumn<QVariantMap>("statistics");
        QTest::addColumn<bool>("panel");
        QTest::newRow("as opened") << QVariantMap{} << false;
        QTest::newRow("slow round trip") << QVariantMap{{"rtt", 1500}} << false;
        QTest::newRow("medium round trip") << QVariantMap{{"rtt", 250}} << false;
        QTest::newRow("key mapping panel open") << QVariantMap{} << true;
    }
    void windowsShareTheirPictures() {
        QFETCH(QVariantMap, statistics);
        QFETCH(bool, panel);
        QList<qint64> previous;
        for (int round = 0; round < 2; ++round) {
            AspectRatioWindowController window(9401, QStringLiteral("pictures"));
            window.connection().didUpdateNetworkStatus(QStringLiteral("9401"), statistics);
            if (panel) {
                window.keyMappingPanelController().setKeyMappingPanelVisible(true);
                QVERIFY(window.keyMappingPanelController().keyMappingPanelView());
            }
            window.window()->grab();
            const QList<qint64> keys = pictureKeys(window.window());
            QVERIFY(keys.size() >= 12);
            QVERIFY(!keys.contains(0));
            if (round > 0) {
                QCOMPARE(keys, previous);
            }
            previous = keys;
        }
    }

    void languageChangeRetitlesTheButtons() {
        AspectRatioWindowController window(14, QStringLiteral("titles"));
        window.controlButtonController()
            .controlButton(ControlButtonID::rotation)
            ->setText(QString());
        window.controlButtonController().pingBtn()->setText(QString());
        NotificationCenter::defaultCenter().post(QStringLiteral("languageDidChange"));
        QCOMPARE(window.controlButtonController().controlButton(ControlButtonID::rotation)->text(),
                 QStringLiteral("旋转"));
        QCOMPARE(window.controlButtonController().controlButton(ControlButtonID::back)->text(),
                 QString());
        QCOMPARE(window.controlButtonController().pingBtn()->text(), QStringLiteral("0ms"));
    }
};

QTEST_MAIN(DeviceWindowTest)
#include "tst_DeviceWindow.moc"
