#include "LogCapture.h"
#include "TestHttpServer.h"

#include "api/KXNetworkManager.h"
#include "api/VersionResponse.h"

#include "foundation/concurrency/MainQueue.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <thread>

using Envelope = KXAPIResponse<EmptyResponse>;
using Reply = TestHttpServer::Reply;

Q_DECLARE_METATYPE(XDYGlobalAPI)
Q_DECLARE_METATYPE(UserCredentials)
Q_DECLARE_METATYPE(QList<TestHttpServer::Reply>)

namespace {

// What one request ended in, and on which thread.
struct Outcome {
    bool done = false;
    bool ok = false;
    QString text;  // encoded value or error text
    std::optional<NetworkError> error;
    QThread* thread = nullptr;
};

template <JsonRecord T>
KXNetworkManager::Completion<T> recordInto(Outcome& outcome) {
    return [&outcome](Result<T, NetworkError> result) {
        outcome.done = true;
        outcome.thread = QThread::currentThread();
        outcome.ok = result.ok();
        if (result) {
            outcome.text = QString::fromUtf8(
                QJsonDocument(result.value().toJson()).toJson(QJsonDocument::Compact));
        } else {
            outcome.error = result.error();
            outcome.text = result.error().errorDescription();
        }
    };
}

KXNetworkManager::Configuration configFor(const QUrl& base, int retryDelayMs = 20) {
    KXNetworkManager::Configuration config;
    config.apiBaseUrl = base;
    config.retryDelay = std::chrono::milliseconds(retryDelayMs);
    return config;
}

UserCredentialsProvider userOf(const UserCredentials& user) {
    return [user] { return user; };
}

}  // namespace

class NetworkManagerTest : public QObject {
    Q_OBJECT

    LogCapture m_log;

    QStringList takeLines() { return m_log.take(); }

private Q_SLOTS:
    void requestBuilding_data() {
        QTest::addColumn<XDYGlobalAPI>("endpoint");
        QTest::addColumn<UserCredentials>("user");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        const UserCredentials signedIn{QStringLiteral("u1"), QStringLiteral("s+g/n")};
        QTest::newRow("version") << XDYGlobalAPI::versionJson() << signedIn << QByteArray("GET")
                                 << QByteArray("/api/rest/sys/version-json?system=4");
        QTest::newRow("file check without user")
            << XDYGlobalAPI::fileCheck(QStringLiteral("abc")) << UserCredentials{}
            << QByteArray("POST")
            << QByteArray("/api/rest/cph/user/file/check?md5=abc&token=&uid=");
        QTest::newRow("file check signed in")
            << XDYGlobalAPI::fileCheck(QStringLiteral("abc")) << signedIn << QByteArray("POST")
            << QByteArray("/api/rest/cph/user/file/check?md5=abc&token=s%2Bg/n&uid=u1");
        QTest::newRow("file upload")
            << XDYGlobalAPI::fileUpload(QStringLiteral("m5"), QStringLiteral("游戏 App"),
                                        QStringLiteral("/sdcard/a&b?.apk"), 2147483647,
                                        FileType::document, QStringLiteral("a b.apk"))
            << signedIn << QByteArray("POST")
            << QByteArray(
                   "/api/rest/cph/user/file/upload?appName=%E6%B8%B8%E6%88%8F%20App"
                   "&fileName=a%20b.apk&fileType=3&md5=m5&path=/sdcard/a%26b?.apk"
                   "&size=2147483647&token=s%2Bg/n&uid=u1");
    }
    void requestBuilding() {
        QFETCH(XDYGlobalAPI, endpoint);
        QFETCH(UserCredentials, user);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        TestHttpServer server;
        server.setReplies({Reply{200, R"({"code":0,"msg":"ok"})"}});
        KXNetworkManager manager(configFor(server.baseUrl()), userOf(user));
        Outcome outcome;
        manager.request<Envelope>(endpoint, std::nullopt, recordInto<Envelope>(outcome));
        QTRY_VERIFY(outcome.done);
        QVERIFY2(outcome.ok, qPrintable(outcome.text));
        QCOMPARE(server.requests().size(), 1);
        const TestHttpServer::Request& request = server.requests().first();
        QCOMPARE(request.method, method);
        QCOMPARE(request.target, target);
        QCOMPARE(request.body, QByteArray());
        QCOMPARE(request.headers.value("content-type"), QByteArray("multipart/form-data"));
        QCOMPARE(request.headers.value("accept-encoding"), QByteArray("gzip,deflate"));
        QCOMPARE(request.headers.value("x-client-type"), QByteArray("MAC"));
    }

