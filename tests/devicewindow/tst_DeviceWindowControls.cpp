#include "DeviceWindowTestSupport.h"
#include "PlayingDevices.h"
#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/ConnectionSpinner.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/DeviceStreamConnection.h"
#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/FileRevealer.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowGeometryController.h"
#include "devicewindow/WindowManager.h"
#include "devicewindow/WindowToolbarController.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/settings/SettingsManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <QWindow>

namespace {

QList<DeviceControl> controlsOf(qint64 id, DeviceControl::Kind kind) {
    QList<DeviceControl> found;
    for (const DeviceControl& control : simulated(id)->controls()) {
        if (control.kind == kind) {
            found << control;
        }
    }
    return found;
}

int consoleCount(const QString& part) {
    int count = 0;
    for (const QString& line : LineCapture::console()) {
        count += line.contains(part) ? 1 : 0;
    }
    return count;
}

QAction* menuEntry(QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions()) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace

class DeviceWindowControlsTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;
    std::unique_ptr<LineCapture> m_lines;
    RecordingPageLink m_link;
    QList<QUrl> m_revealed;
    std::chrono::steady_clock::time_point m_now{std::chrono::hours(1000)};
    // The windows' idle check runs this often here, so that the tests see its real ticks.
    static constexpr std::chrono::milliseconds kIdleCheck{10};

    // The idle check of the tests' windows: their clock is the test's.
    DeviceWindowEnvironment environment() {
        DeviceWindowEnvironment environment = DeviceWindowEnvironment::standard();
        environment.clock = [this] { return m_now; };
        environment.idleCheckInterval = kIdleCheck;
        return environment;
    }

    // A playing window, with what its opening sent and wrote forgotten.
    static AspectRatioWindowController* openPlaying(qint64 id) {
        AspectRatioWindowController* window = PlayingDevices::open(id);
        if (window) {
            simulated(id)->clearRecords();
            LineCapture::clear();
        }
        return window;
    }

    void advance(int seconds) { m_now += std::chrono::seconds(seconds); }

    // True once the window's idle check has run `count` more times.
    static bool idleChecksRan(AspectRatioWindowController* window, int count) {
        QSignalSpy ticks(window->idlePolicy().idleDisconnectTimer(), &QTimer::timeout);
        return QTest::qWaitFor([&ticks, count] { return ticks.count() >= count; });
    }

    // Nobody used the window for 180 s: its stream stops.
    bool idleOut(AspectRatioWindowController* window) {
        advance(180);
        return QTest::qWaitFor(
            [window] { return window->idlePolicy().isCloudPhoneDisconnectedForIdle(); });
    }

    static void setReduceMode(const std::optional<QString>& value) {
        SettingsManager::shared().set(value, SettingKey::reduceBitrateMode);
        NotificationCenter::defaultCenter().post(NotificationNames::reduceBitrateMode);
    }

private Q_SLOTS:
    void initTestCase() {
        m_lines = std::make_unique<LineCapture>();
        QVERIFY(m_devices.setUp());
        DeviceWindowPageLink::install(&m_link);
        FileRevealer::setHandler([this](const QUrl& file) { m_revealed << file; });
        WindowManager::shared().setWindowEnvironment(environment());
    }

    void cleanup() {
        PlayingDevices::closeAll();
        communicator().disableInputSync();
        SettingsManager::shared().set(std::nullopt, SettingKey::reduceBitrateMode);
        m_link.messages.clear();
        m_revealed.clear();
        LineCapture::clear();
    }

    void cleanupTestCase() {
        WindowManager::shared().setWindowEnvironment(DeviceWindowEnvironment::standard());
        FileRevealer::setHandler({});
        DeviceWindowPageLink::install(nullptr);
        m_lines.reset();
        PlayingDevices::tearDown();
    }

    void stripsHoldTheirButtons() {
        AspectRatioWindowController window(9200, QStringLiteral("strips"));
        window.window()->resize(373, 700);
        window.layoutViewTree();
        const QList<QAbstractButton*> right = window.rightButtonsContainer()->buttons();
        QCOMPARE(right.size(), 8);
        for (int i = 0; i < right.size(); ++i) {
            QCOMPARE(right[i]->geometry(), QRect(0, i * 46, 40, 40));
            QVERIFY(right[i] !=
                    window.controlButtonController().controlButton(ControlButtonID::install));
            QVERIFY(!right[i]->icon().isNull());
        }
        const QList<QAbstractButton*> bottom = window.bottomButtonsContainer()->buttons();
        QCOMPARE(bottom.size(), 3);
        const int stripWidth = window.bottomButtonsContainer()->width();
        for (QAbstractButton* button : bottom) {
            QVERIFY(qAbs(button->width() - stripWidth / 3) <= 1);
        }
    }

