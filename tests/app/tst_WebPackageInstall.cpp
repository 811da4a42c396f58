#include "WebContentTestSupport.h"

#include "../api/LogCapture.h"
#include "ProcessSettingsRestorer.h"
#include "TestHttpServer.h"
#include "app/LocalImageServer.h"
#include "foundation/concurrency/ProcessSignals.h"

#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

using namespace webtest;
using Reply = TestHttpServer::Reply;

namespace {

// What one start reported through its callbacks.
struct Outcome {
    QList<QUrl> completed;
    QList<Error> failed;
    QStringList texts;
    bool ended() const { return !completed.isEmpty() || !failed.isEmpty(); }
};

DownloadCompletion recordInto(Outcome& outcome) {
    DownloadCompletion completion;
    completion.onProgress = [&outcome](const DownloadProgress& progress) {
        if (outcome.texts.value(outcome.texts.size() - 1) != progress.statusMessage) {
            outcome.texts << progress.statusMessage;
        }
    };
    completion.onCompleted = [&outcome](const QUrl& entry) { outcome.completed << entry; };
    completion.onFailed = [&outcome](const Error& error) { outcome.failed << error; };
    return completion;
}

QString packageUrl(const TestHttpServer& server) {
    return QStringLiteral("http://127.0.0.1:%1/pc.zip").arg(server.port());
}

Reply zipReply(const QByteArray& zip) {
    return Reply{200, zip, {{"Content-Type", "application/zip"}}};
}

// Every file under `folder`, relative, sorted.
QStringList filesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << QDir(folder).relativeFilePath(it.next());
    }
    files.sort();
    return files;
}

struct Fetched {
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

// One GET through Qt's own client, waiting at most ten seconds.
Fetched fetch(const QString& url) {
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(url))));
    if (!QTest::qWaitFor([&reply] { return reply->isFinished(); }, 10000)) {
        return {};
    }
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
}

}  // namespace

class WebPackageInstallTest : public QObject {
    Q_OBJECT

    ProcessSettingsRestorer m_processSettings;

private Q_SLOTS:
    // As the client does, for the loopback servers started here (which may also raise the
    // descriptor limit); both are the process's own again at the end.
    void initTestCase() {
        m_processSettings.saveSignal(SIGPIPE);
        m_processSettings.saveLimit(RLIMIT_NOFILE);
        ProcessSignals::ignoreBrokenPipe();
    }
    void cleanupTestCase() { m_processSettings.restore(); }

    void aServerThatKeepsFailingIsTriedThreeTimes() {
        Sandbox sandbox;
        TestHttpServer server;
        server.setReplies({Reply{404, "<html>missing</html>", {{"Content-Type", "text/html"}}}});
        WebContentManager manager(sandbox.options());
        Outcome outcome;
        manager.startWebPackageDownload(packageUrl(server), QStringLiteral("0.7.09"),
                                        recordInto(outcome));
        QTRY_VERIFY(outcome.ended());
        QTest::qWait(100);  // no fourth attempt follows
        QCOMPARE(server.requests().size(), 3);
        QCOMPARE(outcome.failed.size(), 1);
        QCOMPARE(outcome.failed[0].code, 404);
        // The error pages' bytes are reported too; only the attempt texts matter here.
        const QStringList attemptTexts =
            outcome.texts.filter(QRegularExpression("^(?!正在下载\\.\\.\\. )"));
        QCOMPARE(attemptTexts, (QStringList{
                                   "开始下载...",
                                   "下载失败，1 秒后进行第 2/3 次尝试...",
                                   "正在重试下载（第 2/3 次）...",
                                   "下载失败，2 秒后进行第 3/3 次尝试...",
                                   "正在重试下载（第 3/3 次）...",
                                   "Web 资源下载失败：服务器返回 HTTP 404",
                               }));
        QCOMPARE(manager.progress().currentStep, DownloadStep::failed);
        QCOMPARE(manager.progress().error->message, QStringLiteral("服务器返回 HTTP 404"));
        QVERIFY(QFileInfo::exists(versionEntry(QStringLiteral("0.6.87"))));
    }