    void statusAndRetries_data() {
        QTest::addColumn<QList<Reply>>("replies");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("text");
        QTest::newRow("503 four times") << QList<Reply>{{503, R"({"code":1,"msg":"忙"})"}} << 4
                                        << "服务器错误 (503): 服务器错误";
        QTest::newRow("500 then success")
            << QList<Reply>{{500, ""}, {500, ""}, {500, ""}, {200, R"({"ver":9})"}} << 4
            << R"({"ver":9})";
        QTest::newRow("404 not JSON once")
            << QList<Reply>{{404, "<html>missing</html>"}} << 1 << "服务器错误 (404): 请求失败";
        QTest::newRow("401 once") << QList<Reply>{{401, R"({"msg":"未登录"})"}} << 1
                                  << "请求错误 (401): 未登录";
        QTest::newRow("400 without body once")
            << QList<Reply>{{400, ""}} << 1 << "服务器错误 (400): 请求失败";
        QTest::newRow("enveloped record")
            << QList<Reply>{{200, R"({"code":200,"data":{"ver":1},"ver":null,"strVer":2})"}} << 1
            << R"({"ver":1})";
        QTest::newRow("200 with empty body")
            << QList<Reply>{{200, ""}} << 1 << "服务器错误 (200): 请求失败";
        QTest::newRow("204 with empty body") << QList<Reply>{{204, ""}} << 1 << "数据解析错误: ";
        QTest::newRow("gzip body")
            << QList<Reply>{{200,
                             compressBody(R"({"pcClientVersion":"2.0"})", true),
                             {{"Content-Encoding", "gzip"}}}}
            << 1 << R"({"pcClientVersion":"2.0"})";
        QTest::newRow("deflate envelope on 404")
            << QList<Reply>{{404,
                             compressBody(R"({"code":9,"msg":"压缩"})", false),
                             {{"Content-Encoding", "deflate"}}}}
            << 1 << "请求错误 (9): 压缩";
        QTest::newRow("broken gzip") << QList<Reply>{{200, "plain", {{"Content-Encoding", "gzip"}}}}
                                     << 1 << "服务器错误 (200): 请求失败";
    }
    void statusAndRetries() {
        QFETCH(QList<Reply>, replies);
        QFETCH(int, sent);
        QFETCH(QString, text);
        TestHttpServer server;
        server.setReplies(replies);
        KXNetworkManager manager(configFor(server.baseUrl(), 1000));
        Outcome outcome;
        manager.request<VersionResponse>(XDYGlobalAPI::versionJson(), std::nullopt,
                                         recordInto<VersionResponse>(outcome));
        QTRY_VERIFY_WITH_TIMEOUT(outcome.done, 8000);
        QVERIFY2(outcome.text.startsWith(text), qPrintable(outcome.text));
        QCOMPARE(server.requests().size(), sent);
        for (qsizetype i = 1; i < sent; ++i) {
            QVERIFY(server.requests()[i].receivedAtMs - server.requests()[i - 1].receivedAtMs >=
                    950);
        }
        QCOMPARE(outcome.thread, QThread::currentThread());
    }

    void transportFailures_data() {
        QTest::addColumn<bool>("closedPort");
        QTest::addColumn<int>("requestTimeoutMs");
        QTest::addColumn<int>("resourceTimeoutMs");
        QTest::addColumn<QString>("text");
        QTest::newRow("nobody listening") << true << 300 << 30000 << "网络错误: 未能连接到服务器。";
        QTest::newRow("no bytes within the time-out")
            << false << 300 << 30000 << "网络错误: 请求超时。";
        QTest::newRow("attempt beyond its deadline")
            << false << 30000 << 300 << "网络错误: 请求超时。";
    }
    void transportFailures() {
        QFETCH(bool, closedPort);
        QFETCH(int, requestTimeoutMs);
        QFETCH(int, resourceTimeoutMs);
        QFETCH(QString, text);
        TestHttpServer server;
        server.setReplies({{200, R"({"ver":1})", {}, 3000}});
        const QUrl base = server.baseUrl();
        if (closedPort) {
            server.close();
        }
        KXNetworkManager::Configuration config = configFor(base);
        config.requestTimeout = std::chrono::milliseconds(requestTimeoutMs);
        config.resourceTimeout = std::chrono::milliseconds(resourceTimeoutMs);
        KXNetworkManager manager(config);
        Outcome outcome;
        takeLines();
        manager.request<VersionResponse>(XDYGlobalAPI::versionJson(), std::nullopt,
                                         recordInto<VersionResponse>(outcome));
        QTRY_VERIFY(outcome.done);
        QCOMPARE(outcome.text, text);
        QCOMPARE(outcome.error->kind(), NetworkError::Kind::networkError);
        QCOMPARE(server.requests().size(), closedPort ? 0 : 1);
        const QStringList lines = takeLines();
        QVERIFY(lines.filter(QStringLiteral("📊 Status Code: 0")).size() == 1);
        QVERIFY(lines
                    .filter(QStringLiteral("📍 URL: ") + base.toString() +
                            QStringLiteral("/rest/sys/version-json?system=4"))
                    .size() == 1);
    }

