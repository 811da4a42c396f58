#include "LogCapture.h"
#include "TestHttpServer.h"

#include "api/KXNetworkManager.h"
#include "api/LogRedaction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

// A sign-in reply as the service sends it, with every credential it may carry.
const QString kSignInReply = QStringLiteral(
    R"({"code":0,"msg":"ok","data":{"uid":"u7","token":"TOKEN-7f3a","sign":"SIGN-55e1",)"
    R"("phone":"138****0000","unsetPassword":false,"thirdAccountList":[{"type":1,)"
    R"("accessToken":"WX-ACCESS-9c"}],"obs":{"AK":"AK-1c2d","Sk":"SK-3e4f",)"
    R"("security_token":"STS-8a9b","expires":3600}}})");
const QStringList kSecrets = {"TOKEN-7f3a", "SIGN-55e1", "WX-ACCESS-9c",
                              "AK-1c2d",    "SK-3e4f",   "STS-8a9b"};

}  // namespace

class LogRedactionTest : public QObject {
    Q_OBJECT

private:
    LogCapture m_log;

private Q_SLOTS:
    void maskedJson_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("logged");
        QTest::newRow("credential values at any depth")
            << R"({"a":{"b":[{"Token":"t1"}]},"token":"t2","x":"token"})"
            << R"({"a":{"b":[{"Token":"***"}]},"token":"***","x":"token"})";
        QTest::newRow("spacing and order kept")
            << "{ \"sk\" : \"s\",\n  \"z\":1, \"ak\":\"a\" }"
            << "{ \"sk\" : \"***\",\n  \"z\":1, \"ak\":\"***\" }";
        QTest::newRow("numbers hidden, flags kept")
            << R"({"sign":123456,"password":-1.5e3,"unsetPassword":true,"token":null})"
            << R"({"sign":"***","password":"***","unsetPassword":true,"token":null})";
        QTest::newRow("a credential holding a structure")
            << R"({"credentials":{"id":"k","list":["p",2]},"after":"shown"})"
            << R"({"credentials":{"id":"***","list":["***","***"]},"after":"shown"})";
        QTest::newRow("escaped key and quotes in values")
            << "{\"\\u0074oken\":\"a\\\"b\",\"note\":\"say \\\"token\\\": x\"}"
            << "{\"\\u0074oken\":\"***\",\"note\":\"say \\\"token\\\": x\"}";
        QTest::newRow("similar names")
            << R"({"SecurityToken":"1","secret_key":"2","signal":"3"})"
            << R"({"SecurityToken":"***","secret_key":"***","signal":"3"})";
        QTest::newRow("personal fields, flags about them kept")
            << R"({"phone":"139","realName":"Li","cardID":12,"id_card":"x","isbindphone":1})"
            << R"({"phone":"***","realName":"***","cardID":"***","id_card":"***","isbindphone":1})";
        QTest::newRow("device auth params") << R"({"auth_params":"a=1&b=2","devicename":"P1"})"
                                            << R"({"auth_params":"***","devicename":"P1"})";
        QTest::newRow("not JSON") << "<html>token</html>"
                                  << "<html>token</html>";
        // Raw strings that end inside a JSON string confuse moc; these are plain literals.
        QTest::newRow("cut short") << "{\"token\":\"abc"
                                   << "{\"token\":\"***\"";
    }
    void maskedJson() {
        QFETCH(QString, body);
        QFETCH(QString, logged);
        QCOMPARE(LogRedaction::maskedJson(body), logged);
    }

    void maskedValue_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("wholly");
        QTest::addColumn<QString>("logged");
        QTest::newRow("sign-in record as text in a setting")
            << "{\"key\":\"kxsdk-login-info\",\"value\":\"{\\\"uid\\\":\\\"u9\\\",\\\"token\\\":"
               "\\\"T-1\\\",\\\"sign\\\":\\\"S-1\\\"}\"}"
            << false
            << "{\"key\":\"kxsdk-login-info\",\"value\":\"{\\\"uid\\\":\\\"u9\\\",\\\"token\\\":"
               "\\\"***\\\",\\\"sign\\\":\\\"***\\\"}\"}";
        QTest::newRow("sign-in record as an object")
            << "{\"key\":\"kxsdk-login-info\",\"value\":{\"sign\":\"S-1\",\"token\":\"T-1\","
               "\"uid\":\"u9\"}}"
            << false
            << "{\"key\":\"kxsdk-login-info\",\"value\":{\"sign\":\"***\",\"token\":\"***\","
               "\"uid\":\"u9\"}}";
        QTest::newRow("a setting that is a credential")
            << "{\"key\":\"account-user_token\",\"value\":\"T-2\"}" << false
            << "{\"key\":\"account-user_token\",\"value\":\"***\"}";
        QTest::newRow("a setting that is none")
            << "{\"key\":\"close-panel\",\"value\":\"min\"}" << false
            << "{\"key\":\"close-panel\",\"value\":\"min\"}";
        QTest::newRow("numbers and structures under credential keys")
            << "{\"list\":[{\"Sk\":7}],\"password\":[\"p\",{\"x\":1}],\"ok\":true}" << false
            << "{\"list\":[{\"Sk\":\"***\"}],\"ok\":true,\"password\":[\"***\",{\"x\":\"***\"}]}";
        QTest::newRow("text that only mentions a token")
            << "{\"msg\":\"token expired\"}" << false << "{\"msg\":\"token expired\"}";
        QTest::newRow("the whole value is a credential")
            << "[\"a\",2,{\"b\":null}]" << true << "[\"***\",\"***\",{\"b\":null}]";
    }
    void maskedValue() {
        QFETCH(QString, value);
        QFETCH(bool, wholly);
        QFETCH(QString, logged);
        const QJsonDocument document = QJsonDocument::fromJson(value.toUtf8());
        const QJsonValue masked = LogRedaction::maskedValue(
            document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()),
            wholly);
        QCOMPARE(
            QString::fromUtf8(
                masked.isArray() ? QJsonDocument(masked.toArray()).toJson(QJsonDocument::Compact)
                                 : QJsonDocument(masked.toObject()).toJson(QJsonDocument::Compact)),
            logged);
    }

    void maskedQuery_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");
        QTest::newRow("token") << "https://h/p?md5=1&token=abc&uid=u"
                               << "https://h/p?md5=1&token=***&uid=u";
        QTest::newRow("other credentials and a fragment")
            << "https://h/p?Access_Token=a&sign=b#token=c"
            << "https://h/p?Access_Token=***&sign=***#token=c";
        QTest::newRow("empty value") << "https://h/p?token=&x=1"
                                     << "https://h/p?token=&x=1";
        QTest::newRow("in an error text") << "failed: https://h/p?sk=zz (timeout)"
                                          << "failed: https://h/p?sk=*** (timeout)";
    }
    void maskedQuery() {
        QFETCH(QString, text);
        QFETCH(QString, logged);
        QCOMPARE(LogRedaction::maskedQuery(text), logged);
    }

    void typedTextShowsItsLengthOnly_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("typed");  // what a key press with these characters types
        QTest::newRow("letters") << "hunter2"
                                 << "<7 chars>" << true;
        QTest::newRow("characters as seen, not code units")
            << QString::fromUtf8("你好\U0001F468\u200D\U0001F469\u200D\U0001F467e\u0301")
            << "<4 chars>" << true;
        QTest::newRow("nothing") << ""
                                 << "<0 chars>" << false;
        QTest::newRow("Return") << "\r"
                                << "<1 chars>" << false;
        QTest::newRow("Escape") << "\x1b"
                                << "<1 chars>" << false;
    }
    void typedTextShowsItsLengthOnly() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(bool, typed);
        QCOMPARE(LogRedaction::textLength(text), shown);
        QCOMPARE(LogRedaction::isTypedText(text), typed);
    }

    void signInReplyLeavesNoCredentialInTheLog() {
        TestHttpServer server;
        server.setReplies({{200, kSignInReply.toUtf8()}});
        KXNetworkManager::Configuration config;
        config.apiBaseUrl = server.baseUrl();
        KXNetworkManager manager(config, [] {
            return UserCredentials{QStringLiteral("u7"), QStringLiteral("TOKEN-7f3a")};
        });
        bool done = false;
        m_log.take();
        manager.request<KXAPIResponse<EmptyResponse>>(
            XDYGlobalAPI::fileCheck(QStringLiteral("d41d")), std::nullopt,
            [&done](auto) { done = true; });
        QTRY_VERIFY(done);

        const QStringList lines = m_log.take();
        for (const QString& secret : kSecrets) {
            QVERIFY2(!lines.join('\n').contains(secret), qPrintable(secret));
        }
        const QStringList body = lines.filter(QStringLiteral("📄 Response Body: "));
        QCOMPARE(body.size(), 1);
        QVERIFY(body.first().endsWith(
            R"({"code":0,"msg":"ok","data":{"uid":"u7","token":"***","sign":"***",)"
            R"("phone":"***","unsetPassword":false,"thirdAccountList":[{"type":1,)"
            R"("accessToken":"***"}],"obs":{"AK":"***","Sk":"***",)"
            R"("security_token":"***","expires":3600}}})"));
        QCOMPARE(lines.filter(QStringLiteral("token=***")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral(R"("token": "***")")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(LogRedactionTest)
#include "tst_LogRedaction.moc"