    void aSecondAttemptInstallsThePackage() {
        Sandbox sandbox;
        TestHttpServer server;
        server.setReplies({Reply{503, "busy"}, zipReply(packageZip())});
        WebContentManager manager(sandbox.options());
        writeFile(QDir(webRoot()).filePath(QStringLiteral("stray.txt")), "x");
        Outcome outcome;
        manager.startWebPackageDownload(packageUrl(server), QStringLiteral("0.7 09"),
                                        recordInto(outcome));
        QCOMPARE(manager.activeWebVersion(), QStringLiteral("0.7_09"));
        QTRY_VERIFY(outcome.ended());
        QCOMPARE(outcome.failed.size(), 0);
        QCOMPARE(outcome.completed,
                 QList<QUrl>{QUrl::fromLocalFile(versionEntry(QStringLiteral("0.7_09")))});
        QVERIFY(outcome.texts.contains(QStringLiteral("正在重试下载（第 2/3 次）...")));
        QVERIFY(outcome.texts.contains(QStringLiteral("正在解压文件... (0/10)")));
        QCOMPARE(outcome.texts.last(), QStringLiteral("下载解压完成！"));
        QCOMPARE(QDir(webRoot()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"0.7_09"});
        QVERIFY(QFileInfo::exists(QDir(webRoot()).filePath(QStringLiteral("0.7_09/pc/js/app.js"))));
        QVERIFY(!QFileInfo::exists(sandbox.temporaryZip()));
        QVERIFY(manager.isReady());
        QCOMPARE(manager.progress().overallProgress, 1.0);
        QCOMPARE(manager.totalFileCount(), 10);
    }

    void anInstalledVersionNeedsNoTransfer() {
        Sandbox sandbox;
        TestHttpServer server;
        WebContentManager manager(sandbox.options());
        Outcome outcome;
        manager.startWebPackageDownload(packageUrl(server), QStringLiteral("0.6.87"),
                                        recordInto(outcome));
        QTRY_VERIFY(outcome.ended());
        QCOMPARE(outcome.completed,
                 QList<QUrl>{QUrl::fromLocalFile(versionEntry(QStringLiteral("0.6.87")))});
        QCOMPARE(server.requests().size(), 0);
    }

    // Whatever stands where the version goes is replaced by the package alone, and a link there
    // is taken away without touching what it leads to.
    void theVersionsPlaceIsClearedFirst_data() {
        QTest::addColumn<QString>("occupant");
        QTest::newRow("half-filled folder") << "folder";
        QTest::newRow("file") << "file";
        QTest::newRow("link to a folder outside") << "link";
    }
    void theVersionsPlaceIsClearedFirst() {
        QFETCH(QString, occupant);
        Sandbox sandbox;
        TestHttpServer server;
        server.setReplies({zipReply(packageZip())});
        WebContentManager manager(sandbox.options());
        const QString place = QDir(webRoot()).filePath(QStringLiteral("0.7.09"));
        const QString outside = sandbox.scratch.filePath(QStringLiteral("outside"));
        QVERIFY(writeFile(QDir(outside).filePath(QStringLiteral("pc/keep.txt")), "keep"));
        if (occupant == QLatin1String("folder")) {
            QVERIFY(writeFile(QDir(place).filePath(QStringLiteral("pc/stale.txt")), "old"));
        } else if (occupant == QLatin1String("file")) {
            QVERIFY(writeFile(place, "old"));
        } else {
            QVERIFY(QFile::link(outside, place));
        }
        Outcome outcome;
        manager.startWebPackageDownload(packageUrl(server), QStringLiteral("0.7.09"),
                                        recordInto(outcome));
        QTRY_VERIFY(outcome.ended());
        QCOMPARE(outcome.failed.size(), 0);
        QVERIFY(!QFileInfo(place).isSymLink());
        QCOMPARE(filesUnder(place), (QStringList{"pc/index.html", "pc/js/app.js"}));
        QCOMPARE(filesUnder(outside), QStringList{"pc/keep.txt"});
    }

