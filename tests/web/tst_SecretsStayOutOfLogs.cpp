// One sitting as a user has it: the client's own page stores and reads back a token, the sign-in
// record and personal fields, keeps a protected value, registers and opens a device with its
// credentials, and pastes text to it; the user types into the device window, presses a mapped
// key and pastes the clipboard. Afterwards none of those values is in any console line, system
// log line or log file, while every line that carried them is still there in its shape.
#include "../devicewindow/PlayingDevices.h"
#include "../support/EveryLine.h"
#include "OwnPage.h"

#include "devicewindow/DeviceTextInput.h"
#include "devicewindow/DeviceWindowInput.h"
#include "foundation/storage/DocumentsRoot.h"
#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/WindowsKeyTable.h"

#include <QClipboard>
#include <QDirIterator>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString kUserToken = QStringLiteral("TOKEN-user-5b1f");
const QString kLoginToken = QStringLiteral("TOKEN-login-77c2");
const QString kLoginSign = QStringLiteral("SIGN-login-90ad");
const QString kPhone = QStringLiteral("13912345678");
const QString kRealName = QStringLiteral("欧阳明月");
const QString kCardID = QStringLiteral("110101199003071234");
const QString kPageToken = QStringLiteral("TOKEN-page-3e6a");
const QString kProtected = QStringLiteral("PROTECTED-pin-4410");
const QString kDeviceToken = QStringLiteral("TOKEN-device-c0de");
const QString kAuthParams = QStringLiteral("AUTH-params-e5f6");
const QString kComposed = QStringLiteral("composed-7e7e");
const QString kClipboard = QStringLiteral("CLIP-board-8d8d");
const QString kPasted = QStringLiteral("PASTE-page-1a2b");
constexpr qint64 kDevice = 31;

// The client's own page; a protected value it gets back is decrypted and kept.
const QByteArray kPage = ownPageHtml(
    "nativeBridge.on('encrypt', function (token) {\n"
    "    nativeBridge.post('decrypt', {data: token}, 'dec-1');\n"
    "    return true;\n"
    "});\n"
    "nativeBridge.on('decrypt', function (value) { window.answers.protected = value; return true; "
    "});\n");

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList textsSentTo(qint64 id) {
    simulated(id)->drain();
    QStringList sent;
    for (const DeviceControl& control : simulated(id)->controls()) {
        if (control.kind == DeviceControl::Kind::text ||
            control.kind == DeviceControl::Kind::clipboard) {
            sent << control.text.value_or(QString());
        }
    }
    return sent;
}

}  // namespace

class SecretsStayOutOfLogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    PlayingDevices m_devices;
    std::unique_ptr<EveryLine> m_capture;
    QString m_logFile;
    // What was printed and written: the lines, then each log file's whole text.
    QString m_everything;
    QStringList m_lines;

    // The page's part: settings stored and read back, a protected value kept and read back, a
    // device registered and opened with its credentials.
    void usePage(NativeWebView& view) {
        const QJsonObject record{{"uid", "u31"},    {"token", kLoginToken},  {"sign", kLoginSign},
                                 {"phone", kPhone}, {"realname", kRealName}, {"cardID", kCardID}};
        const QString recordText =
            QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
        evaluate(view.page(),
                 QStringLiteral("nativeBridge.post('set', {key: 'account-user_token', value: %1});"
                                "nativeBridge.post('set', {key: 'kxsdk-login-info', value: %2});"
                                "nativeBridge.post('set', {key: 'login-usertoken', value: %3});"
                                "ask('account-user_token'); ask('kxsdk-login-info');"
                                "ask('login-usertoken');"
                                "nativeBridge.post('encrypt', {data: %4}, 'enc-1');")
                     .arg(jsString(kUserToken), jsString(recordText), jsString(kPageToken),
                          jsString(kProtected)));
        // The page itself gets every value whole.
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(view.page(), "JSON.stringify(window.answers)").toString(),
            QString::fromUtf8(QJsonDocument(QJsonObject{{"account-user_token", kUserToken},
                                                        {"kxsdk-login-info", recordText},
                                                        {"login-usertoken", kPageToken},
                                                        {"protected", kProtected}})
                                  .toJson(QJsonDocument::Compact)),
            15000);

        evaluate(view.page(),
                 QStringLiteral("nativeBridge.post('add-cloundphone', {userInfo: "
                                "{uid: 'u31', token: %1}, deviceArr: [{deviceid: %2}]})")
                     .arg(jsString(kDeviceToken))
                     .arg(kDevice));
        QTRY_VERIFY_WITH_TIMEOUT(communicator().isDeviceAdded(QString::number(kDevice)), 15000);
        evaluate(view.page(),
                 QStringLiteral("nativeBridge.post('cloudphone-open', {deviceId: %1, devicename: "
                                "'P31', auth_params: %2, userInfo: {uid: 'u31', token: %3}})")
                     .arg(kDevice)
                     .arg(jsString(kAuthParams), jsString(kDeviceToken)));
    }

    // The user's part in the device window: keys typed (text), a key of the applied plan (a
    // game control), text composed by an input method, and the clipboard pasted.
    static void useDeviceWindow(AspectRatioWindowController* window) {
        KeyMappingItem fire(KeyMappingType::tap, QPointF(0.5, 0.5));
        fire.windowsKey = 'Q';
        fire.keyCode = WindowsKeyTable::windowsKeyName('Q').macKeyCode;
        fire.keyDisplayName = QStringLiteral("Q");
        window->keyMappingViewModel().appliedKeyMappings = {fire};

        DeviceTextInput* input = window->input().deviceTextInput();
        QTest::keyClicks(input, QStringLiteral("hunter2"));
        QTest::keyClick(input, Qt::Key_Q);
        QInputMethodEvent composed;
        composed.setCommitString(kComposed);
        QCoreApplication::sendEvent(input, &composed);
        QGuiApplication::clipboard()->setText(kClipboard);
        QTest::keyClick(input, Qt::Key_V, Qt::ControlModifier);
    }

