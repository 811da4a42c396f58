#include "TestHttpServer.h"
#include "api/KXNetworkManager.h"
#include "upload/FileDigests.h"
#include "upload/FileUploader.h"
#include "upload/MultiFileUploadManager.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUrlQuery>

namespace {

const QDateTime kNow(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());
const QString kStoreURL = QStringLiteral("https://bkt.obs.example.com/file/");

TestHttpServer::Reply json(const QByteArray& body, int status = 200, int delayMs = 0) {
    return {status, body, {{"Content-Type", "application/json"}}, delayMs};
}

QUrlQuery queryOf(const TestHttpServer::Request& request) {
    return QUrlQuery(QUrl(QString::fromUtf8(request.target)));
}

}  // namespace

class UploadQueueTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_lines;
    std::unique_ptr<TestHttpServer> m_api;
    std::unique_ptr<TestHttpServer> m_store;
    std::unique_ptr<KXNetworkManager> m_network;
    std::unique_ptr<FileUploader> m_uploader;
    std::unique_ptr<MultiFileUploadManager> m_manager;
    int m_updates = 0;
    int m_completions = 0;

    SelectedUploadFile file(const QString& name, const QString& uuid, bool create = true,
                            qint64 size = 1) {
        const QString path = m_dir.filePath(name);
        if (create) {
            QFile out(path);
            out.open(QIODevice::WriteOnly);
            out.write(name.toUtf8());
        }
        return {QUrl::fromLocalFile(path), uuid, size, FileType::document};
    }

    // Lines other than the progress lines, whose number depends on timing.
    QStringList lines() const {
        QStringList kept;
        for (const QString& line : m_lines) {
            if (!line.startsWith(QStringLiteral("📊"))) {
                kept << line;
            }
        }
        return kept;
    }

    bool idle() const { return m_completions > 0 && !m_manager->currentUploadingTask(); }

