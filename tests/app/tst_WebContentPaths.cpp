#include "WebContentTestSupport.h"

#include "../api/LogCapture.h"
#include "app/WebContentPathManager.h"

#include <QTest>

#include <dlfcn.h>
#include <pwd.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace webtest;

namespace {

std::atomic<int> g_userDatabaseReads = 0;

}  // namespace

// Counts this process's reads of the user database; the C library still answers each.
extern "C" int getpwuid_r(uid_t uid, passwd* entry, char* buffer, size_t size, passwd** found) {
    ++g_userDatabaseReads;
    using Lookup = int (*)(uid_t, passwd*, char*, size_t, passwd**);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getpwuid_r"));
    return next(uid, entry, buffer, size, found);
}

class WebContentPathsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QDir(webRoot()).removeRecursively(); }

    // Asked first by many threads at once, then again and again: one read in all.
    void userDatabaseIsReadOncePerProcess() {
        const int before = g_userDatabaseReads;
        std::vector<std::thread> threads;
        std::atomic<int> differing = 0;
        for (int thread = 0; thread < 8; ++thread) {
            threads.emplace_back([&differing] {
                const QString first = userDatabaseDocumentsPath();
                for (int call = 0; call < 100; ++call) {
                    differing += userDatabaseDocumentsPath() != first ? 1 : 0;
                    differing += documentsRootPath().isEmpty() ? 1 : 0;
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        QCOMPARE(differing.load(), 0);
        QCOMPARE(g_userDatabaseReads - before, 1);
    }

    void documentsRootComesFromTheEnvironmentOrAGrantedFolder() {
        WebContentPathManager paths;
        QCOMPARE(paths.webDocumentsRoot(),
                 QDir::cleanPath(qEnvironmentVariable("KX_DOCUMENTS_ROOT")));
        QVERIFY(userDatabaseDocumentsPath().endsWith(QStringLiteral("/Documents")));
        paths.authorizedDocumentsPath = QStringLiteral("/srv/granted/Documents");
        QCOMPARE(paths.webContentRootPath(),
                 QStringLiteral("/srv/granted/Documents/KXVWebContent"));
    }

    void sanitizesVersions_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("folder");
        QTest::newRow("blank and slash") << "1.2.3 beta/2"
                                         << "1.2.3_beta_2";
        QTest::newRow("kept as is") << "1.0-rc_2"
                                    << "1.0-rc_2";
        QTest::newRow("letters outside ASCII") << "版本ß-1.é"
                                               << "版本ß-1.é";
        QTest::newRow("backslash colon plus") << "a\\b:c+d"
                                              << "a_b_c_d";
        QTest::newRow("scalar outside the BMP") << QString::fromUtf8("1😀2") << "1_2";
    }
    void sanitizesVersions() {
        QFETCH(QString, version);
        QFETCH(QString, folder);
        const QString sanitized = WebContentPathManager::sanitizeVersion(version);
        QCOMPARE(sanitized, folder);
        QCOMPARE(WebContentPathManager::sanitizeVersion(sanitized), sanitized);
        installVersion(folder);
        const std::optional<QUrl> entry = WebContentPathManager().webPathEntryFor(version);
        QVERIFY(entry);
        QCOMPARE(entry->toLocalFile(), versionEntry(folder));
    }

    // Such versions would name the web-content root or the documents folder itself.
    void versionsOfOnlyDotsNameNoFolder_data() {
        QTest::addColumn<QString>("version");
        QTest::newRow("empty") << "";
        QTest::newRow("dot") << ".";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("three dots") << "...";
    }
    void versionsOfOnlyDotsNameNoFolder() {
        QFETCH(QString, version);
        // An entry file where such a version would find it.
        writeFile(QDir(webRoot()).filePath(QStringLiteral("pc/index.html")), "x");
        writeFile(QDir(documentsRootPath()).filePath(QStringLiteral("pc/index.html")), "x");
        const WebContentPathManager paths;
        QVERIFY(!paths.versionFolderPath(version));
        QVERIFY(!paths.webPathEntryFor(version));
        QDir(QDir(documentsRootPath()).filePath(QStringLiteral("pc"))).removeRecursively();
    }

    void resolvesPreferredThenGreatestInstalled_data() {
        QTest::addColumn<QStringList>("withEntry");
        QTest::addColumn<QStringList>("withoutEntry");
        QTest::addColumn<QString>("preferred");
        QTest::addColumn<QString>("expected");  // empty: nothing resolves
        QTest::newRow("text order, not numeric")
            << QStringList{"0.6.87", "0.10.0"} << QStringList{"0.9.1"} << "2.0"
            << "0.6.87";
        QTest::newRow("preferred wins over greater")
            << QStringList{"0.6.87", "0.9.0"} << QStringList{} << "0.6.87"
            << "0.6.87";
        QTest::newRow("preferred without entry falls back")
            << QStringList{"0.6.87"} << QStringList{"0.7.09"} << "0.7.09"
            << "0.6.87";
        QTest::newRow("preferred is sanitised")
            << QStringList{"1.2.3_b"} << QStringList{} << "1.2.3/b"
            << "1.2.3_b";
        QTest::newRow("nothing installed") << QStringList{} << QStringList{"0.6.87"} << "1.0"
                                           << "";
    }
    void resolvesPreferredThenGreatestInstalled() {
        QFETCH(QStringList, withEntry);
        QFETCH(QStringList, withoutEntry);
        QFETCH(QString, preferred);
        QFETCH(QString, expected);
        for (const QString& version : withEntry) {
            installVersion(version);
        }
        for (const QString& version : withoutEntry) {
            installVersion(version, false);
        }
        // A plain file is no version, whatever its name.
        writeFile(QDir(webRoot()).filePath(QStringLiteral("9.9.9")), "not a folder");
        const std::optional<QString> resolved = WebContentPathManager().resolveVersion(preferred);
        QCOMPARE(resolved.value_or(QString()), expected);
    }

    void checksFallbacksFromTheGreatestDown() {
        installVersion(QStringLiteral("0.6.87"));
        installVersion(QStringLiteral("0.10.0"));
        installVersion(QStringLiteral("0.9.1"), false);
        LogCapture log;
        QCOMPARE(WebContentPathManager().resolveVersion(QStringLiteral("2.0")),
                 QStringLiteral("0.6.87"));
        const QString lines = log.take().join(QLatin1Char('\n'));
        QVERIFY(
            lines.contains(QStringLiteral("扫描到版本目录: [\"0.10.0\", \"0.6.87\", \"0.9.1\"]")));
        const qsizetype skipped =
            lines.indexOf(QStringLiteral("回退检查版本: 0.9.1, index=-, exists=false"));
        const qsizetype chosen = lines.indexOf(QStringLiteral("命中回退版本: 0.6.87"));
        QVERIFY(skipped >= 0 && chosen > skipped);
        QVERIFY(!lines.contains(QStringLiteral("回退检查版本: 0.10.0")));
    }

    void missingRootWarnsAndResolvesNothing() {
        LogCapture log;
        const WebContentPathManager paths;
        QVERIFY(paths.scanWebVersions().isEmpty());
        QVERIFY(!paths.resolveVersion(QStringLiteral("1.0")));
        const QString lines = log.take().join(QLatin1Char('\n'));
        QVERIFY(lines.contains(QStringLiteral("无法读取 web 根目录或目录为空: ") + webRoot()));
        QVERIFY(lines.contains(QStringLiteral("[WebPath] 未找到任何可用 web 版本")));
    }
};

QTEST_GUILESS_MAIN(WebContentPathsTest)
#include "tst_WebContentPaths.moc"