private Q_SLOTS:
    void initTestCase() {
        m_capture = std::make_unique<EveryLine>();
        m_logFile = EveryLine::logToFileIn(m_home.path());
        QVERIFY(m_devices.setUp());

        NativeWebView view;
        loadOwnPage(view, m_home.path(), kPage);
        usePage(view);
        QTRY_COMPARE_WITH_TIMEOUT(WindowManager::shared().windows().size(), 1, 15000);
        AspectRatioWindowController* window = WindowManager::shared().windows().first();
        QVERIFY(PlayingDevices::waitForFirstFrame(window));
        WindowActiveManager::shared().setActiveDevice(kDevice);
        simulated(kDevice)->clearRecords();
        useDeviceWindow(window);
        evaluate(view.page(),
                 QStringLiteral("nativeBridge.post('request-paste-to-cloudphone', {content: [%1], "
                                "deviceArr: [{id: %2}], type: 'paste-all'})")
                     .arg(jsString(kPasted))
                     .arg(kDevice));
        // Everything reached the device unchanged: the keys one by one, the mapped key as a touch.
        QTRY_COMPARE_WITH_TIMEOUT(textsSentTo(kDevice),
                                  (QStringList{"h", "u", "n", "t", "e", "r", "2", kComposed,
                                               kClipboard, kClipboard, kPasted}),
                                  15000);

        PlayingDevices::closeAll();
        FileLogger::shared().setup(std::nullopt);
        m_capture.reset();
        m_lines = EveryLine::lines();
        m_everything = m_lines.join('\n') + fileText(m_logFile);
        QDirIterator logs(QDir(documentsRootPath()).filePath(QStringLiteral("videoLogs")),
                          QDir::Files, QDirIterator::Subdirectories);
        while (logs.hasNext()) {
            m_everything += fileText(logs.next());
        }
        QVERIFY(fileText(m_logFile).contains(QStringLiteral("type:set data: ")));
    }

    void cleanupTestCase() { PlayingDevices::tearDown(); }

    void noValueIsShown_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("user token setting") << kUserToken;
        QTest::newRow("sign-in record's token") << kLoginToken;
        QTest::newRow("sign-in record's sign") << kLoginSign;
        QTest::newRow("phone") << kPhone;
        QTest::newRow("real name") << kRealName;
        QTest::newRow("ID-card number") << kCardID;
        QTest::newRow("token setting of the page") << kPageToken;
        QTest::newRow("protected value") << kProtected;
        QTest::newRow("token a device is added with") << kDeviceToken;
        QTest::newRow("device auth params") << kAuthParams;
        QTest::newRow("typed keys") << QStringLiteral("hunter");
        QTest::newRow("composed text") << kComposed;
        QTest::newRow("clipboard pasted in the window") << kClipboard;
        QTest::newRow("text the page pastes") << kPasted;
    }
    void noValueIsShown() {
        QFETCH(QString, value);
        const QStringList showing = m_lines.filter(value);
        QVERIFY2(showing.isEmpty(), qPrintable(showing.join('\n')));
        QVERIFY(!m_everything.contains(value));
    }

    void everyLineKeepsItsShape_data() {
        QTest::addColumn<QString>("pattern");
        const QString mask = QRegularExpression::escape(QStringLiteral("***"));
        // The script's lines are lines of their own.
        QTest::newRow("reply script of a secret setting")
            << "^ {8}window\\.receiveNativeMessage\\('.*\"value\":\"" + mask +
                   "\"},\"type\":\"response-mac-get\"";
        QTest::newRow("reply script of the sign-in record")
            << "^ {8}window\\.receiveNativeMessage\\('.*token[\\\\\"]+:[\\\\\"]+" + mask +
                   ".*\"type\":\"response-mac-get\"";
        QTest::newRow("reply sent, secret setting")
            << "^✅ 消息发送成功: \\[\"requestid\": \"get-\\d+\", \"value\": \"" + mask + "\"\\]$";
        QTest::newRow("reply sent, sign-in record")
            << "^✅ 消息发送成功: \\[\"requestid\": \"get-\\d+\", \"value\": \".*\"phone\":\"" +
                   mask;
        QTest::newRow("protected value sent back") << "^✅ 消息发送成功: \"" + mask + "\"$";
        QTest::newRow("setting line, token") << "^⚙️ 设置: account-user_token = \"" + mask;
        QTest::newRow("setting line, sign-in record")
            << "^⚙️ 设置: kxsdk-login-info = \".*\"realname\":\"" + mask + "\".*\"sign\":\"" +
                   mask;
        QTest::newRow("dispatch line")
            << "\\[INFO\\]\\[WEB\\].*type:encrypt data: \\[\"data\": \"" + mask;
        QTest::newRow("device credentials") << "^  认证参数: " + mask + "$";
        QTest::newRow("user of a device")
            << "^  用户信息: \\[\"token\": \"" + mask + "\", \"uid\": \"u31\"\\]$";
        QTest::newRow("typed text to the device")
            << "^CloudPhoneCommunicator\\.sendText\\(_:toDevice:\\)\\.文本:<1 chars>,到设备:31$";
        QTest::newRow("composed text to the device")
            << "^CloudPhoneCommunicator\\.sendText\\(_:toDevice:\\)\\.文本:<13 chars>,到设备:31$";
        QTest::newRow("pasted text to the device")
            << "^CloudPhoneCommunicator\\.copyTextToPasteboard\\(_:toDevice:\\)\\.文本:<15 "
               "chars>,到设备:31$";
        QTest::newRow("key of no mapping") << "^\\[KEYMAPPING\\] keyEvent characters=" + mask +
                                                  " eventKeyCode=" + mask +
                                                  " eventWindowsKey=" + mask + " matched=false$";
        QTest::newRow("key of the plan")
            << "^\\[KEYMAPPING\\] keyEvent characters=q eventKeyCode=\\d+ eventWindowsKey=81 "
               "matched=true mappingKey=Q mappingMacKeyCode=\\d+ mappingWindowsKey=81 ";
        QTest::newRow("key pressed in the text input")
            << "⌨️ keyDown 被调用 - keyCode: " + mask + "$";
        QTest::newRow("typed text in the window") << "^✅ insertText: '<13 chars>' \\| 总内容: '";
    }
    void everyLineKeepsItsShape() {
        QFETCH(QString, pattern);
        const QRegularExpression expression(pattern,
                                            QRegularExpression::DotMatchesEverythingOption);
        QVERIFY(expression.isValid());
        QVERIFY2(!m_lines.filter(expression).isEmpty(), qPrintable(pattern));
    }
};

QTEST_MAIN(SecretsStayOutOfLogsTest)
#include "tst_SecretsStayOutOfLogs.moc"
