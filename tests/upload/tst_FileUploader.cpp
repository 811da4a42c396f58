#include "TestHttpServer.h"
#include "foundation/concurrency/MainQueue.h"
#include "upload/FileUploader.h"
#include "upload/OBSRequestSigner.h"
#include "upload/UploadProgressRelay.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <thread>

namespace {

const QString kEndPoint = QStringLiteral("obs.cn-east-3.example.com");
const QDateTime kNow(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());

OBSConfig credential(const QString& token, qint64 expiredAt = kNow.toSecsSinceEpoch() + 3600) {
    return OBSConfig{QStringLiteral("AK"),
                     QStringLiteral("SK"),
                     QStringLiteral("bkt"),
                     std::nullopt,
                     kEndPoint,
                     token,
                     3600,
                     expiredAt};
}

struct Outcome {
    int calls = 0;
    bool onMainThread = false;
    std::optional<Error> error;
    QString url;
    bool success = false;
};

struct ProgressStep {
    float fraction;
    QString speed;
    bool onMainThread;
};

}  // namespace

class FileUploaderTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_lines;

    std::unique_ptr<FileUploader> makeUploader(const TestHttpServer& store,
                                               std::optional<QString> uid = std::nullopt) {
        FileUploader::Configuration configuration;
        configuration.storeAddress = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(store.port()));
        configuration.userID = [uid] { return uid; };
        configuration.now = [] { return kNow; };
        configuration.clientVersion = QStringLiteral("9.9.9");
        configuration.console = [this](const QString& line) { m_lines << line; };
        return std::make_unique<FileUploader>(configuration);
    }

    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return path;
    }

    static void send(FileUploader& uploader, bool logFile, const QString& name, const QString& path,
                     Outcome& outcome, FileUploader::ProgressHandler progress = {}) {
        const auto record = [&outcome](const std::optional<Error>& error, const QString& url,
                                       bool success) {
            ++outcome.calls;
            outcome.onMainThread = MainQueue::isMainThread();
            outcome.error = error;
            outcome.url = url;
            outcome.success = success;
        };
        if (logFile) {
            uploader.uploadLogFile(name, path, std::move(progress), record);
        } else {
            uploader.uploadFile(
                name, path, std::move(progress),
                [record, path](const QString& filePath, const std::optional<Error>& error,
                               const QString& url, bool success) {
                    QCOMPARE(filePath, path);
                    record(error, url, success);
                });
        }
    }

