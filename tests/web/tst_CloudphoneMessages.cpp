#include "SessionTestSupport.h"
#include "WebTestSupport.h"

#include "api/KXDomesticUser.h"
#include "foundation/storage/SecureStorageManager.h"
#include "web/CloudphoneMessageHandler.h"
#include "web/DeviceApplicationHandler.h"
#include "web/DeviceWindowDirectory.h"
#include "web/MacroRecordHandler.h"
#include "web/PreviewImageStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

Web2NativeMessage message(const QString& type, const QByteArray& dataJson = "{}") {
    return Web2NativeMessage{type, QStringLiteral("r1"),
                             QJsonDocument::fromJson(dataJson).object()};
}

// Device windows as the handler sees them: a list of stand-ins, and every call noted in order.
class FakeWindows : public DeviceWindowDirectory {
public:
    QStringList calls;
    QSet<qint64> visible;  // devices whose window comes to the front
    std::vector<std::unique_ptr<QObject>> owned;
    QList<QObject*> listed;

    QObject* add(qint64 id) {
        owned.push_back(std::make_unique<QObject>());
        owned.back()->setProperty("device", id);
        listed << owned.back().get();
        return owned.back().get();
    }

    QList<QObject*> windows() const override { return listed; }
    qint64 deviceID(const QObject* window) const override {
        return window->property("device").toLongLong();
    }
    QObject* openWindow(qint64 id, const QString& name) override {
        calls << QStringLiteral("open:%1:%2").arg(id).arg(name);
        return add(id);
    }
    bool bringWindowToFront(qint64 id) override {
        calls << QStringLiteral("front:%1").arg(id);
        return visible.contains(id);
    }
    void closeAllWindows() override { calls << "closeAll"; }
    void closeWindows(const QList<qint64>& ids) override { calls << "close:" + ids_(ids); }
    void closeOtherWindows(qint64 id) override {
        calls << QStringLiteral("closeOthers:%1").arg(id);
    }
    void tileWindows(const QList<QObject*>& windows) override {
        QList<qint64> ids;
        for (QObject* window : windows) {
            ids << deviceID(window);
        }
        calls << "tile:" + ids_(ids);
    }
    void switchToDevice(QObject* window, qint64 id, const QString& name) override {
        calls << QStringLiteral("switch:%1->%2:%3").arg(deviceID(window)).arg(id).arg(name);
    }
    void updateInputSyncToolbarItem(QObject* window) override {
        calls << QStringLiteral("toolbar:%1").arg(deviceID(window));
    }

private:
    static QString ids_(const QList<qint64>& ids) {
        QStringList texts;
        for (qint64 id : ids) {
            texts << QString::number(id);
        }
        return texts.join(',');
    }
};

class MemoryStore : public PreviewImageStore {
public:
    QString storeImage(const QByteArray& data, const QString& id) override {
        images[id] = data;
        return id;
    }
    QHash<QString, QByteArray> images;
};

}  // namespace

class CloudphoneMessagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionBench> m_bench;
    std::unique_ptr<SecureStorageManager> m_storage;
    std::unique_ptr<LineCapture> m_lines;
    FakeWindows m_windows;
    MemoryStore m_store;
    QStringList m_page;
    std::unique_ptr<CloudphoneMessageHandler> m_handler;

    CloudPhoneCommunicator& communicator() { return *m_bench->communicator; }
    void handle(const QString& type, const QByteArray& data = "{}") {
        m_handler->handle(message(type, data));
    }
    // The handler's window work waits for the GUI thread's queue.
    static void flush() { QCoreApplication::processEvents(); }
    // The input-sync group: the main device, then the others in order.
    QStringList syncGroup() {
        QStringList ids = communicator().inputSync().deviceIDs().values();
        ids.sort();
        if (const auto main = communicator().inputSyncMainDeviceID()) {
            ids.prepend(*main);
        }
        return ids;
    }

