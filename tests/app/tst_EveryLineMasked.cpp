// Each way by which a credential or a personal value could reach a line, tried as an attacker
// would: a fake service API and a fake object store on 127.0.0.1, the client's own page and its
// console, Qt's messages, a device window and the loopback server. None of the values is on the
// console, in the log file or in the page's log file, each line that carried one still starts as
// it did, no text makes a line of its own (for readers that split lines Unicode's way too) and
// none sends the terminal a control sequence or turns a line around.
#include "../devicewindow/PlayingDevices.h"
#include "../support/EveryLine.h"
#include "../support/ProcessSettingsRestorer.h"
#include "../web/OwnPage.h"
#include "TestHttpServer.h"

#include "api/KXNetworkManager.h"
#include "app/LocalImageServer.h"
#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowInput.h"
#include "foundation/settings/SettingsManager.h"
#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/WindowsKeyTable.h"
#include "upload/FileUploader.h"
#include "upload/MultiFileUploadManager.h"
#include "web/LogMessageHandler.h"
#include "web/Native2WebMessageSender.h"

#include <QDirIterator>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>

#include <array>
#include <utility>

namespace {

constexpr qint64 kDevice = 41;

// Besides the bridge, posts of any text as the body.
const QByteArray kPage = ownPageHtml(
    "window.postText = function (text) {\n"
    "    window.webkit.messageHandlers.nativeHandler.postMessage(text);\n"
    "};\n");

// The object store's answer to a signature it does not accept: the request it signed, headers
// and all, and the same as bytes.
const QByteArray kSignatureError =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>SignatureDoesNotMatch</Code>"
    "<Message>The request signature we calculated does not match the signature you provided."
    "</Message><AWSAccessKeyId>AKID-door6</AWSAccessKeyId><StringToSign>AWS4-HMAC-SHA256\n"
    "20260102T030405Z\n20260102/cn-east-3/s3/aws4_request\n9a1f</StringToSign>"
    "<SignatureProvided>SIG-door6</SignatureProvided><StringToSignBytes>41 57 53 34"
    "</StringToSignBytes><CanonicalRequest>PUT\n/file/door6.txt\n\ncontent-md5:x\nhost:bkt.obs."
    "example.com\nx-amz-content-sha256:UNSIGNED-PAYLOAD\nx-amz-date:20260102T030405Z\n"
    "x-amz-security-token:STS-door6\n\ncontent-md5;host;x-amz-content-sha256;x-amz-date;"
    "x-amz-security-token\nUNSIGNED-PAYLOAD</CanonicalRequest><CanonicalRequestBytes>78 2d 61 "
    "6d 7a 3a 53 54 53 2d 64 6f 6f 72 36</CanonicalRequestBytes><RequestId>r1</RequestId>"
    "</Error>";

// The store's answer to a security token it does not accept, in the forms of its other errors.
const QByteArray kRefusedArgument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>InvalidToken</Code>"
    "<Token-0>TK-door11</Token-0><ArgumentName>x-amz-security-token</ArgumentName>"
    "<ArgumentValue>AV-door11</ArgumentValue><RequestId>r2</RequestId></Error>";

// A line written into the middle of another, as a request could try to.
const QString kForged = QStringLiteral("22:00:00.000 [ERROR][APP] forged");

enum Door {
    storeCredentialReply = 1,
    jsonTextInJsonText,
    addresses,
    bodiesThatAreNotJson,
    keysThatMatchedNothing,
    storeSignatureError,
    pageConsole,
    qtWarning,
    requestsWritingLines,
    headersHashesAndAttributes,
    storeRefusedArgument,
    escapedQuery,
    escapedJson,
    escapedTwice,
    listOfNamesAndValues,
    phoneInGroups,
    unicodeControls,
    escapedQuotes,
    formBlanks,
    pairsAndLetterCase,
    digitsInWideGroups,
    openQuoteInSentScript,
    arabicLetterMark,
    prettyPrintedJson,
};

// Text the page writes, in the order of the doors from `escapedQuery` on.
const QStringList kPageTexts = {
    "redirect_uri=https%3A%2F%2Fapp.example%2Fhome%3Ftoken%3DENCTOKA1%26phone%3D13800000021",
    "form data=%7B%22token%22%3A%22ENCTOKB2%22%2C%22phone%22%3A%2213800000022%22%7D",
    "next=%2Fhome%3Fsign%3DENCTOK3 back=%2Fa%3Ftoken%253DENCTOK4%2526x%253D1",
    R"(cookies [{"name":"token","value":"NVTOKA1"},{"name":"phone","value":"13800000031"},)"
    R"({"value":"NVTOKB2","attrs":{"path":"/"},"name":"token"}])",
    "phone: 138 0000 0032 saved r=%2Fa%3Fphone%3D139%200000%200033",
    QString::fromUtf16(u"设备🙂 A\u2028") + kForged +
        QString::fromUtf16(u"\u2029B \u202eevil\u2066x\u2069"),
    R"(reply {"data":"{\u0022token\u0022:\u0022QUTOK1\u0022}"} )"
    "f=%7B%22d%22%3A%22%7B%5C%22sign%5C%22%3A%5C%22QUTOK2%5C%22%7D%22%7D "
    "next=%2Fh%3Ftoken%25253DQUTOK3%252526x%25253D1",
    "form data=%7B%22token%22%3A+%22PLTOK1%22%7D d=%7B%22sign%22%20%3A%20%22PLTOK2%22%7D",
    R"(pairs [["authorization","Bearer PRTOK1"],["token","PRTOK2"]] {"Name":"token",)"
    R"("Value":"PRTOK3"} {"Key":"password","Value":"PRTOK4"} {"name":"sign","type":)"
    R"({"value":"string"},"value":"PRTOK5"} {"value":"PRTOK6","t":{"value":"x"},"name":"token"})",
    QString::fromUtf16(u"phone: 138\u00a00000\u00a00051 mobile: 138\u20090000\u20090052 "
                       u"phone: 138\u30000000\u30000053 idcard: 110101 19900307 044X "
                       u"phone: 13800000054 10054 2026-12-10"),
};

// Unicode's line and paragraph separators and the marks of direction sent above.
const QList<QChar> kFormatControls = {QChar(0x2028), QChar(0x2029), QChar(0x202e), QChar(0x2066),
                                      QChar(0x061c)};

// Reorders what follows it as the mark of right-to-left does.
const QString kArabicLetterMarkText = QString::fromUtf16(u"100 \u061c200 300");

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString folderText(const QString& folder) {
    QString text;
    QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        text += fileText(files.next());
    }
    return text;
}