    // Every title of the right strip shows whole in its 40-pixel button, with room to spare at
    // both ends, in the texts the window has always used.
    void rightStripTitlesAreWhole_data() {
        QTest::addColumn<ControlButtonID>("button");
        QTest::addColumn<QString>("title");
        QTest::newRow("ping at its longest") << ControlButtonID::ping << "999ms";
        QTest::newRow("volume up") << ControlButtonID::volumeUp << "音量high";
        QTest::newRow("volume down") << ControlButtonID::volumeDown << "音量low";
        QTest::newRow("rotation") << ControlButtonID::rotation << "旋转";
        QTest::newRow("snapshot") << ControlButtonID::snapshot << "截图";
        QTest::newRow("key mapping") << ControlButtonID::keyboardMapping << "按键";
        QTest::newRow("previous") << ControlButtonID::previous << "上一台";
        QTest::newRow("next") << ControlButtonID::next << "下一台";
    }
    void rightStripTitlesAreWhole() {
        QFETCH(ControlButtonID, button);
        QFETCH(QString, title);
        AspectRatioWindowController window(9201, QStringLiteral("titles"));
        window.connection().didUpdateNetworkStatus(QStringLiteral("9201"),
                                                   {{QStringLiteral("rtt"), 999}});
        window.showWindow();
        QTRY_COMPARE(window.controlButtonController().pingBtn()->text(), QStringLiteral("999ms"));
        QAbstractButton* shown = window.controlButtonController().controlButton(button);
        QVERIFY(window.rightButtonsContainer()->buttons().contains(shown));
        QCOMPARE(shown->text(), title);
        QCOMPARE(shown->size(), QSize(40, 40));

        // The style draws the title inside the button's frame and elides what is wider.
        const int frame = shown->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, shown);
        const int contentWidth = shown->width() - 2 * frame;
        const int textWidth = QFontMetrics(shown->font()).horizontalAdvance(title);
        QVERIFY2(textWidth + 2 * ControlButtonStrip::kTitleMargin <= contentWidth,
                 qPrintable(QStringLiteral("%1 px of %2").arg(textWidth).arg(contentWidth)));
        QVERIFY(shown->font().pixelSize() >= ControlButtonStrip::kSmallestTitlePixelSize);
        QVERIFY(shown->font().pixelSize() <= ControlButtonStrip::kTitlePixelSize);
        saveArtifact(window.rightButtonsContainer(), QStringLiteral("device-window-right-strip"));
    }

    void deviceButtonsSendKeys_data() {
        QTest::addColumn<ControlButtonID>("button");
        QTest::addColumn<qint64>("code");
        QTest::newRow("back") << ControlButtonID::back << qint64(1);
        QTest::newRow("home") << ControlButtonID::home << qint64(2);
        QTest::newRow("overview") << ControlButtonID::overview << qint64(3);
        QTest::newRow("volume down") << ControlButtonID::volumeDown << qint64(4);
        QTest::newRow("volume up") << ControlButtonID::volumeUp << qint64(5);
    }
    void deviceButtonsSendKeys() {
        QFETCH(ControlButtonID, button);
        QFETCH(qint64, code);
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        window->controlButtonController().controlButton(button)->click();
        const DeviceControl key{DeviceControl::Kind::functionKey, code, 0, std::nullopt};
        QTRY_COMPARE(controlsOf(12345, DeviceControl::Kind::functionKey),
                     QList<DeviceControl>{key});
    }

    void adjacentDevicesAskThePage() {
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        window->controlButtonController().controlButton(ControlButtonID::previous)->click();
        window->controlButtonController().controlButton(ControlButtonID::next)->click();
        QCOMPARE(m_link.messages,
                 (QStringList{QStringLiteral("open:12345:1"), QStringLiteral("open:12345:0")}));
    }

    void guardsDropDeviceActions_data() {
        QTest::addColumn<ControlButtonID>("button");
        QTest::addColumn<bool>("idle");  // false: another window is the active one
        const QList<std::pair<const char*, ControlButtonID>> buttons{
            {"back", ControlButtonID::back},
            {"home", ControlButtonID::home},
            {"overview", ControlButtonID::overview},
            {"volume up", ControlButtonID::volumeUp},
            {"volume down", ControlButtonID::volumeDown},
            {"snapshot", ControlButtonID::snapshot},
            {"previous", ControlButtonID::previous},
            {"next", ControlButtonID::next},
        };
        for (const auto& [name, id] : buttons) {
            QTest::addRow("%s, inactive", name) << id << false;
            QTest::addRow("%s, idle", name) << id << true;
        }
    }
    void guardsDropDeviceActions() {
        QFETCH(ControlButtonID, button);
        QFETCH(bool, idle);
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        if (idle) {
            QVERIFY(idleOut(window));
            simulated(12345)->clearRecords();
        } else {
            WindowActiveManager::shared().setActiveDevice(4242);
        }
        window->controlButtonController().controlButton(button)->click();
        simulated(12345)->drain();
        // Proves that nothing reaches the device or the page in that time.
        QTest::qWait(20);
        QVERIFY(simulated(12345)->controls().isEmpty());
        QVERIFY(simulated(12345)->previewRequests().isEmpty());
        QVERIFY(m_link.messages.isEmpty());
    }

    void snapshotIsSavedAndRevealed() {
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        const QString downloads =
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        const QString path = QDir(downloads).filePath(QStringLiteral("12345截图.webp"));
        QFile::remove(path);

        window->controlButtonController().controlButton(ControlButtonID::snapshot)->click();
        QTRY_COMPARE(m_revealed.size(), 1);
        QCOMPARE(m_revealed.first().toLocalFile(), path);
        const QList<PreviewRequest> requests = simulated(12345)->previewRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().size.width(), 720u);
        QCOMPARE(requests.first().size.height(), 1280u);
        QCOMPARE(requests.first().quality, 100);
        QCOMPARE(requests.first().format, quint8(ImageFormat::webP));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("RIFF"));
        QVERIFY(!QImage::fromData(bytes, "WEBP").isNull());
        QVERIFY(LineCapture::logged(QStringLiteral("✅ 保存成功: ") + path));
        QVERIFY(LineCapture::logContains(QStringLiteral("预览图： deviceID：12345 image:")));
        QFile::remove(path);
    }

    // The picture is of the device shown at the click, and named after it.
    void snapshotAnsweredAfterASwitchNamesItsDevice() {
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window && PlayingDevices::add(679));
        window->controlButtonController().controlButton(ControlButtonID::snapshot)->click();
        window->switchToDevice(679, QStringLiteral("P3"));
        QTRY_COMPARE(m_revealed.size(), 1);
        QCOMPARE(m_revealed.first().fileName(), QStringLiteral("12345截图.webp"));
        QFile::remove(m_revealed.first().toLocalFile());
    }

    void snapshotForAClosedWindowIsDropped() {
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        const QString downloads =
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        const QStringList before = QDir(downloads).entryList(QDir::Files);
        window->controlButtonController().controlButton(ControlButtonID::snapshot)->click();
        window->close();
        PlayingDevices::flushDeletes();
        QTRY_COMPARE(simulated(12345)->previewRequests().size(), 1);
        simulated(12345)->drain();
        // Proves that the answer, when it comes, saves and reveals nothing.
        QTest::qWait(50);
        QVERIFY(m_revealed.isEmpty());
        QCOMPARE(QDir(downloads).entryList(QDir::Files), before);
        QVERIFY(!LineCapture::logContains(QStringLiteral("预览图")));
    }

    void switchingMovesTheWindowToAnotherDevice() {
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window && PlayingDevices::add(678));
        WindowActiveManager::shared().setActiveDevice(12345);
        window->switchToDevice(12345, QStringLiteral("other"));
        QCOMPARE(window->window()->windowTitle(), QStringLiteral("P12345"));
        QCOMPARE(consoleCount(QStringLiteral("stopRealTimePlay")), 0);

        window->switchToDevice(678, QStringLiteral("P2"));

        QCOMPARE(window->deviceID(), qint64(678));
        QCOMPARE(window->window()->windowTitle(), QStringLiteral("P2"));
        QCOMPARE(WindowActiveManager::shared().activeDeviceID(), std::optional<qint64>(678));
        QVERIFY(window->geometry().shouldSyncCloudPhoneRotationAfterReconnect());
        const QStringList console = LineCapture::console();
        const auto stop = std::find_if(console.begin(), console.end(), [](const QString& line) {
            return line.contains(QStringLiteral("stopRealTimePlay,设备:12345"));
        });
        const auto start = std::find_if(console.begin(), console.end(), [](const QString& line) {
            return line.contains(QStringLiteral("startRealTimePlay,设备:678"));
        });
        QVERIFY(stop != console.end() && start != console.end());
        QVERIFY(stop < start);
        QVERIFY(communicator().isNotPlaying(QStringLiteral("12345")));
        QTRY_COMPARE(simulated(12345)->streamingSessionCount(), 0);
        QVERIFY(PlayingDevices::waitForFirstFrame(window));
    }

    void toolbarHoldsQualityAndPin() {
        AspectRatioWindowController window(9201, QStringLiteral("toolbar"));
        QCOMPARE(window.toolbarController().toolbarItemIdentifiers(),
                 (QStringList{"FlexibleSpace", "QualitySelector", "PinWindow"}));
        QCOMPARE(window.toolbarController().qualityBtn()->text(), QStringLiteral("高清"));
        QCOMPARE(window.toolbarController().qualityToolbarItem()->text(), QStringLiteral("高清"));
        QMenu* form = window.toolbarController().qualityToolbarItem()->menu();
        QVERIFY(form);
        QMenu* choices = form->actions().first()->menu();
        QCOMPARE(choices->actions().size(), 4);
        QVERIFY(menuEntry(choices, QStringLiteral("高清"))->isChecked());
        QVERIFY(!menuEntry(choices, QStringLiteral("超清"))->isChecked());
        QCOMPARE(window.toolbarController().pinButton()->property("imageName").toString(),
                 QStringLiteral("pin_normal"));
        const auto* space =
            qobject_cast<QWidgetAction*>(window.toolbarController().toolbar()->actions().first());
        QCOMPARE(space->defaultWidget()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    }

    void inputSyncItemPausesAndResumes() {
        AspectRatioWindowController* leader = openPlaying(12345);
        AspectRatioWindowController* follower = openPlaying(12346);
        QVERIFY(leader && follower);
        communicator().enableInputSync(QStringLiteral("12345"), {QStringLiteral("12346")});
        leader->updateInputSyncToolbarItem();
        follower->updateInputSyncToolbarItem();
        QCOMPARE(leader->toolbarController().toolbarItemIdentifiers(),
                 (QStringList{"FlexibleSpace", "InputSyncToggle", "QualitySelector", "PinWindow"}));
        QCOMPARE(follower->toolbarController().toolbarItemIdentifiers().count("InputSyncToggle"),
                 0);
        QCoreApplication::processEvents();
        QVERIFY(
            leader->toolbarController().inputSyncToolbarButton()->isVisibleTo(leader->window()));
        saveArtifact(leader->toolbarController().toolbar(),
                     QStringLiteral("device-window-toolbar-input-sync"));

        struct Step {
            int status;
            QString title;
            QString image;
            QColor tint;
        };
        const QList<Step> steps{{0, "启动同步", "play.fill", QColor(52, 199, 89)},
                                {1, "暂停同步", "pause.fill", QColor(255, 149, 0)}};
        for (const Step& step : steps) {
            m_link.messages.clear();
            leader->toolbarController().inputSyncToolbarButton()->click();
            QCOMPARE(m_link.messages, QStringList{QStringLiteral("status:%1").arg(step.status)});
            QCOMPARE(communicator().isInputSyncEnabled(), step.status == 1);
            QToolButton* button = leader->toolbarController().inputSyncToolbarButton();
            QCOMPARE(button->text(), step.title);
            QCOMPARE(button->property("imageName").toString(), step.image);
            QCOMPARE(button->property("tint").value<QColor>(), step.tint);
            QCOMPARE(leader->toolbarController().inputSyncToolbarItem()->toolTip(), step.title);
        }

        // The item of a window whose device no longer leads, not yet taken down: a click on it
        // changes nothing and tells the page nothing.
        m_link.messages.clear();
        communicator().enableInputSync(QStringLiteral("12346"), {QStringLiteral("12345")});
        QVERIFY(communicator().isInputSyncEnabled());
        leader->toolbarController().inputSyncToolbarButton()->click();
        QVERIFY(m_link.messages.isEmpty());
        QVERIFY(communicator().isInputSyncEnabled());

        communicator().disableInputSync();
        leader->updateInputSyncToolbarItem();
        QCOMPARE(leader->toolbarController().toolbarItemIdentifiers().count("InputSyncToggle"), 0);
        QVERIFY(!leader->toolbarController().inputSyncToolbarButton());
    }

    void qualityChoice_data() {
        QTest::addColumn<bool>("idle");
        QTest::newRow("connected") << false;
        QTest::newRow("idle-disconnected") << true;
    }
    void qualityChoice() {
        QFETCH(bool, idle);
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        if (idle) {
            QVERIFY(idleOut(window));
        }
        window->toolbarController().qualityBtn()->click();
        QMenu* menu = window->toolbarController().qualityPopupMenu();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 4);
        menuEntry(menu, QStringLiteral("流畅"))->trigger();
        menu->close();

        QCOMPARE(window->toolbarController().currentQuality(),
                 idle ? QStringLiteral("高清") : QStringLiteral("流畅"));
        QCOMPARE(window->toolbarController().qualityBtn()->text(),
                 window->toolbarController().currentQuality());
        QCOMPARE(window->toolbarController().selectedVideoQuality(),
                 idle ? VideoQuality::p720 : VideoQuality::p360);
        QCOMPARE(LineCapture::logged(QStringLiteral("切换到清晰度: 流畅-3")), !idle);
        if (!idle) {
            const DeviceControl rate{DeviceControl::Kind::videoQuality, 1024, 0, std::nullopt};
            QTRY_COMPARE(controlsOf(12345, DeviceControl::Kind::videoQuality),
                         QList<DeviceControl>{rate});
        } else {
            // Proves that no quality change reaches the device in that time.
            QTest::qWait(20);
            QVERIFY(controlsOf(12345, DeviceControl::Kind::videoQuality).isEmpty());
        }
    }

    void pinKeepsTheWindowOnTop() {
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        QToolButton* pin = window->toolbarController().pinButton();
        pin->click();
        QVERIFY(window->toolbarController().isPinned());
        QVERIFY(window->window()->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(window->window()->isVisible());
        QCOMPARE(pin->property("imageName").toString(), QStringLiteral("pin_selected"));
        pin->click();
        QVERIFY(!window->toolbarController().isPinned());
        QVERIFY(!(window->window()->windowFlags() & Qt::WindowStaysOnTopHint));
        QCOMPARE(pin->property("imageName").toString(), QStringLiteral("pin_normal"));
        QVERIFY(!pin->property("tint").isValid());

        WindowActiveManager::shared().setActiveDevice(4242);
        pin->click();
        QVERIFY(!window->toolbarController().isPinned());
        QVERIFY(!(window->window()->windowFlags() & Qt::WindowStaysOnTopHint));
    }

    void idleCheckRunsEvery15Seconds() {
        QCOMPARE(DeviceWindowEnvironment::standard().idleCheckInterval,
                 std::chrono::milliseconds(15000));
        AspectRatioWindowController window(9203, QStringLiteral("standard"),
                                           DeviceWindowEnvironment::standard());
        QCOMPARE(window.idlePolicy().idleDisconnectTimer()->interval(), 15000);
        QVERIFY(window.idlePolicy().idleDisconnectTimer()->isActive());
    }

    void idleDisconnectsAndReconnects() {
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        const IdlePolicy& idle = window->idlePolicy();
        QVERIFY(idle.isCloudPhoneIdleDisconnectEnabled());
        QCOMPARE(window->connection().realTimeOptions().operationTimeout, 180);
        QCOMPARE(idle.idleDisconnectTimer()->interval(), int(kIdleCheck.count()));
        QVERIFY(idle.idleDisconnectTimer()->isActive());

        advance(179);
        QVERIFY(idleChecksRan(window, 2));
        QVERIFY(!idle.isCloudPhoneDisconnectedForIdle());
        QVERIFY(!communicator().isNotPlaying(QStringLiteral("12345")));

        advance(1);
        QTRY_VERIFY(idle.isCloudPhoneDisconnectedForIdle());
        QVERIFY(communicator().isNotPlaying(QStringLiteral("12345")));
        QTRY_COMPARE(simulated(12345)->streamingSessionCount(), 0);
        QVERIFY(isVisibleIn(window->cloudPhoneConnectionOverlay()));
        QVERIFY(isVisibleIn(window->connection().reconnectCloudPhoneButton()));
        QVERIFY(!window->connection().cloudPhoneLoadingIndicator()->isAnimating());
        saveArtifact(window->window(), QStringLiteral("device-window-reconnect"));

        QTest::mouseMove(window->window()->windowHandle(), QPoint(100, 200));
        QTest::mouseMove(window->window()->windowHandle(), QPoint(110, 210));
        QVERIFY(idle.isCloudPhoneDisconnectedForIdle());
        QCOMPARE(consoleCount(QStringLiteral("startRealTimePlay,设备:12345")), 0);

        window->connection().reconnectCloudPhoneButton()->click();
        QVERIFY(!idle.isCloudPhoneDisconnectedForIdle());
        QVERIFY(window->connection().cloudPhoneLoadingIndicator()->isAnimating());
        QCOMPARE(consoleCount(QStringLiteral("startRealTimePlay,设备:12345")), 1);
        QVERIFY(PlayingDevices::waitForFirstFrame(window));
        QVERIFY(!isVisibleIn(window->connection().reconnectCloudPhoneButton()));
        // Typed keys reach the device again.
        QCOMPARE(window->window()->focusWidget(), window->input().deviceTextInput());
    }

    void idleReducesQualityInReduceMode() {
        SettingsManager::shared().set(QStringLiteral(" On\n"), SettingKey::reduceBitrateMode);
        AspectRatioWindowController* other = openPlaying(12346);
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window && other);
        const IdlePolicy& idle = window->idlePolicy();
        QVERIFY(!idle.isCloudPhoneIdleDisconnectEnabled());
        QCOMPARE(window->connection().realTimeOptions().operationTimeout, 0);
        simulated(12345)->clearRecords();

        advance(180);
        QTRY_VERIFY(idle.isVideoQualityReducedForIdle());
        QVERIFY(!idle.isCloudPhoneDisconnectedForIdle());
        const DeviceControl low{DeviceControl::Kind::videoQuality, 1024, 0, std::nullopt};
        QTRY_COMPARE(controlsOf(12345, DeviceControl::Kind::videoQuality),
                     QList<DeviceControl>{low});

        QTest::mouseClick(other->mainView(), Qt::LeftButton);
        QVERIFY(idle.isVideoQualityReducedForIdle());

        QTest::mouseClick(window->mainView(), Qt::LeftButton);
        QVERIFY(!idle.isVideoQualityReducedForIdle());
        QVERIFY(idle.lastCloudPhoneInteractionDate() == m_now);
        const DeviceControl chosen{DeviceControl::Kind::videoQuality, 3072, 0, std::nullopt};
        QTRY_COMPARE(controlsOf(12345, DeviceControl::Kind::videoQuality), (QList{low, chosen}));
    }

    void windowWithoutStreamIsNotReduced() {
        SettingsManager::shared().set(QStringLiteral("true"), SettingKey::reduceBitrateMode);
        AspectRatioWindowController window(9202, QStringLiteral("no stream"), environment());
        advance(200);
        QVERIFY(idleChecksRan(&window, 2));
        QVERIFY(!window.idlePolicy().isVideoQualityReducedForIdle());
        QVERIFY(!window.idlePolicy().isCloudPhoneDisconnectedForIdle());
    }

    void changingTheModeReconnects_data() {
        QTest::addColumn<std::optional<QString>>("setting");
        QTest::newRow("reduce on") << std::optional<QString>("1");
        QTest::newRow("still disconnect") << std::optional<QString>("off");
    }
    void changingTheModeReconnects() {
        QFETCH(std::optional<QString>, setting);
        AspectRatioWindowController* window = openPlaying(12345);
        QVERIFY(window);
        QVERIFY(idleOut(window));

        setReduceMode(setting);
        const IdlePolicy& idle = window->idlePolicy();
        QVERIFY(!idle.isCloudPhoneDisconnectedForIdle());
        QVERIFY(idle.lastCloudPhoneInteractionDate() == m_now);
        QVERIFY(window->geometry().shouldSyncCloudPhoneRotationAfterReconnect());
        QCOMPARE(window->connection().realTimeOptions().operationTimeout, setting == "1" ? 0 : 180);
        QCOMPARE(consoleCount(QStringLiteral("startRealTimePlay,设备:12345")), 1);
        QVERIFY(PlayingDevices::waitForFirstFrame(window));
    }
};

QTEST_MAIN(DeviceWindowControlsTest)
#include "tst_DeviceWindowControls.moc"
