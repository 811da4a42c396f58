#include "WebContentTestSupport.h"

#include "../api/LogCapture.h"

#include <QSignalSpy>
#include <QTest>

using namespace webtest;

Q_DECLARE_METATYPE(DownloadStep)

class WebContentManagerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartInstallsTheBuiltInPackageOnce() {
        Sandbox sandbox;
        {
            WebContentManager manager(sandbox.options());
            QVERIFY(manager.isReady());
            QCOMPARE(manager.activeWebVersion(), QStringLiteral("0.6.87"));
            QTRY_COMPARE(manager.statusMessage(), QStringLiteral("Web content ready: ") +
                                                      versionEntry(QStringLiteral("0.6.87")));
            QCOMPARE(manager.progress().currentStep, DownloadStep::completed);
            QVERIFY(QFileInfo::exists(
                QDir(webRoot()).filePath(QStringLiteral("0.6.87/pc/css/site.css"))));
        }
        // A second start leaves the installed copy alone.
        writeFile(versionEntry(QStringLiteral("0.6.87")), "edited");
        {
            WebContentManager manager(sandbox.options());
            QVERIFY(manager.isReady());
        }
        QFile entry(versionEntry(QStringLiteral("0.6.87")));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QCOMPARE(entry.readAll(), QByteArray("edited"));
    }

    void aBuiltInFolderWithoutItsEntryIsRecopied() {
        Sandbox sandbox;
        installVersion(QStringLiteral("0.6.87"), false);
        writeFile(QDir(webRoot()).filePath(QStringLiteral("0.6.87/stale.txt")), "old");
        WebContentManager manager(sandbox.options());
        QVERIFY(manager.isReady());
        QVERIFY(QFileInfo::exists(versionEntry(QStringLiteral("0.6.87"))));
        QVERIFY(!QFileInfo::exists(QDir(webRoot()).filePath(QStringLiteral("0.6.87/stale.txt"))));
    }

    void withoutAnyPackageNothingIsReady() {
        Sandbox sandbox;
        QDir(sandbox.builtInFolder()).removeRecursively();
        LogCapture log;
        WebContentManager manager(sandbox.options());
        QVERIFY(!manager.isReady());
        QCOMPARE(manager.activeWebVersion(), QStringLiteral("1.0"));
        QTRY_COMPARE(manager.statusMessage(), QStringLiteral("No web content found"));
        const QString lines = log.take().join(QLatin1Char('\n'));
        QVERIFY(lines.contains(
            QStringLiteral("⚠️ 未找到内置 Web 包 pc/index.html，Bundle=") +
            QFileInfo(sandbox.builtInFolder()).absolutePath()));
        QVERIFY(lines.contains(QStringLiteral("resolveActiveWebVersion 返回 nil")));
        QVERIFY(QFileInfo(webRoot()).isDir());
    }

    void migrationKeepsTheCopyAlreadyInDocuments() {
        Sandbox sandbox;
        const QString container =
            *sandbox.options().sandboxDocumentsPath + QStringLiteral("/KXVWebContent");
        writeFile(container + QStringLiteral("/0.7.09/pc/index.html"), "container");
        writeFile(container + QStringLiteral("/0.8.00/pc/index.html"), "moved");
        installVersion(QStringLiteral("0.7.09"));
        WebContentManager manager(sandbox.options());
        QVERIFY(!QFileInfo::exists(container));
        QFile kept(versionEntry(QStringLiteral("0.7.09")));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("0.7.09"));
        QVERIFY(QFileInfo::exists(versionEntry(QStringLiteral("0.8.00"))));
    }

    void progressFollowsTheSteps() {
        Sandbox sandbox;
        WebContentManager manager(sandbox.options());
        QTRY_COMPARE(manager.progress().currentStep, DownloadStep::completed);
        QList<DownloadStep> stepChanges;
        int progressCalls = 0;
        DownloadCompletion completion;
        completion.onStepChanged = [&](DownloadStep step) { stepChanges << step; };
        completion.onProgress = [&](const DownloadProgress&) { ++progressCalls; };
        // Installed already: only the completion step is published.
        manager.startWebPackageDownload(QStringLiteral("http://127.0.0.1:1/pc.zip"),
                                        QStringLiteral("0.6.87"), completion);
        QTRY_COMPARE(progressCalls, 1);
        QVERIFY(stepChanges.isEmpty());

        struct Row {
            DownloadStep step;
            std::optional<double> download;
            std::optional<double> extraction;
            double overall;
        };
        const QList<Row> rows = {
            {DownloadStep::downloading, 0.5, std::nullopt, 0.2},
            {DownloadStep::downloaded, std::nullopt, std::nullopt, 0.4},
            {DownloadStep::extracting, std::nullopt, 0.5, 0.65},
            {DownloadStep::cleaning, std::nullopt, 1.0, 0.95},
            {DownloadStep::failed, std::nullopt, std::nullopt, 0.95},
            {DownloadStep::completed, std::nullopt, std::nullopt, 1.0},
        };
        LogCapture log;
        for (const Row& row : rows) {
            manager.updateProgress(row.step, row.download, row.extraction, QStringLiteral("s"));
            QTRY_COMPARE(manager.progress().currentStep, row.step);
            QVERIFY2(qFuzzyCompare(manager.progress().overallProgress, row.overall),
                     qPrintable(QString::number(manager.progress().overallProgress)));
        }
        QCOMPARE(stepChanges.size(), rows.size());
        // The same step again: progress and log, no step change.
        manager.updateProgress(DownloadStep::completed, std::nullopt, std::nullopt,
                               QStringLiteral("again"));
        QTRY_COMPARE(manager.statusMessage(), QStringLiteral("again"));
        QCOMPARE(stepChanges.size(), rows.size());
        QCOMPARE(progressCalls, 1 + rows.size() + 1);
        manager.updateProgress(DownloadStep::extracting, std::nullopt, 0.5,
                               QStringLiteral("正在解压文件..."));
        QTRY_VERIFY(manager.isExtracting());
        QVERIFY(manager.isProcessing() && !manager.isDownloading());
        const QStringList lines = log.take();
        QVERIFY(lines.filter(QStringLiteral("📦 [3/5] 正在解压 - 65.0% - 正在解压文件...")).size() ==
                1);
        QVERIFY(lines.filter(QStringLiteral("📦 [-1/5] 失败 - 95.0% - s")).size() == 1);
    }

    void validatesDownloadedFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QString>("failure");  // empty: accepted
        const QByteArray html = "<html>\r\n<body>Not Found</body>\n</html>";
        QTest::newRow("zip served as a 404 page")
            << zipOf({{ZipEntry::file, "pc/index.html", "x"}}) << true << 404 << "text/html"
            << "";
        QTest::newRow("html error page")
            << html << true << 200 << "text/html"
            << "下载内容不是有效 zip。status=200, mimeType=text/html, size=38, "
               "preview=<html>\\r\\n<body>Not Found</body>\\n</html>";
        QTest::newRow("zero bytes")
            << QByteArray() << true << -1 << "-"
            << "下载内容不是有效 zip。status=-1, mimeType=-, size=0, preview=";
        QTest::newRow("missing") << QByteArray() << false << -1 << "-"
                                 << "下载内容不是有效 zip。status=-1, mimeType=-, size=0, preview=";
        QTest::newRow("binary, not a zip")
            << QByteArray("\xff\xfe\x00\x01", 4) << true << 200 << "application/zip"
            << "下载内容不是有效 zip。status=200, "
               "mimeType=application/zip, size=4, preview=<non-utf8>";
    }
    void validatesDownloadedFiles() {
        QFETCH(QByteArray, content);
        QFETCH(bool, present);
        QFETCH(int, status);
        QFETCH(QString, mimeType);
        QFETCH(QString, failure);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("download.zip"));
        if (present) {
            QVERIFY(writeFile(path, content));
        }
        LogCapture log;
        const Result<void> checked =
            WebContentManager::validateDownloadedZip(path, status, mimeType);
        QCOMPARE(checked.ok(), failure.isEmpty());
        if (!checked) {
            QCOMPARE(checked.error().code, -3);
            QCOMPARE(checked.error().message, failure);
        }
        if (!present) {
            QVERIFY(log.take()
                        .join(QLatin1Char('\n'))
                        .contains(QStringLiteral("exists=false, size=0, magic=\n")));
        }
    }

    void choosingAFolderUsesItsDocuments_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("stored");
        QTest::newRow("home folder") << "home"
                                     << "home/Documents";
        QTest::newRow("a Documents folder") << "elsewhere/Documents"
                                            << "elsewhere/Documents";
        QTest::newRow("unreadable") << "missing"
                                    << "";
    }
    void choosingAFolderUsesItsDocuments() {
        QFETCH(QString, chosen);
        QFETCH(QString, stored);
        Sandbox sandbox;
        QDir().mkpath(sandbox.scratch.filePath(QStringLiteral("home/Documents")));
        QDir().mkpath(sandbox.scratch.filePath(QStringLiteral("elsewhere/Documents")));
        WebContentManager manager(sandbox.options());
        const bool accepted =
            manager.setAuthorizedDocumentsFolder(sandbox.scratch.filePath(chosen));
        QCOMPARE(accepted, !stored.isEmpty());
        const QString expectedRoot =
            stored.isEmpty() ? documentsRootPath() : sandbox.scratch.filePath(stored);
        QCOMPARE(manager.pathManager().webDocumentsRoot(), expectedRoot);
        QVERIFY(QFileInfo(expectedRoot + QStringLiteral("/KXVWebContent")).isDir());
        if (accepted) {
            // Nothing installed under the new root yet.
            QVERIFY(!manager.isReady());
        }
    }

    void bundledContentBecomesTheSavedVersion() {
        Sandbox sandbox;
        WebContentManager manager(sandbox.options());
        QDir(webRoot()).removeRecursively();
        QVERIFY(!manager.expectedWebPackageFolder()->isEmpty());
        const std::optional<QUrl> entry = manager.useBuiltInWebContent();
        QVERIFY(entry);
        QCOMPARE(entry->toLocalFile(), versionEntry(QStringLiteral("0.6.87")));
        QCOMPARE(sandbox.settings->string(SettingKey::webVersion), QStringLiteral("0.6.87"));
        QTRY_COMPARE(manager.statusMessage(),
                     QStringLiteral("Using bundled Web content: ") + entry->toLocalFile());
        QVERIFY(manager.isReady() && !manager.progress().error);

        bool reported = false;
        manager.fallBackToBuiltInAfterFailure(
            Error{"WebContentManager", 404, "服务器返回 HTTP 404"},
            [&](bool ok, const QString& text) {
                reported = ok;
                QCOMPARE(text, QStringLiteral("已使用内置 Web 包"));
            });
        QVERIFY(reported);
        QDir(sandbox.builtInFolder()).removeRecursively();
        QDir(webRoot()).removeRecursively();
        manager.fallBackToBuiltInAfterFailure(
            Error{"WebContentManager", 404, "服务器返回 HTTP 404"},
            [&](bool ok, const QString& text) {
                reported = ok;
                QCOMPARE(text, QStringLiteral("服务器返回 HTTP 404"));
            });
        QVERIFY(!reported);
    }

    void expectedFolderOfAVersionWithASlash() {
        Sandbox sandbox;
        QDir(sandbox.builtInFolder()).removeRecursively();
        sandbox.settings->set(QStringLiteral("7.1/beta"), SettingKey::webVersion);
        WebContentManager manager(sandbox.options());
        QCOMPARE(manager.expectedWebPackageFolder(),
                 QDir(webRoot()).filePath(QStringLiteral("7.1_beta")));
        sandbox.settings->set(QStringLiteral(".."), SettingKey::webVersion);
        WebContentManager dotted(sandbox.options());
        QVERIFY(!dotted.expectedWebPackageFolder());
    }
};

QTEST_GUILESS_MAIN(WebContentManagerTest)
#include "tst_WebContentManager.moc"
