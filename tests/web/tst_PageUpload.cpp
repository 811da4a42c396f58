// The page's upload of two chosen files through the real queue, a service stand-in and a real
// S3-compatible store.

#include "LocalObjectStore.h"
#include "RecordingSender.h"
#include "TestHttpServer.h"
#include "WebTestSupport.h"

#include "api/KXNetworkManager.h"
#include "upload/FileDigests.h"
#include "upload/FileUploader.h"
#include "upload/MultiFileUploadManager.h"
#include "web/WindowMessageHandler.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

class PageUploadTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    LocalObjectStore m_store;
    TestHttpServer m_api;
    RecordingSender m_sender;

private Q_SLOTS:
    void initTestCase() {
        const QString why = m_store.start(QStringLiteral(KX_UPLOAD_STORE_DIR));
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    void twoFilesChosenUploadedAndReported() {
        LineCapture lines;
        KXNetworkManager::Configuration api;
        api.apiBaseUrl = m_api.baseUrl();
        KXNetworkManager network(api, [] { return UserCredentials{"u1", "t1"}; });
        FileUploader::Configuration configuration;
        configuration.storeAddress = m_store.address();
        configuration.extraCaCertificates = {m_store.certificate()};
        configuration.console = [](const QString&) {};
        FileUploader uploader(configuration);
        uploader.setCredentialConfig(OBSConfig{"S3RVER", "S3RVER", "bkt", std::nullopt,
                                               "obs.cn-east-3.example.com", "session-token", 3600,
                                               QDateTime::currentSecsSinceEpoch() + 3600});
        MultiFileUploadManager manager(uploader, network, [](const QString&) {});
        const TestHttpServer::Reply ok{200, R"({"code":0,"msg":"ok"})", {}, 0};
        const TestHttpServer::Reply registered{200, R"({"code":200,"msg":"ok"})", {}, 0};
        m_api.setReplies({ok, registered, ok, registered});

        QStringList paths{m_dir.filePath("a b.txt"), m_dir.filePath("shot.PNG")};
        for (const QString& path : paths) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(5000, 'z') + path.toUtf8());
        }
        int chooserCalls = 0;
        WindowMessageHandler::Environment environment;
        environment.sender = &m_sender;
        environment.uploadEnvironment = [&] {
            return PageUploadFlow::Environment{&manager, &uploader, &m_sender, [&](auto done) {
                                                   ++chooserCalls;
                                                   done(paths);
                                               }};
        };
        WindowMessageHandler handler(environment);
        handler.handle(Web2NativeMessage{"open-upload", std::nullopt, QJsonObject{}});
        QTRY_COMPARE(chooserCalls, 1);
        QCOMPARE(manager.selectedFiles.size(), 2);
        const QString uuidA = manager.selectedFiles[0].uuid;
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(uuidA).hasMatch());

        const QList<Native2WebMessage> announced = m_sender.messages();
        QCOMPARE(announced.size(), 4);
        const QJsonObject choose = announced[0].data.toObject();
        QCOMPARE(choose["state"], "choose");
        QCOMPARE(choose["files"][1].toObject(),
                 (QJsonObject{{"size", 5000 + paths[1].toUtf8().size()},
                              {"fileName", "shot.PNG"},
                              {"uuid", manager.selectedFiles[1].uuid}}));
        QCOMPARE(announced[1].type, "upload-detail");
        QCOMPARE(announced[1].data[0]["md5"], uuidA);
        QCOMPARE(announced[1].data[0]["fileType"], 3);
        QCOMPARE(announced[1].data[1]["fileType"], 2);
        QCOMPARE(announced[2].data.toObject(), (QJsonObject{{"state", "ready"}, {"uuid", uuidA}}));

        m_sender.clear();
        handler.handle(Web2NativeMessage{"start-upload", std::nullopt, QJsonObject{}});
        QTRY_COMPARE_WITH_TIMEOUT(m_sender.ofType("upload-complete").size() >= 2, true, 45000);
        QTRY_VERIFY(lines.logged("🎉 所有文件上传完成!"));
        QVERIFY(lines.logged("   成功: 2 个"));

        QSet<QString> completed;
        for (const Native2WebMessage& message : m_sender.ofType("upload-complete")) {
            const QJsonObject data = message.data.toObject();
            const QString uuid = data["uuid"].toString();
            const int index = uuid == uuidA ? 0 : 1;
            QCOMPARE(data["md5"].toString(), digestHex(fileMD5(paths[index]).value()));
            QVERIFY(
                data["cdnPath"].toString().startsWith("https://bkt.obs.cn-east-3.example.com/"));
            QCOMPARE(data["uploadFlag"], true);
            completed << uuid;
        }
        QCOMPARE(completed.size(), 2);
        int lastA = -1;
        for (const Native2WebMessage& message : m_sender.ofType("upload-progress")) {
            const int progress = message.data["progress"].toInt();
            QVERIFY(progress >= 0 && progress <= 100);
            if (message.data["uuid"] == uuidA) {
                QVERIFY(progress >= lastA);
                lastA = progress;
            }
        }
        QCOMPARE(lastA, 100);
        QVERIFY(m_store.read("/file/a%20b.txt"));
    }
};

QTEST_MAIN(PageUploadTest)
#include "tst_PageUpload.moc"
