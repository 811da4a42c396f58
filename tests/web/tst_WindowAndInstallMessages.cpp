#include "RecordingSender.h"
#include "SessionTestSupport.h"
#include "WebTestSupport.h"

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "sdk/simulated/SimulatedDevice.h"
#include "web/InstallMessageHandler.h"
#include "web/PageUploadFlow.h"
#include "web/PopupWindowOpener.h"
#include "web/WebContentService.h"
#include "web/WindowMessageHandler.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>

namespace {

QJsonObject object(const char* text) {
    return QJsonDocument::fromJson(text).object();
}

class RecordingPopups : public PopupWindowOpener {
public:
    QStringList opened;  // "<id>|<width>x<height>|<path>|<title>"
    void openOrFocusPopup(const QString& id, const PopupWindowRequest& request) override {
        opened << QStringLiteral("%1|%2x%3|%4|%5")
                      .arg(id)
                      .arg(request.width)
                      .arg(request.height)
                      .arg(request.localFilePath, request.title);
    }
};

// A web package that is whatever the test says.
class ScriptedWebContent : public WebContentService {
public:
    std::optional<QString> entry;
    bool folderUsable = true;
    std::optional<QUrl> address;
    std::optional<QString> downloadFailure;
    bool builtIn = false;
    QStringList calls;

    std::optional<QString> activeEntryFilePath() override { return entry; }
    bool setAuthorizedDocumentsFolder(const QString& folder) override {
        calls << "folder:" + folder;
        return folderUsable;
    }
    std::optional<QUrl> repairDownloadAddress() override { return address; }
    QString repairWebVersion() override { return QStringLiteral("1.2.3"); }
    void startWebPackageDownload(const QString& url, const QString& version,
                                 DownloadDone done) override {
        calls << "download:" + url + ":" + version;
        done(downloadFailure);
    }
    std::optional<QUrl> useBuiltInWebContent() override {
        calls << "built-in";
        return builtIn ? std::optional<QUrl>(QUrl::fromLocalFile("/pc/index.html")) : std::nullopt;
    }
};

}  // namespace

class WindowAndInstallMessagesTest : public QObject {
    Q_OBJECT

    RecordingSender m_sender;
    NotificationCenter m_center;
    RecordingPopups m_popups;
    ScriptedWebContent m_webContent;
    std::unique_ptr<LineCapture> m_lines;
    std::unique_ptr<WindowMessageHandler> m_handler;
    QList<qint64> m_deviceIDs;
    QList<QUrl> m_opened;
    std::optional<QString> m_folderChoice;

    void send(const QString& type, const QJsonValue& data = QJsonObject(),
              std::optional<QString> id = QStringLiteral("m1")) {
        m_handler->handle(Web2NativeMessage{type, std::move(id), data});
    }

private Q_SLOTS:
    void init() {
        m_lines = std::make_unique<LineCapture>();
        m_sender.clear();
        m_opened.clear();
        m_popups.opened.clear();
        m_webContent = ScriptedWebContent();
        WindowMessageHandler::Environment environment;
        environment.sender = &m_sender;
        environment.notifications = &m_center;
        environment.openDeviceIDs = [this] { return m_deviceIDs; };
        environment.openURL = [this](const QUrl& url) {
            m_opened << url;
            return true;
        };
        environment.chooseDocumentsFolder = [this] { return m_folderChoice; };
        m_handler = std::make_unique<WindowMessageHandler>(environment);
        PopupWindowOpener::install(&m_popups);
        WebContentService::install(&m_webContent);
    }
    void cleanup() {
        PopupWindowOpener::install(nullptr);
        WebContentService::install(nullptr);
        m_lines.reset();
    }

