#include "TestArchive.h"
#include "keymapping/ArchiveExtractor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Entry = TestArchiveEntry;

Q_DECLARE_METATYPE(QList<TestArchiveEntry>)

class ArchiveExtractorTest : public QObject {
    Q_OBJECT

private:
    // Every path under `folder`, relative to it, links included.
    static QStringList contents(const QString& folder) {
        QStringList paths;
        QDirIterator it(folder,
                        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            paths << QDir(folder).relativeFilePath(it.next());
        }
        paths.sort();
        return paths;
    }

private Q_SLOTS:
    void unpacksArchives_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("tar.gz") << int(TestArchiveFormat::tarGzip);
        QTest::newRow("zip") << int(TestArchiveFormat::zip);
    }

    void unpacksArchives() {
        QFETCH(int, format);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("package.rcc"));
        QVERIFY(writeTestArchive(
            archive,
            {Entry::file(QStringLiteral("dir_kmps.dir"), "{}"),
             Entry::file(QStringLiteral("plans/a.kmp"), "plan"),
             Entry::symlink(QStringLiteral("plans/b.kmp"), QStringLiteral("../plans/a.kmp"))},
            TestArchiveFormat(format)));
        const QString target = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(target));
        QVERIFY(ArchiveExtractor::extract(archive, target).ok());
        QCOMPARE(contents(target),
                 QStringList({"dir_kmps.dir", "plans", "plans/a.kmp", "plans/b.kmp"}));
        QFile linked(QDir(target).filePath(QStringLiteral("plans/b.kmp")));
        QVERIFY(linked.open(QIODevice::ReadOnly));
        QCOMPARE(linked.readAll(), QByteArray("plan"));
    }

    // The folder "victim" sits beside the target; no archive may write into it or beside it.
    void refusesEntriesThatLeaveTheFolder_data() {
        QTest::addColumn<QList<TestArchiveEntry>>("entries");
        const QString victim = QStringLiteral("VICTIM");  // replaced by the victim's path
        QTest::newRow("dot-dot entry")
            << QList<Entry>{Entry::file(QStringLiteral("../victim/x"), "evil")};
        QTest::newRow("dot-dot inside the name")
            << QList<Entry>{Entry::file(QStringLiteral("a/../../victim/x"), "evil")};
        QTest::newRow("absolute entry")
            << QList<Entry>{Entry::file(victim + QStringLiteral("/x"), "evil")};
        QTest::newRow("write through a link out")
            << QList<Entry>{Entry::symlink(QStringLiteral("link"), QStringLiteral("../victim")),
                            Entry::file(QStringLiteral("link/x"), "evil")};
        QTest::newRow("absolute link target")
            << QList<Entry>{Entry::symlink(QStringLiteral("link"), victim),
                            Entry::file(QStringLiteral("link/x"), "evil")};
        QTest::newRow("link climbing out from a subfolder") << QList<Entry>{
            Entry::symlink(QStringLiteral("a/link"), QStringLiteral("../../victim/x"))};
        QTest::newRow("write through a link inside")
            << QList<Entry>{Entry::file(QStringLiteral("real/y"), "fine"),
                            Entry::symlink(QStringLiteral("link"), QStringLiteral("real")),
                            Entry::file(QStringLiteral("link/x"), "evil")};
        QTest::newRow("hard link to a file outside") << QList<Entry>{
            Entry::hardlink(QStringLiteral("x"), QStringLiteral("../victim/secret"))};
    }

    void refusesEntriesThatLeaveTheFolder() {
        QFETCH(QList<TestArchiveEntry>, entries);
        QTemporaryDir dir;
        const QString victim = dir.filePath(QStringLiteral("victim"));
        QVERIFY(QDir().mkpath(victim));
        QFile secret(QDir(victim).filePath(QStringLiteral("secret")));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("keep");
        secret.close();
        for (Entry& entry : entries) {
            entry.name.replace(QStringLiteral("VICTIM"), victim);
            entry.target.replace(QStringLiteral("VICTIM"), victim);
        }
        const QString archive = dir.filePath(QStringLiteral("evil.rcc"));
        QVERIFY(writeTestArchive(archive, entries));
        const QString target = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(target));

        const Result<void> result = ArchiveExtractor::extract(archive, target);

        QVERIFY(!result.ok());
        QCOMPARE(contents(victim), QStringList({"secret"}));
        QCOMPARE(contents(dir.path()).filter(QRegularExpression(QStringLiteral("^[^/]*$"))),
                 QStringList({"evil.rcc", "out", "victim"}));
        QVERIFY(!contents(target).contains(QStringLiteral("link/x")));
    }

    void failsOnWhatIsNoArchive() {
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("garbage.rcc"));
        QFile file(archive);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY(!ArchiveExtractor::extract(archive, dir.path()).ok());
        QVERIFY(
            !ArchiveExtractor::extract(dir.filePath(QStringLiteral("missing")), dir.path()).ok());
    }
};

QTEST_GUILESS_MAIN(ArchiveExtractorTest)
#include "tst_ArchiveExtractor.moc"