private Q_SLOTS:
    void init() { m_lines.clear(); }

    void failuresBeforeTheRequest_data() {
        QTest::addColumn<bool>("withCredential");
        QTest::addColumn<bool>("logFile");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("createFile");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("no credential")
            << false << true << "a.log" << true << 401 << "凭证配置为空，请先获取上传凭证";
        QTest::newRow("missing file")
            << true << false << "gone.txt" << false << 404 << "文件读取失败";
        QTest::newRow("log name with space")
            << true << true << "a b.log" << true << 400 << "无效的上传 URL";
    }
    void failuresBeforeTheRequest() {
        QFETCH(bool, withCredential);
        QFETCH(bool, logFile);
        QFETCH(QString, fileName);
        QFETCH(bool, createFile);
        QFETCH(int, code);
        QFETCH(QString, message);
        TestHttpServer store;
        auto uploader = makeUploader(store);
        if (withCredential) {
            uploader->setCredentialConfig(credential(QString()));
        }
        const QString path = createFile ? writeFile(fileName, "x") : m_dir.filePath(fileName);
        Outcome outcome;
        send(*uploader, logFile, fileName, path, outcome);
        // Reported before the call returns, on the caller's thread.
        QCOMPARE(outcome.calls, 1);
        QCOMPARE(outcome.error, (Error{QStringLiteral("UploadError"), code, message}));
        QVERIFY(!outcome.success);
        QCOMPARE(outcome.url, QString());
        QCOMPARE(m_lines, withCredential
                              ? QStringList()
                              : QStringList{QStringLiteral(
                                    "FileUploader.uploadFile fail, credential config is null")});
        QTest::qWait(50);  // nothing is sent later either
        QCOMPARE(store.requests().size(), 0);
    }

    void signedPutToTheStore_data() {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("logFile");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("contentType");
        QTest::newRow("header scheme, txt in capitals") << "" << false << "NOTE.TXT"
                                                        << "/file/NOTE.TXT"
                                                        << "text/plain";
        QTest::newRow("version 4, apk in capitals") << "tok" << false << "Game.APK"
                                                    << "/apk/Game.APK"
                                                    << "application/vnd.android.package-archive";
        QTest::newRow("header scheme, space, no extension") << "" << false << "my file"
                                                            << "/file/my%20file"
                                                            << "application/octet-stream";
        QTest::newRow("version 4, log file") << "tok" << true << "app.log"
                                             << "/ios-client-log/u42/Mac/app.log"
                                             << "text/plain";
        // Stores canonicalise every byte but the unreserved ones encoded; a bare "(" or "+"
        // signs a different path than the one they check.
        QTest::newRow("version 4, brackets") << "tok" << false << "IMG (1).jpg"
                                             << "/file/IMG%20%281%29.jpg"
                                             << "image/jpeg";
        QTest::newRow("header scheme, Chinese") << "" << false << "截图(1).png"
                                                << "/file/%E6%88%AA%E5%9B%BE%281%29.png"
                                                << "image/png";
        QTest::newRow("version 4, plus") << "tok" << false << "plus+sign.txt"
                                         << "/file/plus%2Bsign.txt"
                                         << "text/plain";
        QTest::newRow("version 4, unreserved stay") << "tok" << false << "tilde~x_y-z.txt"
                                                    << "/file/tilde~x_y-z.txt"
                                                    << "text/plain";
        QTest::newRow("version 4, sub-delimiters") << "tok" << false << "a!$&',;=:@*.txt"
                                                   << "/file/a%21%24%26%27%2C%3B%3D%3A%40%2A.txt"
                                                   << "text/plain";
    }
    void signedPutToTheStore() {
        QFETCH(QString, token);
        QFETCH(bool, logFile);
        QFETCH(QString, fileName);
        QFETCH(QString, target);
        QFETCH(QString, contentType);
        TestHttpServer store;
        auto uploader = makeUploader(store, QStringLiteral("u42"));
        uploader->setCredentialConfig(credential(token));
        const QByteArray content = QByteArray("payload of ") + fileName.toUtf8();
        Outcome outcome;
        send(*uploader, logFile, fileName, writeFile(fileName, content), outcome);
        QCOMPARE(outcome.calls, 0);
        QTRY_COMPARE(outcome.calls, 1);
        QVERIFY(outcome.onMainThread);
        QVERIFY(outcome.success);
        QCOMPARE(outcome.url, QStringLiteral("https://bkt.") + kEndPoint + target);

        QCOMPARE(store.requests().size(), 1);
        const TestHttpServer::Request& request = store.requests().first();
        QCOMPARE(request.method, QByteArray("PUT"));
        QCOMPARE(QString::fromUtf8(request.target), target);
        QCOMPARE(request.body, content);
        QCOMPARE(request.headers.value("host"), ("bkt." + kEndPoint).toUtf8());
        QCOMPARE(request.headers.value("x-obs-acl"), QByteArray("public-read"));
        QCOMPARE(request.headers.value("content-type"), contentType.toUtf8());
        const QString contentMD5 = QString::fromLatin1(
            QCryptographicHash::hash(content, QCryptographicHash::Md5).toBase64());
        QCOMPARE(request.headers.value("content-md5"), contentMD5.toUtf8());

        const QString key = target.mid(1);
        HeaderList expected;
        if (token.isEmpty()) {
            QCOMPARE(request.headers.value("date"), QByteArray("Fri, 02 Jan 2026 03:04:05 GMT"));
            QVERIFY(!request.headers.contains("x-amz-date"));
            expected = OBSRequestSigner::signV2(
                {QStringLiteral("AK"), QStringLiteral("SK"), QStringLiteral("bkt"), key,
                 contentType, contentMD5, QStringLiteral("Fri, 02 Jan 2026 03:04:05 GMT")});
        } else {
            QCOMPARE(request.headers.value("x-amz-security-token"), token.toUtf8());
            expected = OBSRequestSigner::signRequestV4(
                QStringLiteral("PUT"), key, contentType, contentMD5,
                QString::fromLatin1(
                    QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()),
                credential(token), QStringLiteral("20260102T030405Z"));
        }
        QCOMPARE(request.headers.value("authorization"), expected.last().second.toUtf8());
    }

    void storeReplies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("success");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("204 without body") << 204 << QByteArray() << true << 0 << "";
        QTest::newRow("403 with text")
            << 403 << QByteArray("denied") << false << 403 << "上传失败 (HTTP 403): denied";
        QTest::newRow("500 not utf-8")
            << 500 << QByteArray("\xff\xfe") << false << 500 << "上传失败 (HTTP 500): 上传失败";
    }
    void storeReplies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, success);
        QFETCH(int, code);
        QFETCH(QString, message);
        TestHttpServer store;
        store.setReplies({{status, body, {}, 0}});
        auto uploader = makeUploader(store);
        uploader->setCredentialConfig(credential(QString()));
        Outcome outcome;
        send(*uploader, false, QStringLiteral("a.txt"), writeFile(QStringLiteral("a.txt"), "a"),
             outcome);
        QTRY_COMPARE(outcome.calls, 1);
        QCOMPARE(outcome.success, success);
        if (!success) {
            QCOMPARE(outcome.error, (Error{QStringLiteral("UploadError"), code, message}));
            QCOMPARE(outcome.url, QString());
        }
    }

    void unreachableStoreIsAFailure() {
        quint16 port = 0;
        {
            TestHttpServer closed;
            port = closed.port();
        }
        FileUploader::Configuration configuration;
        configuration.storeAddress = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
        FileUploader uploader(configuration);
        uploader.setCredentialConfig(credential(QString()));
        Outcome outcome;
        send(uploader, false, QStringLiteral("a.txt"), writeFile(QStringLiteral("a.txt"), "a"),
             outcome);
        QTRY_COMPARE(outcome.calls, 1);
        QVERIFY(!outcome.success);
        QVERIFY(outcome.error);
    }

    void progressOfALargeFile() {
        TestHttpServer store;
        auto uploader = makeUploader(store);
        uploader->setCredentialConfig(credential(QStringLiteral("tok")));
        const QString path = writeFile(QStringLiteral("big.bin"), QByteArray(6 << 20, 'b'));
        QList<ProgressStep> steps;
        Outcome outcome;
        send(*uploader, false, QStringLiteral("big.bin"), path, outcome,
             [&steps](float fraction, const QString& speed, const QString&) {
                 steps.append({fraction, speed, MainQueue::isMainThread()});
             });
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 20000);
        QVERIFY(outcome.success);
        QCOMPARE(store.requests().first().body.size(), 6 << 20);
        QVERIFY(!steps.isEmpty());
        QCOMPARE(steps.first().speed, UploadMetricsTracker::kPlaceholder);
        QCOMPARE(steps.last().fraction, 1.0f);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            QVERIFY(steps[i].onMainThread);
            QVERIFY(i == 0 || steps[i].fraction >= steps[i - 1].fraction);
        }
    }

    void progressRelayMergesWhatWaits_data() {
        QTest::addColumn<QList<int>>("bursts");
        QTest::addColumn<bool>("withHandler");
        QTest::newRow("one report") << QList<int>{1} << true;
        QTest::newRow("a burst from a worker thread") << QList<int>{500} << true;
        QTest::newRow("a report after each delivery") << QList<int>{1, 1, 1} << true;
        QTest::newRow("bursts after deliveries") << QList<int>{3, 200, 2} << true;
        QTest::newRow("no handler") << QList<int>{5} << false;
    }
    // Reports made while the GUI thread is busy wait there as one call carrying the newest
    // values, and run before work queued after them.
    void progressRelayMergesWhatWaits() {
        QFETCH(QList<int>, bursts);
        QFETCH(bool, withHandler);
        QStringList events;
        UploadProgressRelay relay(
            withHandler ? UploadProgressRelay::Handler(
                              [&events](float fraction, const QString& speed, const QString& left) {
                                  QVERIFY(MainQueue::isMainThread());
                                  events
                                      << QStringLiteral("%1 %2 %3").arg(fraction).arg(speed, left);
                              })
                        : UploadProgressRelay::Handler());
        QStringList expected;
        for (qsizetype burst = 0; burst < bursts.size(); ++burst) {
            const int reports = bursts[burst];
            std::thread worker([&relay, reports] {
                for (int i = 1; i <= reports; ++i) {
                    relay.post(static_cast<float>(i) / static_cast<float>(reports),
                               QString::number(i), QStringLiteral("r%1").arg(i));
                }
            });
            worker.join();
            const QString end = QStringLiteral("end of burst %1").arg(burst);
            MainQueue::async([&events, end] { events << end; });
            if (withHandler) {
                expected << QStringLiteral("1 %1 r%1").arg(reports);
            }
            expected << end;
            QTRY_COMPARE(events, expected);
        }
        QCoreApplication::processEvents();
        QCOMPARE(events, expected);
    }

    void emptyFileReportsItsWholeOnce() {
        TestHttpServer store;
        auto uploader = makeUploader(store);
        uploader->setCredentialConfig(credential(QStringLiteral("tok")));
        QList<float> fractions;
        Outcome outcome;
        send(*uploader, false, QStringLiteral("empty.txt"),
             writeFile(QStringLiteral("empty.txt"), QByteArray()), outcome,
             [&fractions, &outcome](float fraction, const QString&, const QString&) {
                 QCOMPARE(outcome.calls, 0);
                 fractions.append(fraction);
             });
        QTRY_COMPARE(outcome.calls, 1);
        QVERIFY(outcome.success);
        QCOMPARE(fractions, QList<float>{1.0f});
    }

    // Hashing runs off the GUI thread, so a file that exists but can't be read is reported
    // later, still on the GUI thread, and nothing is sent.
    void unreadableFileFailsOnTheGuiThreadLater() {
        TestHttpServer store;
        auto uploader = makeUploader(store);
        uploader->setCredentialConfig(credential(QStringLiteral("tok")));
        Outcome outcome;
        send(*uploader, false, QStringLiteral("folder"), m_dir.path(), outcome);
        QCOMPARE(outcome.calls, 0);
        QTRY_COMPARE(outcome.calls, 1);
        QVERIFY(outcome.onMainThread);
        QVERIFY(!outcome.success);
        QCOMPARE(outcome.error.value_or(Error{}).domain, QStringLiteral("FileDigest"));
        QTest::qWait(50);  // nothing is sent later either
        QCOMPARE(store.requests().size(), 0);
    }

    void noFetchNeededOrPossible_data() {
        QTest::addColumn<bool>("current");
        QTest::addColumn<QString>("line");
        QTest::newRow("current credential")
            << true << "FileUploader.updateAuthCredentialIfNeeded, 不需要刷新桶Credential";
        QTest::newRow("no auth domain") << false << "FileUploader.credentialConfig is nil";
    }
    void noFetchNeededOrPossible() {
        QFETCH(bool, current);
        QFETCH(QString, line);
        TestHttpServer service;
        auto uploader = makeUploader(service);
        if (current) {
            uploader->setAuthDomain(service.baseUrl().toString());
            uploader->setCredentialConfig(credential(QString(), kNow.toSecsSinceEpoch() + 1));
        }
        int calls = 0;
        uploader->updateAuthCredentialIfNeeded([&calls] { ++calls; });
        QCOMPARE(calls, 0);
        QTRY_COMPARE(calls, 1);
        QCOMPARE(m_lines, QStringList{line});
        QCOMPARE(uploader->credentialConfig().has_value(), current);
        QCOMPARE(service.requests().size(), 0);
    }

    void credentialReplies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QStringList>("lines");
        const QByteArray data = R"({"ak":"NEWAK","sk":"NEWSK","bucket":"b2","endPoint":"e.r.c",)"
                                R"("token":"NEWTOKEN","validSecond":3600,"expiredAt":1767330245})";
        const QString stored = QStringLiteral(
            "Optional<FileUploader>.updateAuthCredentialIfNeeded, 过期时间: 2026-01-02 05:04:05 "
            "+0000");
        QTest::newRow("code 0 with data")
            << 200 << R"({"msg":"ok","code":0,"data":)" + data + "}" << true << QStringList{stored};
        QTest::newRow("status 500, decodable")
            << 500 << R"({"msg":"ok","code":0,"data":)" + data + "}" << true << QStringList{stored};
        QTest::newRow("null data")
            << 200 << QByteArray(R"({"msg":"none","code":0,"data":null})") << false
            << QStringList{QStringLiteral("获取OBS配置失败: code=0, msg=none")};
        QTest::newRow("refused") << 200 << QByteArray(R"({"msg":"bad sign","code":4003})") << false
                                 << QStringList{
                                        QStringLiteral("获取OBS配置失败: code=4003, msg=bad sign")};
        QByteArray withoutToken = data;
        withoutToken.replace(R"("token":"NEWTOKEN",)", "");
        QTest::newRow("data without token")
            << 200 << R"({"msg":"ok","code":0,"data":)" + withoutToken + "}" << false
            << QStringList{QStringLiteral("解析OBS配置失败: 缺少键 \"token\""),
                           QStringLiteral("OBS配置原始响应: {\"msg\":\"ok\",\"code\":0,\"data\":"
                                          "{\"ak\":\"***\",\"sk\":\"***\",\"bucket\":\"b2\","
                                          "\"endPoint\":\"e.r.c\",\"validSecond\":3600,"
                                          "\"expiredAt\":1767330245}}")};
    }
    void credentialReplies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, stored);
        QFETCH(QStringList, lines);
        TestHttpServer service;
        service.setReplies({{status, body, {}, 0}});
        auto uploader = makeUploader(service);
        uploader->setAuthDomain(service.baseUrl().toString());
        // Ends exactly now, so it counts as expired.
        const OBSConfig old = credential(QString(), kNow.toSecsSinceEpoch());
        uploader->setCredentialConfig(old);
        int calls = 0;
        uploader->updateAuthCredentialIfNeeded([&calls] { ++calls; });
        QTRY_COMPARE(calls, 1);
        QCOMPARE(m_lines,
                 QStringList{QStringLiteral("FileUploader.credentialConfig date is out")} + lines);
        if (stored) {
            const OBSConfig expected{QStringLiteral("NEWAK"),
                                     QStringLiteral("NEWSK"),
                                     QStringLiteral("b2"),
                                     std::nullopt,
                                     QStringLiteral("e.r.c"),
                                     QStringLiteral("NEWTOKEN"),
                                     3600,
                                     1767330245};
            QCOMPARE(uploader->credentialConfig(), std::optional<OBSConfig>(expected));
        } else {
            QCOMPARE(uploader->credentialConfig(), std::optional<OBSConfig>(old));
        }

        QCOMPARE(service.requests().size(), 1);
        const TestHttpServer::Request& request = service.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.target, QByteArray("/api/rest/user/file/obs/getCredential"));
        QCOMPARE(request.headers.value("x-client-type"), QByteArray("MAC"));
        QCOMPARE(request.headers.value("x-client-version"), QByteArray("9.9.9"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        const QJsonObject sent = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(sent.value(QStringLiteral("timestamp")).toInteger(), 1767323045000);
        QCOMPARE(sent.value(QStringLiteral("sign")).toString(),
                 QString::fromLatin1(
                     QCryptographicHash::hash("1767323045000quembro964", QCryptographicHash::Md5)
                         .toHex()));
    }
};

QTEST_GUILESS_MAIN(FileUploaderTest)
#include "tst_FileUploader.moc"
