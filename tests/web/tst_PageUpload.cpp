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

namespace {

const TestHttpServer::Reply kChecked{200, R"({"code":0,"msg":"ok"})", {}, 0};
const TestHttpServer::Reply kRegistered{200, R"({"code":200,"msg":"ok"})", {}, 0};

// The real queue and uploader, against the service stand-in and the store.
struct Queue {
    Queue(const TestHttpServer& api, const LocalObjectStore& store)
        : network(configurationFor(api),
                  [] {
                      return UserCredentials{"u1", "t1"};
                  }),
          uploader(configurationFor(store)),
          manager(uploader, network, [](const QString&) {}) {
        uploader.setCredentialConfig(OBSConfig{"S3RVER", "S3RVER", "bkt", std::nullopt,
                                               "obs.cn-east-3.example.com", "session-token", 3600,
                                               QDateTime::currentSecsSinceEpoch() + 3600});
    }
    static KXNetworkManager::Configuration configurationFor(const TestHttpServer& api) {
        KXNetworkManager::Configuration configuration;
        configuration.apiBaseUrl = api.baseUrl();
        return configuration;
    }
    static FileUploader::Configuration configurationFor(const LocalObjectStore& store) {
        FileUploader::Configuration configuration;
        configuration.storeAddress = store.address();
        configuration.extraCaCertificates = {store.certificate()};
        configuration.console = [](const QString&) {};
        return configuration;
    }

    KXNetworkManager network;
    FileUploader uploader;
    MultiFileUploadManager manager;
};

int linesContaining(const LineCapture& lines, const QString& text) {
    return static_cast<int>(lines.log().filter(text).size());
}

}  // namespace

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
        Queue queue(m_api, m_store);
        MultiFileUploadManager& manager = queue.manager;
        FileUploader& uploader = queue.uploader;
        m_api.setReplies({kChecked, kRegistered, kChecked, kRegistered});

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
        QCOMPARE(manager.selectedFiles().size(), 2);
        const QString uuidA = manager.selectedFiles()[0].uuid;
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(uuidA).hasMatch());

        const QList<Native2WebMessage> announced = m_sender.messages();
        QCOMPARE(announced.size(), 4);
        const QJsonObject choose = announced[0].data.toObject();
        QCOMPARE(choose["state"], "choose");
        QCOMPARE(choose["files"][1].toObject(),
                 (QJsonObject{{"size", 5000 + paths[1].toUtf8().size()},
                              {"fileName", "shot.PNG"},
                              {"uuid", manager.selectedFiles()[1].uuid}}));
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

    // Every start of the page's upload, after a new choice or with the same one again, leaves
    // one reporter on the queue: each change of it reaches the page once.
    void eachChangeReportedOnceAcrossStarts() {
        LineCapture lines;
        Queue queue(m_api, m_store);
        m_api.setReplies({kChecked, kRegistered});
        const QString path = m_dir.filePath("again.txt");
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("again");
        }
        int changes = 0;
        QObject::connect(&queue.manager, &MultiFileUploadManager::onTasksUpdated,
                         [&changes](const MultiFileUploadManager::TaskList&) { ++changes; });
        WindowMessageHandler::Environment environment;
        environment.sender = &m_sender;
        environment.uploadEnvironment = [&] {
            return PageUploadFlow::Environment{&queue.manager, &queue.uploader, &m_sender,
                                               [&](auto done) { done(QStringList{path}); }};
        };
        WindowMessageHandler handler(environment);
        handler.handle(Web2NativeMessage{"open-upload", std::nullopt, QJsonObject{}});
        QTRY_COMPARE(queue.manager.selectedFiles().size(), 1);
        for (int start = 1; start <= 2; ++start) {
            handler.handle(Web2NativeMessage{"start-upload", std::nullopt, QJsonObject{}});
            QTRY_COMPARE_WITH_TIMEOUT(queue.manager.uploadStatistics().success, start, 20000);
            QTRY_COMPARE(linesContaining(lines, "🎉 所有文件上传完成!"), start);
        }
        QVERIFY(changes > 0);
        QCOMPARE(linesContaining(lines, " 📊 上传统计 - 总数: "), changes);
        QCOMPARE(linesContaining(lines, "🎉 所有文件上传完成!"), 2);
    }
};

QTEST_MAIN(PageUploadTest)
#include "tst_PageUpload.moc"