    // The whole path a page takes: a package downloaded and installed by the manager, then read
    // back through the loopback server that serves the manager's documents root.
    void theLoopbackServerServesTheInstalledPackage_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("entry") << "0.7_09/pc/index.html" << 200 << QByteArray("text/html")
                               << QByteArray("<html>downloaded</html>");
        QTest::newRow("script") << "0.7_09/pc/js/app.js" << 200
                                << QByteArray("application/javascript")
                                << QByteArray("console.log(1)");
        QTest::newRow("pruned built-in copy")
            << "0.6.87/pc/index.html" << 404 << QByteArray() << QByteArray();
    }
    void theLoopbackServerServesTheInstalledPackage() {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        Sandbox sandbox;
        TestHttpServer packages;
        packages.setReplies({zipReply(packageZip())});
        WebContentManager manager(sandbox.options());
        LocalImageServer server(*sandbox.settings);
        server.setDocumentsRootProvider(
            [&manager] { return manager.pathManager().webDocumentsRoot(); });
        server.start();
        QVERIFY(server.isRunning());
        Outcome outcome;
        manager.startWebPackageDownload(packageUrl(packages), QStringLiteral("0.7 09"),
                                        recordInto(outcome));
        QTRY_VERIFY(outcome.ended());
        QCOMPARE(outcome.completed.size(), 1);
        // The entry the manager reports is the one the server maps to its own address.
        const std::optional<QString> entryURL =
            server.webContentURL(outcome.completed[0], QString());
        QCOMPARE(entryURL, QStringLiteral("http://localhost:%1/web-content/0.7_09/pc/index.html")
                               .arg(server.port()));

        const Fetched fetched = fetch(
            QStringLiteral("http://127.0.0.1:%1/web-content/%2").arg(server.port()).arg(path));
        server.stop();
        QCOMPARE(fetched.status, status);
        if (status == 200) {
            QVERIFY2(fetched.contentType.startsWith(contentType), fetched.contentType.constData());
            QCOMPARE(fetched.body, body);
        }
    }

    // Versions that name no folder of their own fail before anything is touched.
    void unusableStartsFailAtOnce_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("code");
        QTest::newRow("empty version") << "http://127.0.0.1:1/pc.zip"
                                       << "" << -6;
        QTest::newRow("dot") << "http://127.0.0.1:1/pc.zip"
                             << "." << -6;
        QTest::newRow("dot dot") << "http://127.0.0.1:1/pc.zip"
                                 << ".." << -6;
        QTest::newRow("no address") << ""
                                    << "0.7.09" << -1;
        QTest::newRow("not an address") << "http://exa mple.com/%zz"
                                        << "0.7.09" << -1;
    }
    void unusableStartsFailAtOnce() {
        QFETCH(QString, url);
        QFETCH(QString, version);
        QFETCH(int, code);
        Sandbox sandbox;
        WebContentManager manager(sandbox.options());
        Outcome outcome;
        manager.startWebPackageDownload(url, version, recordInto(outcome));
        QCOMPARE(outcome.failed.size(), 1);
        QCOMPARE(outcome.failed[0].code, code);
        QCOMPARE(manager.activeWebVersion(), QStringLiteral("0.6.87"));
        QTest::qWait(50);  // nothing removes it later either
        QVERIFY(QFileInfo::exists(versionEntry(QStringLiteral("0.6.87"))));
    }

    void aDownloadThatIsNoZipIsNotRetried() {
        Sandbox sandbox;
        TestHttpServer server;
        server.setReplies(
            {Reply{200, "<html>login</html>", {{"Content-Type", "text/html; charset=utf-8"}}}});
        WebContentManager manager(sandbox.options());
        Outcome outcome;
        manager.startWebPackageDownload(packageUrl(server), QStringLiteral("0.7.09"),
                                        recordInto(outcome));
        QTRY_VERIFY(outcome.ended());
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(outcome.failed.size(), 1);
        QCOMPARE(outcome.failed[0].code, -3);
        QVERIFY(outcome.failed[0].message.contains(QStringLiteral("mimeType=text/html, size=18")));
        QVERIFY(outcome.texts.last().startsWith(
            QStringLiteral("处理下载文件失败: 下载内容不是有效 zip。")));
        QVERIFY(QFileInfo::exists(sandbox.temporaryZip()));
        QVERIFY(QFileInfo::exists(versionEntry(QStringLiteral("0.6.87"))));
    }

    void aNewStartDropsTheRunningOne() {
        Sandbox sandbox;
        TestHttpServer slow;
        slow.setReplies({Reply{200, packageZip(), {}, 400}});
        TestHttpServer fast;
        fast.setReplies({zipReply(packageZip())});
        WebContentManager manager(sandbox.options());
        Outcome first;
        Outcome second;
        manager.startWebPackageDownload(packageUrl(slow), QStringLiteral("1.0.0"),
                                        recordInto(first));
        QTRY_COMPARE(slow.requests().size(), 1);
        manager.startWebPackageDownload(packageUrl(fast), QStringLiteral("2.0.0"),
                                        recordInto(second));
        QTRY_VERIFY(second.ended());
        QTest::qWait(600);  // past the slow reply's 400 ms: the dropped start never ends
        QVERIFY(!first.ended());
        QCOMPARE(second.completed.size(), 1);
        QCOMPARE(QDir(webRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{"2.0.0"});
    }

    void extractionFailures_data() {
        QTest::addColumn<QByteArray>("zip");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("code");
        QByteArray damaged = packageZip();
        damaged.truncate(damaged.size() / 2);
        damaged.append(QByteArray(64, '\x7f'));
        QTest::newRow("zero bytes") << QByteArray() << "WebContentManager" << -2;
        QTest::newRow("damaged") << damaged << "UnzipError" << 0;
        QTest::newRow("no pc/index.html")
            << zipOf({{ZipEntry::file, "web/index.html", "x"}}) << "WebContentManager" << -5;
        const ZipEntry index{ZipEntry::file, "pc/index.html", "x"};
        QTest::newRow("climbs out")
            << zipOf({index, {ZipEntry::file, "../escaped.txt", "x"}}) << "UnzipError" << 0;
        QTest::newRow("deep climb")
            << zipOf({index, {ZipEntry::file, "pc/../../escaped.txt", "x"}}) << "UnzipError" << 0;
        QTest::newRow("absolute name")
            << zipOf({index, {ZipEntry::file, "/tmp/kx-escaped.txt", "x"}}) << "UnzipError" << 0;
        QTest::newRow("link out") << zipOf({index, {ZipEntry::symlink, "pc/etc", "/etc"}})
                                  << "UnzipError" << 0;
        QTest::newRow("write through a link")
            << zipOf({{ZipEntry::symlink, "pc/out", ".."},
                      {ZipEntry::file, "pc/out/escaped.txt", "x"}})
            << "UnzipError" << 0;
    }
    void extractionFailures() {
        QFETCH(QByteArray, zip);
        QFETCH(QString, domain);
        QFETCH(int, code);
        Sandbox sandbox;
        QFile::remove(QStringLiteral("/tmp/kx-escaped.txt"));
        WebContentManager manager(sandbox.options());
        Outcome outcome;
        TestHttpServer server;
        // The version first, so that the extraction below has its own target.
        server.setReplies({Reply{500, ""}});
        manager.startWebPackageDownload(packageUrl(server), QStringLiteral("0.7.09"),
                                        recordInto(outcome));
        QTRY_VERIFY(outcome.ended());
        outcome = {};
        const QString zipPath = sandbox.scratch.filePath(QStringLiteral("package/pc.zip"));
        QVERIFY(writeFile(zipPath, zip));
        const QStringList documentsBefore = filesUnder(documentsRootPath());
        const QStringList scratchBefore = filesUnder(sandbox.scratch.path());

        manager.extractWebPackage(zipPath);
        QTRY_VERIFY(outcome.ended());
        QCOMPARE(outcome.failed.size(), 1);
        QCOMPARE(outcome.failed[0].domain, domain);
        if (code != 0) {
            QCOMPARE(outcome.failed[0].code, code);
        }
        QVERIFY(outcome.texts.last().startsWith(QStringLiteral("解压失败: ")));
        if (code == -2) {
            QCOMPARE(outcome.failed[0].message, QStringLiteral("下载的 zip 文件不存在或为空"));
        }
        // Nothing written outside, the other versions kept, no half-filled version left.
        QCOMPARE(filesUnder(documentsRootPath()), documentsBefore);
        QCOMPARE(filesUnder(sandbox.scratch.path()), scratchBefore);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/kx-escaped.txt")));
        QVERIFY(!QFileInfo::exists(QDir(webRoot()).filePath(QStringLiteral("0.7.09"))));
        QVERIFY(QFileInfo::exists(versionEntry(QStringLiteral("0.6.87"))));
    }
};

QTEST_GUILESS_MAIN(WebPackageInstallTest)
#include "tst_WebPackageInstall.moc"