private Q_SLOTS:
    void init() {
        m_bench = std::make_unique<SessionBench>();
        SecureStorageManager::Environment storage;
        storage.applicationSupportDirectory = m_bench->dir.filePath(QStringLiteral("support"));
        storage.bundleIdentifier = QStringLiteral("com.example.web");
        storage.console = [](const QString&) {};
        m_storage = std::make_unique<SecureStorageManager>(storage);
        m_lines = std::make_unique<LineCapture>();
        m_windows = FakeWindows();
        m_store.images.clear();
        m_page.clear();
        CloudphoneMessageHandler::Environment environment;
        environment.communicator = m_bench->communicator.get();
        environment.settings = m_bench->settings.get();
        environment.windows = &m_windows;
        environment.userStorage = m_storage.get();
        environment.userDataFile = QStringLiteral("user_data.encrypted");
        environment.sendBatchControlStatus = [this](int status) {
            m_page << QStringLiteral("status:%1").arg(status);
        };
        environment.sendBatchResponsePreview = [this](qint64 id, int rotation) {
            m_page << QStringLiteral("preview:%1:%2").arg(id).arg(rotation);
        };
        environment.previewStore = [this] { return &m_store; };
        m_handler = std::make_unique<CloudphoneMessageHandler>(environment);
    }
    void cleanup() {
        m_handler.reset();
        m_lines.reset();
        m_bench.reset();
    }

    void deviceOptionsFromThePage_data() {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<int>("port");  // 0: no options
        QTest::newRow("integer") << QByteArray(R"({"ip":"10.0.0.2","port":8080})") << 8080;
        QTest::newRow("text with plus")
            << QByteArray(R"({"ip":"10.0.0.2","port":"+8080"})") << 8080;
        QTest::newRow("highest") << QByteArray(R"({"ip":"h","port":65535})") << 65535;
        QTest::newRow("zero") << QByteArray(R"({"ip":"h","port":0})") << 0;
        QTest::newRow("too high") << QByteArray(R"({"ip":"h","port":65536})") << 0;
        QTest::newRow("letters") << QByteArray(R"({"ip":"h","port":"abc"})") << 0;
        QTest::newRow("fraction") << QByteArray(R"({"ip":"h","port":80.5})") << 0;
        QTest::newRow("text with blank") << QByteArray(R"({"ip":"h","port":" 80"})") << 0;
        QTest::newRow("text overflowing")
            << QByteArray(R"({"ip":"h","port":"99999999999999999999"})") << 0;
        QTest::newRow("empty ip") << QByteArray(R"({"ip":"","port":8080})") << 0;
        QTest::newRow("no ip") << QByteArray(R"({"port":8080})") << 0;
    }
    void deviceOptionsFromThePage() {
        QFETCH(QByteArray, device);
        QFETCH(int, port);
        const auto options =
            CloudphoneMessageHandler::deviceOptions(QJsonDocument::fromJson(device).object());
        QCOMPARE(options.has_value(), port != 0);
        if (options) {
            QCOMPARE(options->port, port);
            QCOMPARE(options->connectType, DeviceConnectType::udp);
        }
    }

    void addRegistersWithTheGivenAddressAndSyncsTheSign() {
        QVERIFY(m_storage->saveEncrypted(KXDomesticUser(QStringLiteral("u9"), QStringLiteral("x")),
                                         QStringLiteral("user_data.encrypted")));
        QVERIFY(m_bench->add({"5"}));
        handle("add-cloundphone", R"({"userInfo":{"uid":"u9","token":"tok"},"deviceArr":[
            {"deviceid":12,"ip":"10.1.2.3","port":"+8080"},{"deviceId":13},{"deviceid":14,"port":0}]})");
        QTRY_VERIFY(m_lines->logged("add-cloundphone SDK add device 14: true"));
        QVERIFY(m_lines->logged("add-cloundphone SDK add device 12: true"));
        QVERIFY(m_lines->logged(
            QStringLiteral("⚠️ add-cloundphone 设备参数不完整: [\"deviceId\": 13]")));
        const KXDeviceParamsObc params = m_bench->device("12")->connections().last().params;
        QCOMPARE(params.ipAddress(), QStringLiteral("10.1.2.3"));
        QCOMPARE(params.port(), quint16(8080));
        QCOMPARE(params.transport(), KXTransportProtocolTypeObc::udp);
        QVERIFY(!communicator().isDeviceAdded("13"));
        const auto saved = m_storage->loadEncrypted<KXDomesticUser>("user_data.encrypted");
        QCOMPARE(saved->sign, QStringLiteral("tok"));
    }

    void addWithoutDevicesStillSyncsTheSign_data() {
        QTest::addColumn<bool>("saved");
        QTest::newRow("saved record") << true;
        QTest::newRow("no record") << false;
    }
    void addWithoutDevicesStillSyncsTheSign() {
        QFETCH(bool, saved);
        if (saved) {
            QVERIFY(m_storage->saveEncrypted(KXDomesticUser("u9", "x"), "user_data.encrypted"));
        }
        QVERIFY(m_bench->add({"5"}));
        m_bench->identity->token = "fresh";
        handle("add-cloundphone", R"({"userInfo":{"uid":"u9","token":"tok"},"deviceArr":[]})");
        QTRY_VERIFY(m_bench->device("5")->refreshedTokens().contains("fresh"));
        const auto record = m_storage->loadEncrypted<KXDomesticUser>("user_data.encrypted");
        QCOMPARE(record.has_value(), saved);
        QCOMPARE(m_lines->logged(QStringLiteral(
                     "⚠️ add-cloundphone 未找到本地用户数据，无法同步 sign")),
                 !saved);
        if (record) {
            QCOMPARE(record->sign, QStringLiteral("tok"));
        }
    }

    void openRaisesOpensOrLeavesAStreamingDevice_data() {
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("streaming");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("window visible") << true << false << QStringList{"front:5"};
        QTest::newRow("streams without window") << false << true << QStringList{"front:5"};
        QTest::newRow("neither") << false << false << QStringList{"front:5", "open:5:P5"};
    }
    void openRaisesOpensOrLeavesAStreamingDevice() {
        QFETCH(bool, visible);
        QFETCH(bool, streaming);
        QFETCH(QStringList, calls);
        QVERIFY(m_bench->add({"5"}));
        if (streaming) {
            QVERIFY(m_bench->play("5"));
        }
        if (visible) {
            m_windows.visible << 5;
        }
        handle("cloudphone-open", R"({"deviceid":5,"devicename":"P5"})");
        QCOMPARE(m_windows.calls, calls);
        QCOMPARE(m_lines->printed(QStringLiteral("📱 云机已打开，已将窗口置于最前: P5 (5)")),
                 visible);
    }

    void openInExistingWindow_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("logged");
        QTest::newRow("no window of the old device")
            << QByteArray(R"({"oldDeviceId":4,"deviceId":6,"devicename":"P6"})") << QStringList{}
            << "❌ 未找到旧设备窗口: 4";
        QTest::newRow("new device streams elsewhere")
            << QByteArray(R"({"oldDeviceId":3,"deviceId":5,"devicename":"P5"})")
            << QStringList{"front:5"} << "⚠️ 新设备已在其他窗口播放: 5";
        QTest::newRow("same device restarts")
            << QByteArray(R"({"oldDeviceId":5,"deviceId":5,"devicename":"P5"})")
            << QStringList{"switch:5->5:P5"} << "";
        QTest::newRow("other device")
            << QByteArray(R"({"oldDeviceId":3,"deviceid":6,"devicename":"P6"})")
            << QStringList{"switch:3->6:P6"} << "";
        QTest::newRow("no name") << QByteArray(R"({"oldDeviceId":3,"deviceId":6})") << QStringList{}
                                 << "❌ 云机参数不完整";
    }
    void openInExistingWindow() {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, calls);
        QFETCH(QString, logged);
        QVERIFY(m_bench->add({"5"}));
        QVERIFY(m_bench->play("5"));
        m_windows.add(3);
        m_windows.add(5);
        handle("cloudphone-open-at-exist", data);
        QVERIFY(m_windows.calls.isEmpty());
        flush();
        QCOMPARE(m_windows.calls, calls);
        if (!logged.isEmpty()) {
            QVERIFY2(m_lines->logged(logged), qPrintable(m_lines->log().join('\n')));
        }
    }

    void closingEndsAnActiveInputSync_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("syncing");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("page");
        QTest::newRow("select none while syncing")
            << "close-select-cloudphone" << QByteArray(R"({"deviceArr":[]})") << true
            << "❌ 关闭指定云机: []" << QStringList{"toolbar:7", "toolbar:8", "close:"}
            << QStringList{"status:2"};
        QTest::newRow("select two")
            << "close-select-cloudphone" << QByteArray(R"({"deviceArr":[8,12]})") << false
            << "❌ 关闭指定云机: [8, 12]" << QStringList{"close:8,12"} << QStringList{};
        QTest::newRow("select mistyped")
            << "close-select-cloudphone" << QByteArray(R"({"deviceArr":[8,"9"]})") << true << ""
            << QStringList{} << QStringList{};
        QTest::newRow("all without sync")
            << "close-all-cloudphone" << QByteArray("{}") << false << "❌ 关闭所有云机"
            << QStringList{"closeAll"} << QStringList{};
        QTest::newRow("all while syncing")
            << "close-all-cloudphone" << QByteArray("{}") << true << "❌ 关闭所有云机"
            << QStringList{"toolbar:7", "toolbar:8", "closeAll"} << QStringList{"status:2"};
    }
    void closingEndsAnActiveInputSync() {
        QFETCH(QString, type);
        QFETCH(QByteArray, data);
        QFETCH(bool, syncing);
        QFETCH(QString, printed);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, page);
        m_windows.add(7);
        m_windows.add(8);
        if (syncing) {
            communicator().enableInputSync("7", {"8"});
        }
        handle(type, data);
        QCOMPARE(m_windows.calls, calls);
        QCOMPARE(m_page, page);
        QCOMPARE(communicator().inputSyncMainDeviceID().has_value(), syncing && page.isEmpty());
        QCOMPARE(m_lines->console().filter("关闭").value(0), printed);
    }

    void openManyStopsAtAStreamingDevice_data() {
        QTest::addColumn<QVariant>("sort");  // invalid: nothing stored
        QTest::addColumn<QByteArray>("devices");
        QTest::addColumn<QStringList>("calls");
        const QByteArray three =
            R"([{"deviceid":4,"devicename":"A"},{"deviceid":5,"devicename":"B"},{"deviceid":6,"devicename":"C"}])";
        const QByteArray open =
            R"([{"deviceid":4,"devicename":"A"},{"deviceId":6,"devicename":"C"},{"deviceid":7,"devicename":"D"}])";
        QTest::newRow("second streams") << QVariant() << three << QStringList{"open:4:A"};
        QTest::newRow("no setting tiles")
            << QVariant() << open << QStringList{"open:4:A", "open:7:D", "tile:4,7"};
        QTest::newRow("capitals tile")
            << QVariant("TRUE") << open << QStringList{"open:4:A", "open:7:D", "tile:4,7"};
        QTest::newRow("one does not tile")
            << QVariant("1") << open << QStringList{"open:4:A", "open:7:D"};
    }
    void openManyStopsAtAStreamingDevice() {
        QFETCH(QVariant, sort);
        QFETCH(QByteArray, devices);
        QFETCH(QStringList, calls);
        if (sort.isValid()) {
            m_bench->settings->set(sort.toString(), SettingKey::batchCloudphonePositionSort);
        }
        QVERIFY(m_bench->add({"5"}));
        QVERIFY(m_bench->play("5"));
        handle("more-cloudphone-open", R"({"deviceArr":)" + devices + "}");
        flush();
        QCOMPARE(m_windows.calls, calls);
    }

    void batchControlStartsSyncAndShowsTheMainDevice_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QVariant>("closeOthers");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QStringList>("group");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("page");
        const QByteArray list = R"("deviceArr":[{"deviceid":8},{"deviceId":9},{}])";
        const QByteArray main7 = R"({"mainDevice":{"deviceId":"7","devicename":"M"},)" + list + "}";
        QTest::newRow("opens the main window")
            << main7 << QVariant() << false << QStringList{"7", "8", "9"}
            << QStringList{"closeOthers:7", "front:7", "open:7:M", "toolbar:7"}
            << QStringList{"status:1"};
        QTest::newRow("raises the main window")
            << main7 << QVariant("off") << true << QStringList{"7", "8", "9"}
            << QStringList{"front:7"} << QStringList{};
        QTest::newRow("on in capitals keeps others")
            << main7 << QVariant("ON") << true << QStringList{"7", "8", "9"}
            << QStringList{"front:7"} << QStringList{};
        QTest::newRow("fractional main id")
            << QByteArray(R"({"mainDevice":{"deviceId":3.5},"deviceArr":[{"deviceid":8}]})")
            << QVariant() << false << QStringList{"3.5", "8"} << QStringList{} << QStringList{};
        QTest::newRow("unusable deviceId hides deviceid")
            << QByteArray(R"({"mainDevice":{"deviceId":"","deviceid":7},"deviceArr":[]})")
            << QVariant() << false << QStringList{} << QStringList{} << QStringList{};
    }
    void batchControlStartsSyncAndShowsTheMainDevice() {
        QFETCH(QByteArray, data);
        QFETCH(QVariant, closeOthers);
        QFETCH(bool, visible);
        QFETCH(QStringList, group);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, page);
        if (closeOthers.isValid()) {
            m_bench->settings->set(closeOthers.toString(), SettingKey::syncCtlCloseOtherDevices);
        }
        if (visible) {
            m_windows.visible << 7;
        }
        handle("batch-control", data);
        QCOMPARE(syncGroup(), group);
        QCOMPARE(m_windows.calls, calls);
        QCOMPARE(m_page, page);
        if (data.contains("3.5")) {
            QVERIFY(communicator().isInputSyncEnabled());
            QVERIFY(m_lines->logged(QStringLiteral("批量输入同步主控设备ID无效: 3.5")));
        }
    }

    void batchControlStatusChangesSyncAndRefreshesToolbars_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("active");
        QTest::addColumn<int>("toolbars");
        QTest::newRow("pause") << QByteArray(R"({"status":0})") << false << true << 1;
        QTest::newRow("resume") << QByteArray(R"({"status":1})") << true << true << 1;
        QTest::newRow("end") << QByteArray(R"({"status":2})") << false << false << 1;
        QTest::newRow("unknown") << QByteArray(R"({"status":5})") << true << true << 1;
        QTest::newRow("text") << QByteArray(R"({"status":"1"})") << true << true << 0;
    }
    void batchControlStatusChangesSyncAndRefreshesToolbars() {
        QFETCH(QByteArray, data);
        QFETCH(bool, enabled);
        QFETCH(bool, active);
        QFETCH(int, toolbars);
        m_windows.add(7);
        communicator().enableInputSync("7", {"8"});
        communicator().setInputSyncEnabled(true);
        handle("batch-control-status", data);
        QCOMPARE(communicator().isInputSyncEnabled(), enabled);
        QCOMPARE(communicator().inputSyncMainDeviceID().has_value(), active);
        QCOMPARE(m_windows.calls.size(), toolbars);
        QCOMPARE(m_lines->logged(QStringLiteral("未知的批量输入同步状态: 5")), data.contains('5'));
        QVERIFY(m_page.isEmpty());
    }

    void previewsAreStoredAndAnnounced() {
        QVERIFY(m_bench->add({"12", "13"}));
        handle(
            "batch-request-preview",
            R"({"quality":60,"deviceArr":[{"deviceId":12},{"deviceId":99},{"deviceid":13},{"deviceId":13}]})");
        QTRY_COMPARE(m_page.size(), 2);
        QTRY_VERIFY(m_lines->printedStartingWith(
            QStringLiteral("预览图获取失败： deviceID：Optional(\"99\")")));
        QVERIFY(m_page.contains("preview:12:0") && m_page.contains("preview:13:0"));
        const QByteArray image = m_store.images.value("12");
        QCOMPARE(image.mid(8, 4), QByteArray("WEBP"));
        const PreviewRequest request = m_bench->device("12")->previewRequests().first();
        QCOMPARE(request.size.width(), 720.0);
        QCOMPARE(request.quality, 60);
        QCOMPARE(request.format, quint8(ImageFormat::webP));
    }

    void previewRequestNeedsItsFields_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("no quality") << QByteArray(R"({"deviceArr":[{"deviceId":12}]})");
        QTest::newRow("quality beyond 32 bits")
            << QByteArray(R"({"quality":4294967296,"deviceArr":[{"deviceId":12}]})");
        QTest::newRow("devices not dictionaries")
            << QByteArray(R"({"quality":60,"deviceArr":[12]})");
    }
    void previewRequestNeedsItsFields() {
        QFETCH(QByteArray, data);
        QVERIFY(m_bench->add({"12"}));
        handle("batch-request-preview", data);
        QVERIFY(
            m_lines->printedStartingWith(QStringLiteral("❌ 预览图 参数不完整 Web2NativeMessage(")));
        QVERIFY(m_bench->device("12")->previewRequests().isEmpty());
    }

    void pasteFollowsTheMode_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("clipboards");  // devices 1, 2, 3
        const QByteArray devices = R"("deviceArr":[{"id":1},{"id":2},{"id":3}])";
        QTest::newRow("paste all") << R"({"type":"paste-all","content":["a","b"],)" + devices + "}"
                                   << QStringList{"a", "a", "a"};
        QTest::newRow("one text each") << R"({"type":"each","content":["a","b"],)" + devices + "}"
                                       << QStringList{"a", "b", ""};
        QTest::newRow("second without id")
            << QByteArray(
                   R"({"type":"each","content":["a","b","c"],"deviceArr":[{"id":1},{},{"id":3}]})")
            << QStringList{"a", "", ""};
        QTest::newRow("content not all texts")
            << R"({"type":"paste-all","content":["a",1],)" + devices + "}"
            << QStringList{"", "", ""};
    }
    void pasteFollowsTheMode() {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, clipboards);
        QVERIFY(m_bench->add({"1", "2", "3"}));
        handle("request-paste-to-cloudphone", data);
        QStringList found;
        for (const QString& id : QStringList{"1", "2", "3"}) {
            m_bench->device(id)->drain();
            found << m_bench->device(id)->clipboard();
        }
        QCOMPARE(found, clipboards);
    }

    void deviceApplicationAndMacroLines_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("line");
        QTest::newRow("list") << "request-deivce-application" << QByteArray("[]")
                              << "📋 请求获取设备应用列表";
        QTest::newRow("uninstall")
            << "control-deivce-application" << QByteArray(R"({"devices":[],"type":2})")
            << "🎮 控制设备应用: 卸载";
        QTest::newRow("unknown action")
            << "control-deivce-application" << QByteArray(R"({"devices":[],"type":7})")
            << "⚠️ 控制设备应用: 未知操作 7";
        QTest::newRow("devices mistyped")
            << "control-deivce-application" << QByteArray(R"({"devices":[1],"type":1})")
            << "❌ 控制设备应用参数不完整";
        QTest::newRow("record") << "request-start-macro-record"
                                << QByteArray(R"({"macroRecordUcid":"m1"})") << "🎬 开始宏录制: m1";
        QTest::newRow("record without ucid")
            << "request-start-macro-record" << QByteArray("{}") << "❌ 开始宏录制参数不完整";
        QTest::newRow("command")
            << "request-start-macro-command"
            << QByteArray(
                   R"({"deviceArr":[],"macroRecordUcid":"m1","cycleNumber":3,"cycleInterval":2})")
            << "▶️ 执行宏指令: m1, 循环3次, 间隔2秒";
        QTest::newRow("cycles as text")
            << "request-start-macro-command"
            << QByteArray(
                   R"({"deviceArr":[],"macroRecordUcid":"m1","cycleNumber":"3","cycleInterval":2})")
            << "❌ 执行宏指令参数不完整";
        QTest::newRow("stop") << "request-stop-macro-command" << QByteArray("null")
                              << "⏹️ 停止执行宏指令";
    }
    void deviceApplicationAndMacroLines() {
        QFETCH(QString, type);
        QFETCH(QByteArray, data);
        QFETCH(QString, line);
        DeviceApplicationHandler applications;
        MacroRecordHandler macros;
        const Web2NativeMessage posted{type, std::nullopt,
                                       QJsonDocument::fromJson("[" + data + "]").array().first()};
        applications.handle(posted);
        macros.handle(posted);
        QVERIFY2(m_lines->logged(line) || m_lines->printed(line),
                 qPrintable((m_lines->log() + m_lines->console()).join('\n')));
    }
};

QTEST_MAIN(CloudphoneMessagesTest)
#include "tst_CloudphoneMessages.moc"