quint16 freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QString compact(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

TestHttpServer::Reply json(const QByteArray& body, int status = 200) {
    return TestHttpServer::Reply{status, body, {{"Content-Type", "application/json"}}, 0};
}

bool printed(const QString& prefix, int times = 1) {
    return EveryLine::lines().filter(prefix).size() >= times;
}

// Waits until `times` console lines hold `text`; if they never do, says what the console held.
void expectPrinted(const QString& text, int times = 1) {
    QTRY_VERIFY2_WITH_TIMEOUT(printed(text, times),
                              qPrintable(QStringLiteral("no %1 console line(s) holding \"%2\"; the "
                                                        "console held:\n%3")
                                             .arg(times)
                                             .arg(text, EveryLine::lines().join('\n'))),
                              15000);
}

// The lines of `text` holding `part`.
QString linesHolding(const QString& text, const QString& part) {
    return text.split(QLatin1Char('\n')).filter(part).join(QLatin1Char('\n'));
}

}  // namespace

class EveryLineMaskedTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    PlayingDevices m_devices;
    std::unique_ptr<EveryLine> m_capture;
    std::unique_ptr<NativeWebView> m_view;
    AspectRatioWindowController* m_window = nullptr;
    QString m_logFile;
    TestHttpServer m_service;
    TestHttpServer m_store;

    std::unique_ptr<KXNetworkManager> network() {
        KXNetworkManager::Configuration configuration;
        configuration.apiBaseUrl = m_service.baseUrl();
        return std::make_unique<KXNetworkManager>(configuration, [] {
            return UserCredentials{QStringLiteral("u41"), QStringLiteral("t41")};
        });
    }

    // The store's signed upload answers 403 with its canonical request.
    std::unique_ptr<FileUploader> uploader() {
        FileUploader::Configuration configuration;
        configuration.storeAddress =
            QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_store.port()));
        auto uploader = std::make_unique<FileUploader>(configuration);
        uploader->setAuthDomain(m_service.baseUrl().toString());
        uploader->setCredentialConfig(OBSConfig{
            QStringLiteral("AKID-door6"), QStringLiteral("SK-door6"), QStringLiteral("bkt"),
            std::nullopt, QStringLiteral("obs.example.com"), QStringLiteral("STS-door6"), 3600,
            QDateTime::currentSecsSinceEpoch() + 3600});
        return uploader;
    }

    void post(const QString& script) { evaluate(m_view->page(), script); }

    // Each address (path and query, escapes kept) asked of a loopback server of its own.
    void askLoopbackServer(const QList<QByteArray>& addresses) {
        // The server may raise the descriptor limit; it is the process's own again after.
        ProcessSettingsRestorer descriptorLimit;
        descriptorLimit.saveLimit(RLIMIT_NOFILE);
        SettingsManager settings(m_home.filePath(QStringLiteral("settings.ini")));
        settings.set(QString::number(freePort()), SettingKey::screenshotHttpPort);
        LocalImageServer server(settings);
        server.start();
        QVERIFY(server.isRunning());
        QNetworkAccessManager client;
        for (const QByteArray& address : addresses) {
            std::unique_ptr<QNetworkReply> reply(client.get(QNetworkRequest(QUrl::fromEncoded(
                "http://127.0.0.1:" + QByteArray::number(server.port()) + address))));
            QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 15000);
        }
        server.stop();
    }

    // A file's upload and the log files' upload, both refused by the store with `body`.
    void uploadsRefusedWith(const QByteArray& body, const QString& fileName) {
        m_store.setReplies({TestHttpServer::Reply{403, body, {}, 0}});
        m_service.setReplies({json(R"({"code":0,"msg":"ok"})")});
        const auto store = uploader();
        const auto api = network();
        const QString file = m_home.filePath(fileName);
        QFile chosen(file);
        QVERIFY(chosen.open(QIODevice::WriteOnly) && chosen.write("six") == 3);
        chosen.close();
        MultiFileUploadManager queue(*store, *api);
        queue.addFiles({SelectedUploadFile{QUrl::fromLocalFile(file), QStringLiteral("u6"), 3,
                                           FileType::all}});
        expectPrinted(QStringLiteral("❌ [%1] 上传失败: ").arg(fileName));
        if (QTest::currentTestFailed()) {
            return;
        }
        LogMessageHandler::appendLocalLog(fileName);
        LogMessageHandler logs(LogMessageHandler::Environment{[&store] { return store.get(); },
                                                              &Native2WebMessageSender::shared()});
        logs.handle(
            Web2NativeMessage{QStringLiteral("request-upload-log"), std::nullopt, QJsonObject()});
        expectPrinted(QStringLiteral("requestUploadLog: 上传失败"));
    }

    // On the page's console, and through "write-local-log" into the page's log file.
    void writeFromThePage(const QString& text) {
        post(QStringLiteral("console.error(%1); nativeBridge.post('write-local-log', {msg: %1});")
                 .arg(jsString(text)));
        expectPrinted(QStringLiteral("📝 写入日志: "));
        expectPrinted(QStringLiteral("js: ") + text.left(4));
    }

    void open(Door door) {
        switch (door) {
            case storeCredentialReply: {
                // The credential reply's "data" is JSON text, so it does not decode.
                m_service.setReplies({json(
                    "{\"code\":0,\"msg\":\"ok\",\"data\":\"{\\\"ak\\\":\\\"AK-door1\\\",\\\"sk\\\":"
                    "\\\"SK-door1\\\","
                    "\\\"token\\\":\\\"ST-door1\\\",\\\"accessKey\\\":\\\"AX-door1\\\"}\"}")});
                auto store = uploader();
                store->setCredentialConfig(std::nullopt);
                bool done = false;
                store->updateAuthCredentialIfNeeded([&done] { done = true; });
                QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
                return;
            }
            case jsonTextInJsonText: {
                const QString login = compact(
                    QJsonObject{{"uid", "u1"},
                                {"token", "T-door2"},
                                {"extra", compact(QJsonObject{{"accessToken", "SECRET-door2"}})}});
                const QString frontend =
                    compact(QJsonObject{{"user", compact(QJsonObject{{"token", "U-door2"},
                                                                     {"phone", "13800000002"}})}});
                post(
                    QStringLiteral("nativeBridge.post('set', {key: 'kxsdk-login-info', value: %1});"
                                   "nativeBridge.post('set', {key: 'frontend-new-login-info', "
                                   "value: %2});"
                                   "ask('kxsdk-login-info'); ask('frontend-new-login-info');")
                        .arg(jsString(login), jsString(frontend)));
                expectPrinted(QStringLiteral("✅ 消息发送成功: [\"requestid\""), 2);
                if (QTest::currentTestFailed()) {
                    return;
                }
                // The page itself gets the value whole.
                QCOMPARE(evaluate(m_view->page(), "window.answers['frontend-new-login-info']")
                             .toString(),
                         frontend);
                m_service.setReplies({json(
                    R"({"code":0,"msg":"ok","data":{"note":)"
                    "\"{\\\"sign\\\":\\\"S-door2\\\",\\\"mobile\\\":\\\"13900000002\\\"}\"}}")});
                const auto api = network();
                bool done = false;
                api->request<KXAPIResponse<EmptyResponse>>(
                    XDYGlobalAPI::fileCheck(QStringLiteral("d41d")), std::nullopt,
                    [&done](auto) { done = true; });
                QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
                return;
            }
            case addresses: {
                post(QStringLiteral(
                    "nativeBridge.post('write-local-log', {msg: 'open https://x/a?token=T-door3&"
                    "sign=S-door3#access_token=A-door3&token=F-door3'});"));
                expectPrinted(QStringLiteral("📝 写入日志: "));
                if (QTest::currentTestFailed()) {
                    return;
                }
                askLoopbackServer({"/screenshot?deviceId=1&token=L-door3"});
                return;
            }
            case bodiesThatAreNotJson:
                for (const QString& body :
                     {QStringLiteral("type=get&token=Q-door4"),
                      QStringLiteral("{'type':'set','data':{'key':'account-user_token','value':"
                                     "'V-door4'}}"),
                      QStringLiteral("{\"type\":\"set\",\"data\":{\"key\":\"login-usertoken\","
                                     "\"value\":B-door4}}")}) {
                    post(QStringLiteral("postText(%1);").arg(jsString(body)));
                }
                expectPrinted(QStringLiteral("❌ 消息解析失败: "), 3);
                return;
            case keysThatMatchedNothing: {
                DeviceTextInput* input = m_window->input().deviceTextInput();
                QTest::keyClick(input, Qt::Key_Q, Qt::ShiftModifier);
                QTest::keyClick(input, Qt::Key_Return);
                QTest::keyClick(input, Qt::Key_F);
                return;
            }
            case storeSignatureError:
                uploadsRefusedWith(kSignatureError, QStringLiteral("door6.txt"));
                return;
            case pageConsole:
                post(QStringLiteral(
                    "console.warn('login ok ' + JSON.stringify({token: 'JSTOK1', phone: "
                    "'13800000091'})); console.error('Authorization: Bearer JSTOK5');"));
                expectPrinted(QStringLiteral("js: Authorization: "));
                return;
            case qtWarning:
                qWarning("session renewed, token=%s", "QTTOK1");
                return;
            case requestsWritingLines:
                askLoopbackServer({"/screenshot?deviceId=1%0A" + QUrl::toPercentEncoding(kForged) +
                                       "%0D%0A" + QUrl::toPercentEncoding(kForged),
                                   "/screenshot?deviceId=%1B%5D0;pwned%07%1B%5B2J%C2%9B1m"});
                return;
            case headersHashesAndAttributes:
                for (const QString& text :
                     {QStringLiteral("Set-Cookie: SESSION=SC-door10; Path=/"),
                      QStringLiteral("Proxy-Authorization: Basic PA-door10"),
                      QStringLiteral("{\"token\"=>\"H1-door10\"} token=>H2-door10 "
                                     "token\\u003dH3-door10&x=1"),
                      QStringLiteral("<Token type=\"x\">X1-door10</Token>")}) {
                    post(QStringLiteral("nativeBridge.post('write-local-log', {msg: %1});")
                             .arg(jsString(text)));
                }
                expectPrinted(QStringLiteral("📝 写入日志: "), 4);
                return;
            case storeRefusedArgument:
                uploadsRefusedWith(kRefusedArgument, QStringLiteral("door11.txt"));
                return;
            case escapedQuery:
            case escapedJson:
            case escapedTwice:
            case listOfNamesAndValues:
            case phoneInGroups:
            case escapedQuotes:
            case formBlanks:
            case pairsAndLetterCase:
            case digitsInWideGroups:
                writeFromThePage(kPageTexts[door - escapedQuery]);
                return;
            case unicodeControls:
                writeFromThePage(kPageTexts[door - escapedQuery]);
                askLoopbackServer({"/screenshot?deviceId=" +
                                   QUrl::toPercentEncoding(kPageTexts[door - escapedQuery])});
                return;
            case openQuoteInSentScript:
                // The reply carries the request's id back in the "📤" script.
                post(
                    QStringLiteral("nativeBridge.post('get', {key: 'lang', requestid: "
                                   "'x {\"token\":\"y'});"));
                expectPrinted(QStringLiteral("📤 发送消息到 Web: response-mac-get"));
                return;
            case arabicLetterMark:
                writeFromThePage(kArabicLetterMarkText);
                askLoopbackServer(
                    {"/screenshot?deviceId=" + QUrl::toPercentEncoding(kArabicLetterMarkText)});
                return;
            case prettyPrintedJson:
                // One message over several lines, as JSON.stringify(value, null, 2) writes it.
                post(QStringLiteral(
                    "(function () {"
                    "    const login = 'login ' + JSON.stringify({token: {value: 'PPTOK1', "
                    "expiresIn: 7200}, uid: 'u1', cookie: [{name: 'SESSION', value: 'PPTOK2'}]}, "
                    "null, 2);"
                    "    console.error(login);"
                    "    nativeBridge.post('write-local-log', {msg: login});"
                    "})();"));
                expectPrinted(QStringLiteral("📝 写入日志: login {"));
                expectPrinted(QStringLiteral("js: login {"));
                return;
        }
    }