    void answersAboutDeviceWindows_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("withId");
        QTest::addColumn<QString>("answer");  // type|macrequestid|data; empty: none
        QTest::newRow("open windows, device 0 left out")
            << "request-has-open-prev"
            << "{}" << true << "request-has-open-prev|m1|\"{\\\"data\\\":[\\\"12\\\",\\\"7\\\"]}\"";
        QTest::newRow("open windows without id") << "request-has-open-prev"
                                                 << "{}" << false << "";
        QTest::newRow("can open, no id") << "request-can-open-prev"
                                         << "{}" << false << "request-can-open-prev|-|true";
        QTest::newRow("maximum") << "request-can-open-max-prev"
                                 << "{}" << true << "request-can-open-max-prev|m1|10";
        QTest::newRow("maximum without id") << "request-can-open-max-prev"
                                            << "{}" << false << "";
        QTest::newRow("missing file still exists")
            << "request-fileurl-isexist"
            << R"({"requestId":"q","url":"/no/such/file"})" << true
            << R"(response-fileurl-isexist|-|{"isexist":true,"requestId":"q"})";
        QTest::newRow("exists without url") << "request-fileurl-isexist"
                                            << R"({"requestId":"q"})" << true << "";
    }
    void answersAboutDeviceWindows() {
        QFETCH(QString, type);
        QFETCH(QString, data);
        QFETCH(bool, withId);
        QFETCH(QString, answer);
        m_deviceIDs = {0, 12, 7};
        send(type, object(data.toUtf8()), withId ? std::optional<QString>("m1") : std::nullopt);
        QStringList answers;
        for (const Native2WebMessage& message : m_sender.messages()) {
            answers << message.type + "|" + message.macrequestid.value_or("-") + "|" +
                           m_sender.dataTexts(message.type).first();
        }
        QCOMPARE(answers, answer.isEmpty() ? QStringList() : QStringList{answer});
    }

    void consoleLines_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("size") << "change-wnd-size"
                              << R"({"width":800,"height":600})"
                              << QStringList{"📏 改变窗口大小: 800 x 600"};
        QTest::newRow("size with only width") << "change-wnd-size"
                                              << R"({"width":800})" << QStringList{};
        QTest::newRow("close without id") << "window-close"
                                          << R"({"windowId":3})" << QStringList{"❌ 关闭窗口"};
        QTest::newRow("not an address")
            << "open-browser"
            << R"({"url":"abc"})" << QStringList{"❌ openBrowser 参数不完整"};
        QTest::newRow("file address")
            << "open-browser"
            << R"({"url":"file:///etc/passwd"})" << QStringList{"❌ openBrowser 参数不完整"};
        QTest::newRow("script address")
            << "open-browser"
            << R"({"url":"javascript:void 0"})" << QStringList{"❌ openBrowser 参数不完整"};
        QTest::newRow("popup without a package")
            << "request-open-new-window"
            << R"({"urlSuffix":"#/a"})" << QStringList{"❌ 无法获取 HTML 路径"};
    }
    void consoleLines() {
        QFETCH(QString, type);
        QFETCH(QString, data);
        QFETCH(QStringList, lines);
        WebContentService::install(nullptr);
        send(type, object(data.toUtf8()));
        QCOMPARE(m_lines->console(), lines);
        QVERIFY(m_opened.isEmpty());
        QVERIFY(m_popups.opened.isEmpty());
    }

    void browserOpensWebAndMailAddressesOnly() {
        for (const char* url :
             {"https://example.com/a?b=1", "HTTP://example.com", "mailto:a@b.c"}) {
            send("open-browser", QJsonObject{{"url", url}});
        }
        QCOMPARE(m_opened.size(), 3);
        QCOMPARE(m_opened[1].scheme(), "http");
    }

    void popupsTakeTheirIdFromTheRoute_data() {
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("opened");
        QTest::newRow("no size") << R"({"urlSuffix":"#/tools/box?x=1","windowId":"w"})"
                                 << "/tools/box|800x600|/my docs/pc/index.html#/tools/box?x=1|w";
        QTest::newRow("second hash ends the route")
            << R"({"urlSuffix":"#/a#b","width":300.5,"height":-1})"
            << "/a|300.5x600|/my docs/pc/index.html#/a#b|";
        QTest::newRow("no hash, no query: the whole path")
            << R"({"urlSuffix":"","height":"700"})"
            << "/my docs/pc/index.html|800x600|/my docs/pc/index.html|";
        QTest::newRow("suffix not a text") << R"({"urlSuffix":1})"
                                           << "";
    }
    void popupsTakeTheirIdFromTheRoute() {
        QFETCH(QString, data);
        QFETCH(QString, opened);
        m_webContent.entry = "/my docs/pc/index.html";
        send("request-open-new-window", object(data.toUtf8()));
        QCOMPARE(m_popups.opened, opened.isEmpty() ? QStringList() : QStringList{opened});
    }

    void relaysBecomeNotifications() {
        QStringList heard;
        QObject owner;
        for (const QString& name :
             {NotificationNames::childToMainMessage, NotificationNames::mainToChildMessage}) {
            m_center.addObserver(&owner, name, [&heard, name](const Notification& note) {
                const auto message = Web2NativeMessage::fromDictionary(note.userInfo);
                heard << name + ":" +
                             (message ? message->type + ":" + message->macrequestid.value_or("-") +
                                            ":" + message->data.toObject()["k"].toString()
                                      : QStringLiteral("unreadable"));
            });
        }
        send("from-child-to-main", QJsonObject{{"k", "up"}});
        send("from-main-to-child", QJsonObject{{"k", "down"}}, std::nullopt);
        QCOMPARE(heard, (QStringList{"childToMainMessage:from-child-to-main:m1:up",
                                     "mainToChildMessage:from-main-to-child:-:down"}));
        QVERIFY(m_lines->printedStartingWith("收到：fromChildToMain "));
    }

    void repairOutcomes_data() {
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<bool>("folderUsable");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("builtIn");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("repaired");
        QTest::newRow("cancelled")
            << false << true << ""
            << "" << true << R"({"message":"未获得文稿目录访问权限","title":"修复 Web 包"})"
            << false;
        QTest::newRow("unusable folder")
            << true << false << ""
            << "" << true
            << R"({"message":"无法访问所选文稿目录，请重新授权","title":"修复 Web 包"})" << false;
        QTest::newRow("no address, no built-in")
            << true << true << ""
            << "" << false << R"({"message":"未找到可用 Web 包","title":"修复失败"})" << false;
        QTest::newRow("download works")
            << true << true << "https://cdn.example/w.zip"
            << "" << false << R"({"message":"网络 Web 包加载成功","title":"修复成功"})" << true;
        QTest::newRow("download fails, built-in used")
            << true << true << "https://cdn.example/w.zip"
            << "HTTP 404" << true << R"({"message":"已使用内置 Web 包","title":"修复成功"})"
            << true;
        QTest::newRow("download fails, no built-in")
            << true << true << "https://cdn.example/w.zip"
            << "HTTP 404" << false << R"({"message":"HTTP 404","title":"修复失败"})" << false;
    }
    void repairOutcomes() {
        QFETCH(bool, chosen);
        QFETCH(bool, folderUsable);
        QFETCH(QString, address);
        QFETCH(QString, failure);
        QFETCH(bool, builtIn);
        QFETCH(QString, box);
        QFETCH(bool, repaired);
        m_folderChoice = chosen ? std::optional<QString>("/home/u/Documents") : std::nullopt;
        m_webContent.folderUsable = folderUsable;
        m_webContent.address = address.isEmpty() ? std::nullopt : std::optional<QUrl>(address);
        m_webContent.downloadFailure =
            failure.isEmpty() ? std::nullopt : std::optional<QString>(failure);
        m_webContent.builtIn = builtIn;
        int reloads = 0;
        QObject owner;
        m_center.addObserver(&owner, NotificationNames::webContentDidRepair,
                             [&reloads](const Notification&) { ++reloads; });
        send("repair-web-content");
        QCOMPARE(m_sender.dataTexts("response-show-message-box"), QStringList{box});
        QCOMPARE(reloads, repaired ? 1 : 0);
        if (!address.isEmpty()) {
            QCOMPARE(m_webContent.calls.value(1), "download:" + address + ":1.2.3");
        }
    }

    void fileTypesFollowTheExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::newRow("apk in capitals") << "archive.APK" << 1;
        QTest::newRow("heic in capitals") << "photo.HEIC" << 2;
        QTest::newRow("text") << "notes.txt" << 3;
        QTest::newRow("no extension") << "apk" << 3;
        QTest::newRow("apk in a folder name") << "x.apk/readme" << 3;
    }
    void fileTypesFollowTheExtension() {
        QFETCH(QString, name);
        QFETCH(int, type);
        QCOMPARE(rawValue(PageUploadFlow::fileTypeForName(name)), type);
    }

    void installAnswersEachCompleteItem() {
        SessionBench bench;
        QVERIFY(bench.add({"5", "6"}));
        const QString game = bench.dir.filePath("game.apk");
        const QString photo = bench.dir.filePath("photo.png");
        for (const QString& path : {game, photo}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("content");
        }
        InstallMessageHandler handler(
            InstallMessageHandler::Environment{bench.communicator.get(), &m_sender});
        const QJsonArray list{
            QJsonObject{{"deviceId", 5}, {"type", 1}, {"url", game}, {"requestId", "a"}},
            QJsonObject{{"deviceId", 6}, {"type", 2}, {"url", photo}, {"requestId", "b"}},
            QJsonObject{{"deviceId", 5}, {"type", 1}, {"url", game}},
            QJsonObject{{"deviceId", 404}, {"type", 0}, {"url", "/tmp/n.txt"}, {"requestId", "c"}}};
        handler.handle(
            Web2NativeMessage{"batch-request-install", std::nullopt, QJsonObject{{"list", list}}});
        QTRY_COMPARE_WITH_TIMEOUT(m_sender.messages().size(), 3, 10000);
        QStringList answers;
        for (const Native2WebMessage& answer : m_sender.messages()) {
            const QJsonObject data = answer.data.toObject();
            answers << data["requestId"].toString() + ":" + data["deviceId"].toString() + ":" +
                           QString::number(data["code"].toInt()) + ":" + data["msg"].toString();
        }
        answers.sort();
        QCOMPARE(answers, (QStringList{"a:5:0:", "b:6:0:", "c:404:-1:设备不存在。"}));
        QCOMPARE(bench.device("6")->transferredFiles().size(), 1);
        QVERIFY(bench.device("6")->transferredFiles().first().endsWith("/photo.png"));
        QVERIFY(!bench.device("6")->installedApps().contains("photo"));
        QVERIFY(bench.device("5")->installedApps().contains("game"));
        QVERIFY(bench.device("5")->transferredFiles().isEmpty());
        QVERIFY(m_lines->logged("  - 设备6: 上传并安装 " + photo));
        QVERIFY(m_lines->logged("  - 设备404: 仅上传 /tmp/n.txt"));
        QVERIFY(m_lines->logged("pushFileToDevice = 设备不存在。"));
    }

    void installListMustBeDictionaries() {
        InstallMessageHandler handler(InstallMessageHandler::Environment{nullptr, &m_sender});
        handler.handle(Web2NativeMessage{"batch-request-install", std::nullopt,
                                         object(R"({"list":[{"deviceId":1},2]})")});
        QVERIFY(m_lines->logged("❌ 批量安装参数不完整"));
        QVERIFY(m_sender.messages().isEmpty());
    }
};

QTEST_MAIN(WindowAndInstallMessagesTest)
#include "tst_WindowAndInstallMessages.moc"