private Q_SLOTS:
    void init() {
        m_lines.clear();
        m_updates = 0;
        m_completions = 0;
        m_api = std::make_unique<TestHttpServer>();
        m_store = std::make_unique<TestHttpServer>();
        KXNetworkManager::Configuration api;
        api.apiBaseUrl = m_api->baseUrl();
        api.requestTimeout = std::chrono::seconds(5);
        api.resourceTimeout = std::chrono::seconds(5);
        m_network = std::make_unique<KXNetworkManager>(api, [] {
            return UserCredentials{QStringLiteral("u1"), QStringLiteral("t1")};
        });
        FileUploader::Configuration store;
        store.storeAddress = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_store->port()));
        store.now = [] { return kNow; };
        store.console = [this](const QString& line) { m_lines << line; };
        m_uploader = std::make_unique<FileUploader>(store);
        m_uploader->setCredentialConfig(OBSConfig{
            QStringLiteral("AK"), QStringLiteral("SK"), QStringLiteral("bkt"), std::nullopt,
            QStringLiteral("obs.example.com"), QString(), 3600, kNow.toSecsSinceEpoch() + 3600});
        m_manager = std::make_unique<MultiFileUploadManager>(
            *m_uploader, *m_network, [this](const QString& line) { m_lines << line; });
        connect(m_manager.get(), &MultiFileUploadManager::onTasksUpdated, this,
                [this](const MultiFileUploadManager::TaskList&) { ++m_updates; });
        connect(m_manager.get(), &MultiFileUploadManager::onAllTasksCompleted, this,
                [this] { ++m_completions; });
    }

    void oneFileAllTheWay() {
        m_api->setReplies({json(R"({"code":0,"msg":"ok"})"), json(R"({"code":200,"msg":"ok"})")});
        // Declared larger than the 32-bit size the registration carries.
        m_manager->addFiles(
            {file(QStringLiteral("a.txt"), QStringLiteral("A"), true, 3LL * 1024 * 1024 * 1024)});
        QTRY_VERIFY(idle());
        const auto task = m_manager->uploadQueue().first();
        const QString md5 = digestHex(fileMD5(task->fileURL.toLocalFile()).value());
        QCOMPARE(task->status, FileUploadStatus::success);
        QCOMPARE(task->md5, std::optional<QString>(md5));
        QCOMPARE(task->progress, 1.0);
        QCOMPARE(task->uploadedURL, std::optional<QString>(kStoreURL + QStringLiteral("a.txt")));
        QCOMPARE(lines(),
                 (QStringList{QStringLiteral("📝 已添加 1 个上传任务，队列总数: 1"),
                              QStringLiteral("📤 开始上传: a.txt"),
                              QStringLiteral("FileUploader.updateAuthCredentialIfNeeded, "
                                             "不需要刷新桶Credential"),
                              QStringLiteral("✅ [a.txt] OBS 上传成功，正在登记文件信息: ") +
                                  kStoreURL + QStringLiteral("a.txt"),
                              QStringLiteral("📋 上传文件信息: a.txt -> ") + kStoreURL +
                                  QStringLiteral("a.txt"),
                              QStringLiteral("✅ [a.txt] 文件信息登记成功"),
                              QStringLiteral("✅ 所有上传任务已完成")}));
        QCOMPARE(m_completions, 1);

        QCOMPARE(m_api->requests().size(), 2);
        const QUrlQuery check = queryOf(m_api->requests()[0]);
        QCOMPARE(check.queryItemValue(QStringLiteral("md5")), md5);
        const QUrlQuery registration = queryOf(m_api->requests()[1]);
        QVERIFY(m_api->requests()[1].target.contains("/rest/cph/user/file/upload"));
        QCOMPARE(registration.queryItemValue(QStringLiteral("size")), QStringLiteral("2147483647"));
        QCOMPARE(registration.queryItemValue(QStringLiteral("fileType")), QStringLiteral("3"));
        QCOMPARE(registration.queryItemValue(QStringLiteral("appName")), QStringLiteral("a.txt"));
        QCOMPARE(registration.queryItemValue(QStringLiteral("path"), QUrl::FullyDecoded),
                 kStoreURL + QStringLiteral("a.txt"));
        QCOMPARE(m_manager->uploadStatistics(),
                 (MultiFileUploadManager::Statistics{1, 0, 0, 1, 0}));
    }

    void failures_data() {
        QTest::addColumn<QList<TestHttpServer::Reply>>("apiReplies");
        QTest::addColumn<int>("storeStatus");
        QTest::addColumn<QString>("errorMessage");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("storeRequests");
        QTest::newRow("check refused")
            << QList{json(R"({"code":500,"msg":"x"})")} << 200 << "文件校验失败"
            << "" << 0;
        QTest::newRow("check code 0 under status 500")
            << QList{json(R"({"code":0})", 500)} << 200 << "文件校验失败"
            << "" << 0;
        QTest::newRow("check without code")
            << QList{json(R"({"msg":"x"})")} << 200 << "文件校验失败"
            << "" << 0;
        QTest::newRow("store refuses")
            << QList{json(R"({"code":0})")} << 403 << "上传失败 (HTTP 403): "
            << "❌ [a.txt] 上传失败: 上传失败 (HTTP 403): " << 1;
        QTest::newRow("registration refused")
            << QList{json(R"({"code":0})"), json(R"({"code":7,"msg":"nope"})")} << 200 << "nope"
            << "❌ 文件信息登记失败: nope" << 1;
        QTest::newRow("registration refused without msg")
            << QList{json(R"({"code":0})"), json(R"({"code":7})")} << 200 << "文件信息登记失败"
            << "❌ 文件信息登记失败: 文件信息登记失败" << 1;
    }
    void failures() {
        QFETCH(QList<TestHttpServer::Reply>, apiReplies);
        QFETCH(int, storeStatus);
        QFETCH(QString, errorMessage);
        QFETCH(QString, line);
        QFETCH(int, storeRequests);
        m_api->setReplies(apiReplies);
        m_store->setReplies({{storeStatus, {}, {}, 0}});
        m_manager->addFiles({file(QStringLiteral("a.txt"), QStringLiteral("A"))});
        QTRY_VERIFY(idle());
        const auto task = m_manager->uploadQueue().first();
        QCOMPARE(task->status, FileUploadStatus::failed);
        QCOMPARE(task->errorMessage, std::optional<QString>(errorMessage));
        QCOMPARE(m_store->requests().size(), storeRequests);
        QCOMPARE(lines().last(), QStringLiteral("✅ 所有上传任务已完成"));
        QCOMPARE(lines().contains(line), !line.isEmpty());
    }

    void oneReadServesCheckSignatureAndRegistration_data() {
        QTest::addColumn<QString>("token");
        QTest::newRow("header scheme") << QString();
        QTest::newRow("version 4") << QStringLiteral("tok");
    }
    // The file changes while its check is under way: the check, the signed PUT and the
    // registration still all describe the bytes of the one read made before the check.
    void oneReadServesCheckSignatureAndRegistration() {
        QFETCH(QString, token);
        OBSConfig credential = *m_uploader->credentialConfig();
        credential.token = token;
        m_uploader->setCredentialConfig(credential);
        m_api->setReplies({json(R"({"code":0})", 200, 300), json(R"({"code":0})")});
        const SelectedUploadFile chosen = file(QStringLiteral("a.txt"), QStringLiteral("A"));
        const QByteArray read = QByteArrayLiteral("a.txt");
        m_manager->addFiles({chosen});
        QTRY_COMPARE(m_api->requests().size(), 1);
        {
            QFile out(chosen.fileURL.toLocalFile());
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write("changed while it was checked");
        }
        QTRY_VERIFY(idle());

        const QByteArray md5 = QCryptographicHash::hash(read, QCryptographicHash::Md5);
        QCOMPARE(queryOf(m_api->requests()[0]).queryItemValue(QStringLiteral("md5")),
                 digestHex(md5));
        QCOMPARE(queryOf(m_api->requests()[1]).queryItemValue(QStringLiteral("md5")),
                 digestHex(md5));
        QCOMPARE(m_store->requests().size(), 1);
        const TestHttpServer::Request& put = m_store->requests().first();
        QCOMPARE(put.headers.value("content-md5"), md5.toBase64());
        if (!token.isEmpty()) {
            QCOMPARE(put.headers.value("x-amz-content-sha256"),
                     QCryptographicHash::hash(read, QCryptographicHash::Sha256).toHex());
        }
    }

    void unreadableFileFailsBeforeAnyRequest() {
        m_api->setReplies({json(R"({"code":0})")});
        m_manager->addFiles({file(QStringLiteral("gone.txt"), QStringLiteral("G"), false),
                             file(QStringLiteral("b.txt"), QStringLiteral("B"))});
        QTRY_VERIFY(idle());
        const auto queue = m_manager->uploadQueue();
        QCOMPARE(queue[0]->status, FileUploadStatus::failed);
        QVERIFY(!queue[0]->errorMessage.value_or(QString()).isEmpty());
        QCOMPARE(queue[1]->status, FileUploadStatus::success);
        QCOMPARE(queryOf(m_api->requests().first()).queryItemValue(QStringLiteral("md5")),
                 *queue[1]->md5);
        QCOMPARE(m_manager->uploadStatistics(),
                 (MultiFileUploadManager::Statistics{2, 0, 0, 1, 1}));
    }

    void emptyAdditionCompletesAtOnce() {
        m_manager->addFiles({});
        QCOMPARE(m_lines, (QStringList{QStringLiteral("📝 已添加 0 个上传任务，队列总数: 0"),
                                       QStringLiteral("✅ 所有上传任务已完成")}));
        QCOMPARE(m_updates, 1);
        QCOMPARE(m_completions, 1);
    }

    void cancelOnlyWaitingTasks() {
        // The slow check keeps the first task uploading while the others wait.
        m_api->setReplies({json(R"({"code":0})", 200, 300), json(R"({"code":0})")});
        m_manager->addFiles({file(QStringLiteral("a.txt"), QStringLiteral("A"))});
        m_manager->addFiles({file(QStringLiteral("b.txt"), QStringLiteral("B")),
                             file(QStringLiteral("c.txt"), QStringLiteral("B"))});
        QVERIFY(m_lines.contains(QStringLiteral("⏳ 已有任务正在上传，等待中...")));
        m_lines.clear();
        m_manager->cancelTask(QStringLiteral("A"));
        m_manager->cancelTask(QStringLiteral("nobody"));
        QCOMPARE(m_lines, QStringList());
        m_manager->cancelTask(QStringLiteral("B"));
        QCOMPARE(m_lines, QStringList{QStringLiteral("🚫 已取消任务: b.txt")});
        QCOMPARE(m_manager->uploadQueue().size(), 2);
        QCOMPARE(m_manager->uploadQueue()[1]->fileName(), QStringLiteral("c.txt"));
        QTRY_VERIFY(idle());
        QCOMPARE(m_manager->uploadStatistics(),
                 (MultiFileUploadManager::Statistics{2, 0, 0, 2, 0}));
        m_manager->cancelTask(QStringLiteral("A"));
        QCOMPARE(m_manager->uploadQueue().size(), 2);
    }

    void clearingDuringAnUploadStillRegistersIt() {
        m_api->setReplies({json(R"({"code":0})", 200, 200), json(R"({"code":0})")});
        m_manager->setSelectedFiles({file(QStringLiteral("x.txt"), QStringLiteral("X"))});
        m_manager->addFiles({file(QStringLiteral("a.txt"), QStringLiteral("A"))});
        const auto task = m_manager->uploadQueue().first();
        m_manager->clearQueue();
        QVERIFY(m_manager->uploadQueue().isEmpty());
        QVERIFY(m_manager->selectedFiles().isEmpty());
        QVERIFY(!m_manager->currentUploadingTask());
        QVERIFY(m_lines.contains(QStringLiteral("🗑️ 已清空上传队列")));
        QTRY_COMPARE(m_completions, 1);
        QCOMPARE(task->status, FileUploadStatus::success);
        QCOMPARE(m_api->requests().size(), 2);
    }

    // The cleared upload is still on the wire: the new file waits for it, and its late end
    // neither ends the new task nor starts a second upload beside it.
    void clearThenAddDuringAnUploadRunsOneAtATime() {
        m_api->setReplies({json(R"({"code":0})")});
        m_store->setReplies({{200, {}, {}, 400}});
        m_manager->addFiles({file(QStringLiteral("a.txt"), QStringLiteral("A"))});
        const auto first = m_manager->uploadQueue().first();
        QTRY_COMPARE(m_store->requests().size(), 1);
        m_manager->clearQueue();
        m_lines.clear();
        m_manager->addFiles({file(QStringLiteral("b.txt"), QStringLiteral("B"))});
        const auto second = m_manager->uploadQueue().first();
        QCOMPARE(second->status, FileUploadStatus::waiting);
        QVERIFY(m_lines.contains(QStringLiteral("⏳ 已有任务正在上传，等待中...")));

        QTRY_COMPARE(second->status, FileUploadStatus::success);
        QCOMPARE(first->status, FileUploadStatus::success);
        QCOMPARE(m_store->requests().size(), 2);
        // The second PUT left only after the first one's delayed answer.
        QVERIFY(m_store->requests()[1].receivedAtMs - m_store->requests()[0].receivedAtMs >= 400);
        QCOMPARE(m_lines.count(QStringLiteral("✅ [a.txt] 文件信息登记成功")), 1);
        QCOMPARE(m_lines.count(QStringLiteral("✅ [b.txt] 文件信息登记成功")), 1);
        QCOMPARE(m_lines.count(QStringLiteral("📤 开始上传: b.txt")), 1);
        QCOMPARE(m_completions, 1);
        QVERIFY(!m_manager->currentUploadingTask());
        QTest::qWait(100);  // no third request follows
        QCOMPARE(m_store->requests().size(), 2);
    }

    void destroyingTheManagerDuringTheCheckDoesNotHang() {
        m_api->setReplies({json(R"({"code":0})", 200, 3000)});
        m_manager->addFiles({file(QStringLiteral("a.txt"), QStringLiteral("A"))});
        QTRY_COMPARE(m_api->requests().size(), 1);
        QElapsedTimer clock;
        clock.start();
        m_manager.reset();
        QVERIFY(clock.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(UploadQueueTest)
#include "tst_UploadQueue.moc"
