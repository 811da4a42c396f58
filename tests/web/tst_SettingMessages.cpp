#include "SessionTestSupport.h"
#include "WebTestSupport.h"

#include "api/CDYUserTool.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/settings/LanguageManager.h"
#include "foundation/storage/SecureStorageManager.h"
#include "session/StoredUserIdentityProvider.h"
#include "web/LoginRecordDecoder.h"
#include "web/SettingMessageHandler.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTest>

namespace {

// {"key": key} plus "value" unless the value text is empty; the value text is JSON.
Web2NativeMessage setMessage(const QString& key, const QString& valueJson) {
    QJsonObject data{{QStringLiteral("key"), key}};
    if (!valueJson.isEmpty()) {
        data.insert(QStringLiteral("value"),
                    QJsonDocument::fromJson(("[" + valueJson + "]").toUtf8()).array().first());
    }
    return Web2NativeMessage{QStringLiteral("set"), std::nullopt, data};
}

Web2NativeMessage getMessage(const QString& type, const QJsonObject& data) {
    return Web2NativeMessage{type, QStringLiteral("envelope-id"), data};
}

}  // namespace

class SettingMessagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SessionBench> m_bench;
    std::unique_ptr<SecureStorageManager> m_storage;
    std::unique_ptr<NotificationCenter> m_center;
    std::unique_ptr<CDYUserTool> m_users;
    std::unique_ptr<LanguageManager> m_language;
    std::unique_ptr<SettingMessageHandler> m_handler;
    std::unique_ptr<LineCapture> m_lines;
    bool m_inspectorEnabled = true;
    QList<std::pair<QJsonValue, QString>> m_replies;
    QStringList m_posted;

    SettingsManager& settings() { return *m_bench->settings; }
    bool warned(const QString& prefix) const { return m_lines->loggedStartingWith(prefix); }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        m_bench = std::make_unique<SessionBench>();
        SecureStorageManager::Environment storage;
        storage.applicationSupportDirectory = m_bench->dir.filePath(QStringLiteral("support"));
        storage.bundleIdentifier = QStringLiteral("com.example.web");
        storage.console = [](const QString&) {};
        m_storage = std::make_unique<SecureStorageManager>(storage);
        m_center = std::make_unique<NotificationCenter>();
        m_users = std::make_unique<CDYUserTool>(*m_storage, *m_center, [](const QString&) {});
        m_language = std::make_unique<LanguageManager>();
        m_lines = std::make_unique<LineCapture>();
        m_replies.clear();
        m_posted.clear();
        m_inspectorEnabled = true;
        for (const QString& name :
             {NotificationNames::reduceBitrateMode, NotificationNames::webViewDebugModeDidChange,
              NotificationNames::userLogin, NotificationNames::userLogout}) {
            m_center->addObserver(nullptr, name, [this](const Notification& note) {
                m_posted << note.name;
                if (!note.userInfo.isEmpty()) {
                    m_posted << QString::fromUtf8(
                        QJsonDocument(QJsonObject::fromVariantMap(note.userInfo))
                            .toJson(QJsonDocument::Compact));
                }
            });
        }
        SettingMessageHandler::Environment environment;
        environment.settings = m_bench->settings.get();
        environment.users = m_users.get();
        environment.communicator = m_bench->communicator.get();
        environment.notifications = m_center.get();
        environment.language = m_language.get();
        environment.inspectorEnabledInBundle = [this] { return m_inspectorEnabled; };
        environment.reply = [this](const QJsonValue& value, const QString& requestId,
                                   const QString&) {
            m_replies.append({value, requestId});
        };
        m_handler = std::make_unique<SettingMessageHandler>(environment);
    }

    void cleanup() {
        m_handler.reset();
        m_lines.reset();
        m_bench.reset();
    }

    void setStoresOrRefuses_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");  // JSON; empty: no "value"
        QTest::addColumn<bool>("inspector");
        QTest::addColumn<QString>("readKey");
        QTest::addColumn<QVariant>("stored");  // invalid: nothing stored
        QTest::addColumn<QString>("warning");

        const QVariant none;
        const QString sizeWarning = QStringLiteral("云手机窗口尺寸无效: ");
        QTest::newRow("size zero") << "cloudphone-size"
                                   << "\"0\"" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size negative")
            << "cloudphone-size"
            << "\"-3\"" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size letters")
            << "cloudphone-size"
            << "\"abc\"" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size leading blank")
            << "cloudphone-size"
            << "\" 720\"" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size trailing text")
            << "cloudphone-size"
            << "\"720px\"" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size fraction number")
            << "cloudphone-size"
            << "1.5" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size infinite")
            << "cloudphone-size"
            << "\"inf\"" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size missing") << "cloudphone-size"
                                      << "" << true << "cloudphone-size" << none << sizeWarning;
        QTest::newRow("size text")
            << "cloudphone-size"
            << "\"720\"" << true << "cloudphone-size" << QVariant("720") << "";
        QTest::newRow("size integer")
            << "cloudphone-size"
            << "720" << true << "cloudphone-size" << QVariant("720") << "";
        QTest::newRow("size fraction text")
            << "cloudphone-size"
            << "\"1.5\"" << true << "cloudphone-size" << QVariant("1.5") << "";
        QTest::newRow("sort boolean")
            << "batch-cloundphone-position-sort"
            << "true" << true << "batch-cloundphone-position-sort" << QVariant("true") << "";
        QTest::newRow("sort capitals") << "batch-cloundphone-position-sort"
                                       << "\"TRUE\"" << true << "batch-cloundphone-position-sort"
                                       << none << "批量自动排列设置无效: ";
        QTest::newRow("sync dictionary")
            << "sync-time"
            << "{\"a\":[1,\"x\"]}" << true << "sync-time" << QVariant("{\"a\":[1,\"x\"]}") << "";
        QTest::newRow("sync null")
            << "sync-time"
            << "null" << true << "sync-time" << none << "同步设置值无法序列化: ";
        QTest::newRow("close panel boolean")
            << "close-panel"
            << "false" << true << "close-panel" << QVariant("false") << "";
        QTest::newRow("centre integer")
            << "cloundphone-position-centre"
            << "0" << true << "cloundphone-position-centre" << QVariant("0") << "";
        QTest::newRow("arrange list")
            << "frontend-arrange-cloundphone"
            << "[1,2]" << true << "frontend-arrange-cloundphone" << QVariant("[1,2]") << "";
        QTest::newRow("close others fraction")
            << "sync-ctl-close-other-devices"
            << "0.5" << true << "sync-ctl-close-other-devices" << none << "同步设置值无法序列化: ";
        QTest::newRow("text-only key number") << "summarized-mode"
                                              << "1" << true << "summarized-mode" << none << "";
        QTest::newRow("listed key of the page, number")
            << "web-version"
            << "2" << true << "web-version" << none << "";
        QTest::newRow("key in other letter case is not listed")
            << "Cloudphone-Size"
            << "\"0\"" << true << "Cloudphone-Size" << QVariant("0") << "";
        QTest::newRow("page key number") << "toolbar-order"
                                         << "5" << true << "toolbar-order" << none << "";
        QTest::newRow("page key text")
            << "toolbar-order"
            << "\"a,b\"" << true << "toolbar-order" << QVariant("a,b") << "";
        QTest::newRow("unlisted key text")
            << "my-own-key"
            << "\"v\"" << true << "my-own-key" << QVariant("v") << "";
        QTest::newRow("text-only key missing value")
            << "summarized-mode"
            << "" << true << "summarized-mode" << QVariant("") << "";
        QTest::newRow("muted boolean") << "cloudphone-muted"
                                       << "false" << true << "cloudphone-muted" << none << "";
        QTest::newRow("account token integer")
            << "account-user_token"
            << "12" << true << "account-user_token" << QVariant("12") << "";
        QTest::newRow("account token fraction")
            << "account-user_token"
            << "0.5" << true << "account-user_token" << none
            << "⚠️ accountUserToken 设置值无法序列化: ";
        QTest::newRow("debug while disabled")
            << "webview-debug-mode"
            << "\"true\"" << false << "close-webview-debug-mode" << QVariant("true") << "";
        QTest::newRow("debug while disabled keeps key")
            << "webview-debug-mode"
            << "\"true\"" << false << "webview-debug-mode" << none << "";
        QTest::newRow("debug while enabled")
            << "webview-debug-mode"
            << "\"off\"" << true << "webview-debug-mode" << QVariant("off") << "";
        QTest::newRow("debug fraction") << "close-webview-debug-mode"
                                        << "1.5" << true << "close-webview-debug-mode" << none
                                        << "⚠️ WebView 调试设置值无法序列化: ";
    }
    void setStoresOrRefuses() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, inspector);
        QFETCH(QString, readKey);
        QFETCH(QVariant, stored);
        QFETCH(QString, warning);
        m_inspectorEnabled = inspector;
        m_handler->handle(setMessage(key, value));
        const std::optional<QString> read = settings().string(readKey);
        QCOMPARE(read.has_value(), stored.isValid());
        if (read) {
            QCOMPARE(*read, stored.toString());
        }
        if (warning.isEmpty()) {
            QVERIFY2(m_lines->log().filter(QStringLiteral("[WARN]")).isEmpty(),
                     qPrintable(m_lines->log().join('\n')));
        } else {
            QVERIFY2(warned(warning), qPrintable(m_lines->log().join('\n')));
        }
        QVERIFY(m_replies.isEmpty());
    }

    void refusedValueKeepsThePreviousOne() {
        m_handler->handle(setMessage(QStringLiteral("cloudphone-size"), QStringLiteral("\"640\"")));
        m_handler->handle(setMessage(QStringLiteral("cloudphone-size"), QStringLiteral("\"0\"")));
        QCOMPARE(settings().string(SettingKey::cloudphoneSize), QStringLiteral("640"));
    }

    void setActsOnOtherParts_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("inspector");
        QTest::addColumn<QStringList>("posted");
        QTest::newRow("bit rate text")
            << "reduce-bitrate-mode"
            << "\"on\"" << true
            << QStringList{"reduce-bitrate-mode",
                           "{\"data\":{\"key\":\"reduce-bitrate-mode\",\"value\":\"on\"},"
                           "\"macrequestid\":\"r1\",\"type\":\"set\"}"};
        QTest::newRow("bit rate number") << "reduce-bitrate-mode"
                                         << "1" << true << QStringList{};
        QTest::newRow("debug disabled")
            << "close-webview-debug-mode"
            << "false" << false << QStringList{"webViewDebugModeDidChange"};
        QTest::newRow("debug enabled")
            << "webview-debug-mode"
            << "true" << true << QStringList{"webViewDebugModeDidChange"};
        QTest::newRow("debug not convertible") << "webview-debug-mode"
                                               << "null" << true << QStringList{};
    }
    void setActsOnOtherParts() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, inspector);
        QFETCH(QStringList, posted);
        m_inspectorEnabled = inspector;
        Web2NativeMessage message = setMessage(key, value);
        message.macrequestid = QStringLiteral("r1");
        m_handler->handle(message);
        QCOMPARE(m_posted, posted);
    }

    void localeTextAppliesTheLanguage() {
        int changes = 0;
        NotificationCenter::defaultCenter().addObserver(m_language.get(),
                                                        NotificationNames::languageDidChange,
                                                        [&](const Notification&) { ++changes; });
        m_handler->handle(
            setMessage(QStringLiteral("frontend-sys-locale"), QStringLiteral("\"en\"")));
        QCOMPARE(changes, 1);
        QCOMPARE(settings().string(SettingKey::frontendSysLocale), QStringLiteral("en"));
        QVERIFY(m_lines->logged(QStringLiteral("多语言Set en")));
        m_handler->handle(setMessage(QStringLiteral("frontend-sys-locale"), QStringLiteral("3")));
        QCOMPARE(changes, 1);
    }

    void getAnswers_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("stored");  // key=value
        QTest::addColumn<bool>("inspector");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("warning");
        QTest::newRow("never written") << "window-pixi" << QStringList{} << true << "" << true;
        QTest::newRow("written") << "toolbar-order" << QStringList{"toolbar-order=a,b"} << true
                                 << "a,b" << false;
        QTest::newRow("account token absent")
            << "account-user_token" << QStringList{} << true << "" << false;
        QTest::newRow("close, both absent")
            << "close-webview-debug-mode" << QStringList{} << true << "false" << false;
        QTest::newRow("debug, both absent")
            << "webview-debug-mode" << QStringList{} << true << "true" << false;
        QTest::newRow("debug, close yes")
            << "webview-debug-mode" << QStringList{"close-webview-debug-mode= YES "} << true
            << "false" << false;
        QTest::newRow("debug, close maybe")
            << "webview-debug-mode" << QStringList{"close-webview-debug-mode=maybe"} << true
            << "true" << false;
        QTest::newRow("close, stored as is")
            << "close-webview-debug-mode" << QStringList{"close-webview-debug-mode=maybe"} << true
            << "maybe" << false;
        QTest::newRow("close, from debug on")
            << "close-webview-debug-mode" << QStringList{"webview-debug-mode=on"} << true << "false"
            << false;
        QTest::newRow("close, from debug odd")
            << "close-webview-debug-mode" << QStringList{"webview-debug-mode=x"} << true << "true"
            << false;
        QTest::newRow("debug, stored as is")
            << "webview-debug-mode" << QStringList{"webview-debug-mode=Off"} << true << "Off"
            << false;
        QTest::newRow("close, disabled")
            << "close-webview-debug-mode" << QStringList{"close-webview-debug-mode=false"} << false
            << "true" << false;
        QTest::newRow("debug, disabled")
            << "webview-debug-mode" << QStringList{"webview-debug-mode=true"} << false << "false"
            << false;
    }
    void getAnswers() {
        QFETCH(QString, key);
        QFETCH(QStringList, stored);
        QFETCH(bool, inspector);
        QFETCH(QString, answer);
        QFETCH(bool, warning);
        m_inspectorEnabled = inspector;
        for (const QString& entry : stored) {
            settings().set(entry.section('=', 1), entry.section('=', 0, 0));
        }
        for (const QString& type : {QStringLiteral("get"), QStringLiteral("mac-get")}) {
            m_handler->handle(getMessage(type, {{"key", key}, {"requestid", type + "-7"}}));
        }
        QCOMPARE(m_replies.size(), 2);
        QCOMPARE(m_replies.at(0).first, QJsonValue(answer));
        QCOMPARE(m_replies.at(0).second, QStringLiteral("get-7"));
        QCOMPARE(m_replies.at(1).first, QJsonValue(answer));
        QCOMPARE(m_replies.at(1).second, QStringLiteral("mac-get-7"));
        QCOMPARE(warned(QStringLiteral("🔍 获取不到设置信息: ")), warning);
    }

    void malformedGetHasNoAnswer_data() {
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("line");
        QTest::newRow("no key") << "{\"requestid\":\"1\"}"
                                << "❌ 获取参数key不完整";
        QTest::newRow("key not text") << "{\"key\":3,\"requestid\":\"1\"}"
                                      << "❌ 获取参数key不完整";
        QTest::newRow("no request id") << "{\"key\":\"a\"}"
                                       << "❌ 获取参数requestid不完整";
        QTest::newRow("numeric request id") << "{\"key\":\"a\",\"requestid\":1}"
                                            << "❌ 获取参数requestid不完整";
    }
    void malformedGetHasNoAnswer() {
        QFETCH(QString, data);
        QFETCH(QString, line);
        m_handler->handle(getMessage("get", QJsonDocument::fromJson(data.toUtf8()).object()));
        QVERIFY(m_replies.isEmpty());
        QVERIFY(m_lines->printed(line));
    }

    void setWithoutKeyStoresNothing() {
        m_handler->handle(Web2NativeMessage{"set", std::nullopt, QJsonArray{1}});
        QVERIFY(m_lines->printedStartingWith(QStringLiteral("❌ 设置参数不完整 ")));
    }

    void credentialsAreMaskedInTheSettingLine_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("valueJson");
        QTest::addColumn<QString>("shown");  // after "⚙️ 设置: <key> = "
        QTest::newRow("sign-in record as text")
            << "kxsdk-login-info"
            << "\"{\\\"uid\\\":\\\"u9\\\","
               "\\\"token\\\":\\\"TOKEN-9\\\",\\\"sign\\\":\\\"SIGN-9\\\"}\""
            << "\"{\"uid\":\"u9\",\"token\":\"***\",\"sign\":\"***\"}\"";
        QTest::newRow("sign-in record as an object")
            << "kxsdk-login-info"
            << "{\"uid\":\"u9\",\"token\":\"TOKEN-9\",\"sign\":\"SIGN-9\"}"
            << "[\"sign\": \"***\", \"token\": \"***\", \"uid\": \"u9\"]";
        QTest::newRow("personal fields of the sign-in record")
            << "kxsdk-login-info"
            << "{\"uid\":\"u9\",\"phone\":\"TOKEN-9\",\"realname\":\"SIGN-9\",\"cardID\":7}"
            << "[\"cardID\": \"***\", \"phone\": \"***\", \"realname\": \"***\", \"uid\": \"u9\"]";
        QTest::newRow("user token") << "account-user_token"
                                    << "\"TOKEN-9\""
                                    << "\"***\"";
    }
    void credentialsAreMaskedInTheSettingLine() {
        QFETCH(QString, key);
        QFETCH(QString, valueJson);
        QFETCH(QString, shown);
        m_handler->handle(setMessage(key, valueJson));
        const QString console = m_lines->console().join('\n');
        QVERIFY2(m_lines->printed(QStringLiteral("⚙️ 设置: ") + key + " = " + shown),
                 qPrintable(console));
        QVERIFY(!console.contains("TOKEN-9") && !console.contains("SIGN-9"));
    }

    void loginObjectSavesTheUserAndRefreshesStreamingDevices() {
        KXDomesticUser before(QStringLiteral("u1"), QStringLiteral("t"));
        before.sign = QStringLiteral("s1");
        QVERIFY(m_users->saveUserData(before));
        m_bench->communicator->configClient(ClientInitOptions{},
                                            std::make_shared<StoredUserIdentityProvider>(*m_users));
        QVERIFY2(m_bench->add({QStringLiteral("5")}), qPrintable(m_lines->console().join('\n')));
        QVERIFY(m_bench->play(QStringLiteral("5")));
        m_handler->handle(setMessage(
            QStringLiteral("kxsdk-login-info"),
            QStringLiteral("{\"uid\":\"u9\",\"token\":\"tk\",\"sign\":\"s9\",\"isadult\":\"1\","
                           "\"phone\":null,\"isbindwxqq\":\"x\",\"nickname\":7}")));
        QVERIFY(!settings().string(SettingKey::kxsdkLoginInfo));
        const std::optional<KXDomesticUser> saved = m_users->loadUser();
        QVERIFY(saved);
        QCOMPARE(saved->uid(), QStringLiteral("u9"));
        QCOMPARE(saved->sign, QStringLiteral("s9"));
        QCOMPARE(saved->isadult, qint64(1));
        QCOMPARE(saved->nickname, QStringLiteral("7"));
        QVERIFY(!saved->phone && !saved->isbindwxqq);
        QCOMPARE(m_posted, (QStringList{"user_login", "user_login"}));
        QVERIFY(m_bench->communicator->isDeviceAdded(QStringLiteral("5")));
        QCOMPARE(m_bench->device(QStringLiteral("5"))->refreshedTokens(), QStringList{"s9"});
    }

    void loginTextIsStoredThenDecoded() {
        m_handler->handle(setMessage(QStringLiteral("kxsdk-login-info"),
                                     QStringLiteral("\"{\\\"uid\\\":\\\"u3\\\"}\"")));
        QCOMPARE(settings().string(SettingKey::kxsdkLoginInfo), QStringLiteral("{\"uid\":\"u3\"}"));
        QCOMPARE(m_users->currentUserID(), QStringLiteral("u3"));
    }

    void unusableLoginSignsOut_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("warning");
        QTest::newRow("text that is no JSON") << "\"not json\"" << false;
        QTest::newRow("array") << "[1,2]" << false;
        QTest::newRow("fraction") << "2.5" << true;
        QTest::newRow("null") << "null" << true;
    }
    void unusableLoginSignsOut() {
        QFETCH(QString, value);
        QFETCH(bool, warning);
        QVERIFY(m_users->saveUserData(KXDomesticUser(QStringLiteral("u1"), QStringLiteral("t"))));
        m_posted.clear();
        m_handler->handle(setMessage(QStringLiteral("kxsdk-login-info"), value));
        QVERIFY(!m_users->loadUser());
        QCOMPARE(m_posted, QStringList{"user_logout"});
        QCOMPARE(warned(QStringLiteral("⚠️ kxsdk-login-info 设置值格式错误: ")),
                 warning);
    }
};

QTEST_MAIN(SettingMessagesTest)
#include "tst_SettingMessages.moc"