private Q_SLOTS:
    void initTestCase() {
        m_capture = std::make_unique<EveryLine>();
        m_logFile = EveryLine::logToFileIn(m_home.path());
        QDir(LogMessageHandler::logFolderPath()).removeRecursively();
        QVERIFY(m_devices.setUp());
        m_view = std::make_unique<NativeWebView>();
        loadOwnPage(*m_view, m_home.path(), kPage);

        m_window = PlayingDevices::openActive(kDevice);
        QVERIFY(m_window);
        KeyMappingItem fire(KeyMappingType::tap, QPointF(0.5, 0.5));
        fire.windowsKey = 'F';
        fire.keyCode = WindowsKeyTable::windowsKeyName('F').macKeyCode;
        fire.keyDisplayName = QStringLiteral("F");
        m_window->keyMappingViewModel().appliedKeyMappings = {fire};
    }

    void cleanupTestCase() {
        PlayingDevices::closeAll();
        m_view.reset();
        FileLogger::shared().setup(std::nullopt);
        m_capture.reset();
        PlayingDevices::tearDown();
    }

    // Qt's information lines (the web engine's report of its set-up at its start among them)
    // are in the log file only.
    void qtInformationIsInTheLogFileOnly() {
        qInfo("qt information for the log file");
        QVERIFY(fileText(m_logFile).contains(QStringLiteral("qt information for the log file")));
        QVERIFY(fileText(m_logFile).contains(QStringLiteral("qt.webenginecontext: ")));
        QVERIFY(EveryLine::lines().filter(QStringLiteral("qt information")).isEmpty());
        QVERIFY(EveryLine::lines().filter(QStringLiteral("qt.webenginecontext")).isEmpty());
    }

    void doorShowsNoValue_data() {
        QTest::addColumn<int>("door");
        QTest::addColumn<QStringList>("values");
        // Lines that carried them, in part, on the console and in the page's log file.
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("pageLines");
        QTest::newRow("1 store credential reply as JSON text")
            << int(storeCredentialReply)
            << QStringList{"AK-door1", "SK-door1", "ST-door1", "AX-door1"}
            << QStringList{
                   "OBS配置原始响应: {\"code\":0,\"msg\":\"ok\",\"data\":\"{\\\"ak\\\":"
                   "\\\"***\\\""}
            << QStringList{};
        QTest::newRow("2 JSON text inside JSON text")
            << int(jsonTextInJsonText) << QStringList{"T-door2",     "SECRET-door2", "U-door2",
                                                      "13800000002", "S-door2",      "13900000002"}
            << QStringList{"type:set data: [\"key\": \"kxsdk-login-info\"",
                           "⚙️ 设置: frontend-new-login-info = ",
                           "📤 发送消息到 Web: response-mac-get data:(function() {",
                           "✅ 消息发送成功: [\"requestid\": ", "📄 Response Body: {\"code\":0"}
            << QStringList{};
        QTest::newRow("3 addresses")
            << int(addresses) << QStringList{"T-door3", "S-door3", "A-door3", "F-door3", "L-door3"}
            << QStringList{"📝 写入日志: open https://x/a?token=***&sign=***#access_token=***",
                           "type:write-local-log data: [\"msg\": \"open https://x/a?",
                           "📥 收到请求: GET /screenshot?deviceId=1&token=***"}
            << QStringList{" open https://x/a?token=***&sign=***#access_token=***&token=***\n"};
        QTest::newRow("4 bodies that are not JSON")
            << int(bodiesThatAreNotJson) << QStringList{"Q-door4", "V-door4", "B-door4"}
            << QStringList{"❌ 消息解析失败: type=get&token=***",
                           "❌ 消息解析失败: {'type':'set','data':{'key':'account-user_token',"
                           "'value':'***'}}",
                           "❌ 消息解析失败: "
                           "{\"type\":\"set\",\"data\":{\"key\":\"login-usertoken\","
                           "\"value\":\"***\"}}"}
            << QStringList{};
        // Shift (56, 16), Q (12, 81) and Return (36, 13) told nothing; F of the plan did.
        QTest::newRow("5 keys that matched nothing")
            << int(keysThatMatchedNothing)
            << QStringList{"eventKeyCode=56", "eventWindowsKey=16", "characters=Q",
                           "characters=q",    "eventKeyCode=12",    "eventWindowsKey=81",
                           "eventKeyCode=36", "eventWindowsKey=13", "characters=\r"}
            << QStringList{
                   "[KEYMAPPING] keyEvent characters=*** eventKeyCode=*** "
                   "eventWindowsKey=*** matched=false",
                   "[KEYMAPPING] keyEvent characters=f eventKeyCode=3 eventWindowsKey=70 "
                   "matched=true mappingKey=F"}
            << QStringList{};
        QTest::newRow("6 store's signature error")
            << int(storeSignatureError)
            << QStringList{"AKID-door6", "SK-door6", "STS-door6", "SIG-door6",
                           "53 54 53 2d 64 6f 6f 72 36"}
            << QStringList{"❌ [door6.txt] 上传失败: 上传失败 (HTTP 403): <?xml",
                           "requestUploadLog: 上传失败 (HTTP 403): <?xml",
                           "<AWSAccessKeyId>***</AWSAccessKeyId>", "x-amz-security-token:***\\n"}
            << QStringList{};
        QTest::newRow("7 page's console")
            << int(pageConsole) << QStringList{"JSTOK1", "13800000091", "JSTOK5"}
            << QStringList{"[WARN][WEB] NativeWebPage.cpp:",
                           "js: login ok {\"token\":\"***\",\"phone\":\"***\"}",
                           "[ERROR][WEB] NativeWebPage.cpp:", "js: Authorization: ***"}
            << QStringList{};
        QTest::newRow("8 Qt's warning")
            << int(qtWarning) << QStringList{"QTTOK1"} << QStringList{"session renewed, token=***"}
            << QStringList{};
        QTest::newRow("9 requests writing lines of their own")
            << int(requestsWritingLines) << QStringList{}
            << QStringList{"🔍 请求图片 ID: 1\\n" + kForged + "\\r\\n" + kForged,
                           "🔍 请求图片 ID: \\x1b]0;pwned\\x07\\x1b[2J\\x9b1m"}
            << QStringList{};
        QTest::newRow("10 headers, hashes and attributes")
            << int(headersHashesAndAttributes) << QStringList{"SC-door10", "PA-door10", "H1-door10",
                                                              "H2-door10", "H3-door10", "X1-door10"}
            << QStringList{"📝 写入日志: Set-Cookie: ***", "📝 写入日志: Proxy-Authorization: ***",
                           "📝 写入日志: {\"token\"=>\"***\"} token=>*** token\\u003d***&x=1",
                           "📝 写入日志: <Token type=\"x\">***</Token>"}
            << QStringList{" Set-Cookie: ***\n"};
        QTest::newRow("11 store's refused argument")
            << int(storeRefusedArgument) << QStringList{"TK-door11", "AV-door11"}
            << QStringList{"❌ [door11.txt] 上传失败: 上传失败 (HTTP 403): <?xml",
                           "requestUploadLog: 上传失败 (HTTP 403): <?xml",
                           "<Token-0>***</Token-0><ArgumentName>x-amz-security-token</"
                           "ArgumentName><ArgumentValue>***</ArgumentValue>"}
            << QStringList{};
        QTest::newRow("12 a query inside a query parameter")
            << int(escapedQuery) << QStringList{"ENCTOKA1", "13800000021"}
            << QStringList{
                   "js: redirect_uri=https%3A%2F%2Fapp.example%2Fhome%3Ftoken%3D***%26"
                   "phone%3D***"}
            << QStringList{" redirect_uri=https%3A%2F%2Fapp.example%2Fhome%3Ftoken%3D***%26"
                           "phone%3D***\n"};
        QTest::newRow("13 JSON text in a form field")
            << int(escapedJson) << QStringList{"ENCTOKB2", "13800000022"}
            << QStringList{"js: form data=%7B%22token%22%3A%22***%22%2C%22phone%22%3A%22***%22%7D",
                           "📝 写入日志: form data=%7B%22token%22%3A%22***%22%2C%22phone%22"}
            << QStringList{};
        QTest::newRow("14 escaped once and twice")
            << int(escapedTwice) << QStringList{"ENCTOK3", "ENCTOK4"}
            << QStringList{"js: next=%2Fhome%3Fsign%3D*** back=%2Fa%3Ftoken%253D***%2526x%253D1"}
            << QStringList{" next=%2Fhome%3Fsign%3D*** back=%2Fa%3Ftoken%253D***%2526x%253D1\n"};
        QTest::newRow("15 a list of names and values")
            << int(listOfNamesAndValues) << QStringList{"NVTOKA1", "13800000031", "NVTOKB2"}
            << QStringList{R"(js: cookies [{"name":"token","value":"***"},{"name":"phone","value":"***"},)"
                           R"({"value":"***","attrs":{"path":"/"},"name":"token"}])"}
            << QStringList{
                   R"( cookies [{"name":"token","value":"***"},{"name":"phone","value":"***"},)"};
        QTest::newRow("16 a phone number in groups")
            << int(phoneInGroups) << QStringList{"138 0000", "0000 0032", "0000%200033"}
            << QStringList{"js: phone: *** saved r=%2Fa%3Fphone%3D***"}
            << QStringList{" phone: *** saved r=%2Fa%3Fphone%3D***\n"};
        const QString shown = QString::fromUtf16(u"设备🙂 A\\u2028") + kForged +
                              QStringLiteral("\\u2029B \\u202eevil\\u2066x\\u2069");
        QTest::newRow("17 Unicode's line separators and marks of direction")
            << int(unicodeControls) << QStringList{}
            << QStringList{"js: " + shown, "📝 写入日志: " + shown, "🔍 请求图片 ID: " + shown}
            << QStringList{" " + shown + "\n"};
        QTest::newRow("18 quotes written \\u0022 and %5C%22, escapes three deep")
            << int(escapedQuotes) << QStringList{"QUTOK1", "QUTOK2", "QUTOK3"}
            << QStringList{R"(js: reply {"data":"{\u0022token\u0022:\u0022***\u0022}"} )",
                           "%5C%22sign%5C%22%3A%5C%22***%5C%22%7D%22%7D "
                           "next=%2Fh%3Ftoken%25253D***"}
            << QStringList{};
        QTest::newRow("19 a form's blanks") << int(formBlanks) << QStringList{"PLTOK1", "PLTOK2"}
                                            << QStringList{
                                                   "js: form data=%7B%22token%22%3A+%22***%22%7D "
                                                   "d=%7B%22sign%22%20%3A%20%22***%22%7D"}
            << QStringList{};
        QTest::newRow("20 pairs, letter case, an object between a name and its value")
            << int(pairsAndLetterCase)
            << QStringList{"PRTOK1", "PRTOK2", "PRTOK3", "PRTOK4", "PRTOK5", "PRTOK6"}
            << QStringList{R"(js: pairs [["authorization","***"],["token","***"]] {"Name":"token",)"}
            << QStringList{R"( pairs [["authorization","***"],["token","***"]] {"Name")"};
        QTest::newRow("21 digits grouped by wide spaces; what follows a whole number shown")
            << int(digitsInWideGroups) << QStringList{"0051", "0052", "0053", "044X", "13800000054"}
            << QStringList{
                   "js: phone: *** mobile: *** phone: *** idcard: *** phone: *** 10054 "
                   "2026-12-10"}
            << QStringList{};
        QTest::newRow("22 an open quote in the sent script")
            << int(openQuoteInSentScript) << QStringList{}
            << QStringList{
                   "\n        return null;\n    }\n    console.warn('[NativeBridge] "
                   "receiveNativeMessage is unavailable');"}
            << QStringList{};
        QTest::newRow("23 the Arabic letter mark")
            << int(arabicLetterMark) << QStringList{}
            << QStringList{"js: 100 \\u061c200 300", "🔍 请求图片 ID: 100 \\u061c200 300"}
            << QStringList{" 100 \\u061c200 300\n"};
        const QString login = QStringLiteral(
            R"(login {\n  "token": {\n    "value": "***",\n    "expiresIn": "***"\n  },\n  "uid": )"
            R"("u1",\n  "cookie": [\n    {\n      "name": "***",\n      "value": "***"\n    }\n  ]\n})");
        QTest::newRow("24 pretty-printed JSON in one console message")
            << int(prettyPrintedJson) << QStringList{"PPTOK1", "PPTOK2"}
            << QStringList{"js: " + login, "📝 写入日志: " + login}
            << QStringList{" " + login + "\n"};
    }
    void doorShowsNoValue() {
        QFETCH(int, door);
        QFETCH(QStringList, values);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, pageLines);
        EveryLine::clear();
        open(static_cast<Door>(door));
        if (QTest::currentTestFailed()) {
            return;
        }
        const QString console = EveryLine::lines().join(QLatin1Char('\n'));
        const QString pageLog = folderText(LogMessageHandler::logFolderPath());
        const std::array<std::pair<QString, QString>, 3> sinks = {{
            {QStringLiteral("the console"), console},
            {QStringLiteral("the log file"), fileText(m_logFile)},
            {QStringLiteral("the page's log file"), pageLog},
        }};
        for (const auto& [sink, text] : sinks) {
            for (const QString& value : values) {
                QVERIFY2(!text.contains(value),
                         qPrintable(QStringLiteral("%1 in %2:\n%3")
                                        .arg(value, sink, linesHolding(text, value))));
            }
            // One line stays one line, and no line tells the terminal anything.
            const QString forged = QLatin1Char('\n') + kForged;
            for (const QString& shown :
                 {QString(QChar(0x1b)), QString(QChar(0x9b)), forged, QStringLiteral("\r")}) {
                QVERIFY2(!text.contains(shown) && !text.startsWith(kForged),
                         qPrintable(QStringLiteral("a line of its own or a control in %1:\n%2")
                                        .arg(sink, linesHolding(
                                                       text, shown == forged ? kForged : shown))));
            }
            for (const QChar control : kFormatControls) {
                QVERIFY2(!text.contains(control),
                         qPrintable(QStringLiteral("U+%1 in %2:\n%3")
                                        .arg(QString::number(control.unicode(), 16), sink,
                                             linesHolding(text, control))));
            }
        }
        for (const QString& line : lines) {
            QVERIFY2(console.contains(line),
                     qPrintable(line + QStringLiteral("\nnot on the console, which held:\n") +
                                linesHolding(console, line.left(6))));
        }
        for (const QString& line : pageLines) {
            QVERIFY2(
                pageLog.contains(line),
                qPrintable(line + QStringLiteral("\nnot in the page's log file, which ends:\n") +
                           pageLog.right(2000)));
        }
    }
};

QTEST_MAIN(EveryLineMaskedTest)
#include "tst_EveryLineMasked.moc"