    void tokenIsMaskedInLogsOnly() {
        TestHttpServer server;
        server.setReplies({{500, R"({"code":1})"}});
        const QString secret = QStringLiteral("SECRET-sign-42");
        KXNetworkManager manager(configFor(server.baseUrl(), 1),
                                 userOf({QStringLiteral("u7"), secret}));
        Outcome outcome;
        takeLines();
        manager.request<Envelope>(XDYGlobalAPI::fileCheck(QStringLiteral("d41d")), std::nullopt,
                                  recordInto<Envelope>(outcome));
        QTRY_VERIFY(outcome.done);
        QVERIFY(server.requests().first().target.contains("token=" + secret.toUtf8()));
        const QStringList lines = takeLines();
        QVERIFY(!lines.isEmpty());
        for (const QString& line : lines) {
            QVERIFY2(!line.contains(secret), qPrintable(line));
        }
        const QStringList expectedEnds = {
            QStringLiteral("🌐 ============ 网络请求 ============"),
            QStringLiteral("📍 URL: ") + server.baseUrl().toString() +
                QStringLiteral("/rest/cph/user/file/check"),
            QStringLiteral("🔧 Method: POST"),
            QStringLiteral(R"(📦 Parameters: ["md5": "d41d", "token": "***", "uid": "u7"])"),
            QStringLiteral(R"(📋 Headers: ["Content-Type": "multipart/form-data", )"
                           R"("Accept-Encoding": "gzip,deflate", "X-Client-Type": "MAC"])"),
            QString(36, QLatin1Char('=')),
            QStringLiteral("📥 ============ 网络响应 ============"),
            QStringLiteral("📍 URL: ") + server.baseUrl().toString() +
                QStringLiteral("/rest/cph/user/file/check?md5=d41d&token=***&uid=u7"),
            QStringLiteral("📊 Status Code: 500"),
            QStringLiteral(R"(📄 Response Body: {"code":1})"),
            QStringLiteral("❌ Error: 响应状态码不可接受: 500"),
            QString(36, QLatin1Char('='))};
        QCOMPARE(lines.size(), expectedEnds.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].endsWith(expectedEnds[i]), qPrintable(lines[i]));
        }
    }

    void requestFromWorkerCompletesOnGuiThread() {
        TestHttpServer server;
        server.setReplies({{200, R"({"code":0})"}});
        std::atomic<QThread*> providerThread = nullptr;
        KXNetworkManager manager(configFor(server.baseUrl()), [&providerThread] {
            providerThread = QThread::currentThread();
            return UserCredentials{QStringLiteral("u"), QStringLiteral("s")};
        });
        Outcome outcome;
        QThread* worker = nullptr;
        std::thread thread([&] {
            worker = QThread::currentThread();
            manager.request<Envelope>(XDYGlobalAPI::fileCheck(QStringLiteral("m")), std::nullopt,
                                      recordInto<Envelope>(outcome));
        });
        thread.join();
        QTRY_VERIFY(outcome.done);
        QVERIFY(outcome.ok);
        QCOMPARE(outcome.thread, QThread::currentThread());
        QCOMPARE(providerThread.load(), worker);
    }

    void releasedManagerNeverCompletes() {
        TestHttpServer server;
        server.setReplies({{200, R"({"ver":1})", {}, 200}});
        auto manager = std::make_unique<KXNetworkManager>(configFor(server.baseUrl()));
        Outcome outcome;
        manager->request<VersionResponse>(XDYGlobalAPI::versionJson(), std::nullopt,
                                          recordInto<VersionResponse>(outcome));
        QTRY_COMPARE(server.requests().size(), 1);
        manager.reset();
        QTest::qWait(400);  // past the reply's 200 ms delay
        QVERIFY(!outcome.done);
    }
};

QTEST_GUILESS_MAIN(NetworkManagerTest)
#include "tst_NetworkManager.moc"
