#include "ContainmentRows.h"
#include "TestArchiveWriter.h"
#include "foundation/storage/ArchiveExtractor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

using testarchive::archiveOf;
using testarchive::Entries;
using testarchive::Entry;
using testarchive::Format;
using testarchive::tree;

// Mostly zeros with a little noise: compresses about 70 to 1, under the ratio cap.
QByteArray compressibleBlock(qsizetype size) {
    QByteArray block(size, '\0');
    for (qsizetype i = 0; i < size; i += 256) {
        block[i] = char(QRandomGenerator::global()->bounded(256));
    }
    return block;
}

}  // namespace

class ArchiveExtractorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_sandbox;

    // The archive sits in sandbox/in, the target is sandbox/box/out: anything that escapes
    // lands in sandbox or box.
    QString archivePath() const { return m_sandbox->filePath(QStringLiteral("in/package")); }
    QString target() const { return m_sandbox->filePath(QStringLiteral("box/out")); }

    Result<void> extract(const QByteArray& archive, const ExtractionPolicy& policy) {
        QFile file(archivePath());
        if (!file.open(QIODevice::WriteOnly) || file.write(archive) != archive.size()) {
            return Error{"test", -1, "cannot write the archive"};
        }
        file.close();
        return ArchiveExtractor::extract(archivePath(), target(), policy);
    }

private Q_SLOTS:
    void init() {
        m_sandbox = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_sandbox->path()).mkpath(QStringLiteral("in")));
        QVERIFY(QDir(m_sandbox->path()).mkpath(QStringLiteral("box")));
    }

    void hostileArchivesFailAndLeaveNothing_data() {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<int>("policy");  // 0 plan, 1 web, 2 update
        QTest::addColumn<int>("code");
        const Entry good{Entry::file, "dir_kmps.dir", "{}"};
        const auto with = [&good](const Entries& entries, Format format = Format::tarGz) {
            return archiveOf(Entries{good} + entries, format);
        };
        QTest::newRow("dot-dot") << with({{Entry::file, "../x", "x"}}) << 0
                                 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("dot-dot inside a name")
            << with({{Entry::file, "a/../../x", "x"}}) << 0 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("dot-dot in a zip") << with({{Entry::file, "../x", "x"}}, Format::zip) << 1
                                          << int(ArchiveExtractor::refusedEntry);
        // A file in the folder's own place would replace the folder and be left behind.
        QTest::newRow("file named as the folder itself")
            << archiveOf({{Entry::file, ".", "x"}, good}, Format::zip) << 1
            << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("file named as the folder, spelled long")
            << with({{Entry::file, ".//./", "x"}}) << 2 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("absolute") << with({{Entry::file, "/abs", "x"}}) << 0
                                  << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("symbolic link in a plan package")
            << with({{Entry::symlink, "l", "dir_kmps.dir"}}) << 0
            << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("symbolic link in a web package")
            << with({{Entry::symlink, "l", "dir_kmps.dir"}}, Format::zip) << 1
            << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("link out") << with({{Entry::symlink, "l", "../.."}}) << 2
                                  << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("absolute link")
            << with({{Entry::symlink, "l", "/etc"}}) << 2 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("link chain out") << with({{Entry::folder, "d", {}, 0755},
                                                 {Entry::symlink, "d/l", ".."},
                                                 {Entry::symlink, "d/l2", "l/.."}})
                                        << 2 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("link made inside a link")
            << with({{Entry::symlink, "l", ".."}, {Entry::symlink, "l/x", "dir_kmps.dir"}}) << 2
            << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("folders made through a link")
            << with({{Entry::symlink, "l", ".."}, {Entry::symlink, "l/made/x", "dir_kmps.dir"}})
            << 2 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("dangling link")
            << with({{Entry::symlink, "l", "missing"}}) << 2 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("link out to a name too long for the file system")
            << with({{Entry::symlink, "l", "../" + QByteArray(300, 'x')}}) << 2
            << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("FIFO named as the index") << archiveOf({{Entry::fifo, "dir_kmps.dir"}}) << 0
                                                 << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("hard link") << with({{Entry::hardlink, "x", "dir_kmps.dir"}}) << 2
                                   << int(ArchiveExtractor::refusedEntry);
        QTest::newRow("device node")
            << with({{Entry::device, "zero"}}) << 2 << int(ArchiveExtractor::refusedEntry);

        // About 1 MiB of zip that unpacks to 80 MiB in 800 files, none over the ratio cap.
        Entries many;
        const QByteArray block = compressibleBlock(100 * 1024);
        for (int i = 0; i < 800; ++i) {
            many.append({Entry::file, "f" + QByteArray::number(i), block});
        }
        const QByteArray bytesBomb = archiveOf(many, Format::zip);
        QVERIFY(bytesBomb.size() < 2 * ExtractionPolicy::kMiB);
        QTest::newRow("past the byte cap")
            << bytesBomb << 0 << int(ArchiveExtractor::limitExceeded);

        const QByteArray zeros(32 * ExtractionPolicy::kMiB, '\0');
        QTest::newRow("one entry compressed past the ratio cap")
            << with({{Entry::file, "zeros", zeros}}, Format::zip) << 2
            << int(ArchiveExtractor::limitExceeded);

        Entries crowd;
        for (qint64 i = 0; i <= ExtractionPolicy::kPlanPackageMaxEntries; ++i) {
            crowd.append({Entry::file, "e" + QByteArray::number(i), {}});
        }
        QTest::newRow("more entries than the cap")
            << archiveOf(crowd) << 0 << int(ArchiveExtractor::limitExceeded);

        QTest::newRow("not an archive")
            << QByteArray(4096, 'x') << 0 << int(ArchiveExtractor::unreadableArchive);
        QTest::newRow("cut short")
            << with({{Entry::file, "big", compressibleBlock(1 << 20)}}).first(2000) << 0
            << int(ArchiveExtractor::unreadableArchive);
    }

    void hostileArchivesFailAndLeaveNothing() {
        QFETCH(QByteArray, archive);
        QFETCH(int, policy);
        QFETCH(int, code);
        const ExtractionPolicy policies[] = {ExtractionPolicy::planPackage(),
                                             ExtractionPolicy::webPackage(),
                                             ExtractionPolicy::updatePackage()};

        const Result<void> result = extract(archive, policies[policy]);

        QVERIFY(!result);
        QCOMPARE(result.error().domain, ArchiveExtractor::kErrorDomain);
        QVERIFY2(result.error().code == code, qPrintable(result.error().message));
        QCOMPARE(tree(m_sandbox->path()), QStringList({"box", "in", "in/package"}));
    }

    void updatePackageKeepsLinksThatStayInside() {
        const QByteArray archive = archiveOf({
            {Entry::folder, "App/lib", {}, 0755},
            {Entry::file, "App/lib/libkx.so.1.2", "elf", 0755},
            {Entry::symlink, "App/lib/libkx.so.1", "libkx.so.1.2"},
            {Entry::symlink, "App/lib/libkx.so", "libkx.so.1"},
            {Entry::symlink, "App/Current", "lib"},
            {Entry::file, "App/bin/run", "#!/bin/sh\n", 04755},
            {Entry::file, "App/readme", "hi", 0666},
        });

        QVERIFY(extract(archive, ExtractionPolicy::updatePackage()));

        const QFileInfo library(target() + "/App/Current/libkx.so");
        QCOMPARE(library.canonicalFilePath(),
                 QFileInfo(target() + "/App/lib/libkx.so.1.2").canonicalFilePath());
        QVERIFY(QFileInfo(target() + "/App/lib/libkx.so").isSymLink());
        // Modes are ours: executable stays executable, set-id bits and write for others go.
        QCOMPARE(QFileInfo(target() + "/App/bin/run").permissions() & 07777,
                 QFileInfo(target() + "/App/lib/libkx.so.1.2").permissions() & 07777);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(target() + "/App/bin/run").constData(), &status), 0);
        QCOMPARE(status.st_mode & 06022, 0u);
        QVERIFY(status.st_mode & S_IXUSR);
        QCOMPARE(::stat(QFile::encodeName(target() + "/App/readme").constData(), &status), 0);
        QCOMPARE(status.st_mode & 0133, 0u);
        QCOMPARE(tree(m_sandbox->path()).filter(".part"), QStringList());
    }

    // Each row's path becomes a link "probe" in an update package, beside the folder's files and
    // the links that path passes through: the link is kept only when it leads to something
    // inside the folder.
    void updatePackageKeepsOnlyLinksLeadingInside_data() { containment::addRows(); }
    void updatePackageKeepsOnlyLinksLeadingInside() {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        if (path.contains(QChar(u'\0'))) {
            QSKIP("a link's target cannot hold a NUL byte");
        }
        const QString name = QFileInfo(target()).fileName();
        QTemporaryDir reference;
        QVERIFY(containment::makeTree(reference.path(), name));
        const bool kept =
            inside && containment::existsAt(containment::pathIn(reference.filePath(name), path));
        QVERIFY(containment::makeTree(QFileInfo(target()).path(), name, false));
        const QString probe = containment::named(path, name);
        Entries entries = {{Entry::symlink, "probe", probe.toUtf8()}};
        for (const containment::Item& item : containment::items()) {
            if (!item.path.startsWith("<folder>/")) {
                continue;
            }
            const QString inFolder = item.path.sliced(QStringLiteral("<folder>/").size());
            if (item.linkTarget.isEmpty()) {
                entries.append({Entry::file, inFolder.toUtf8(), "x"});
            } else if (probe == inFolder || probe.startsWith(inFolder + '/')) {
                entries.append({Entry::symlink, inFolder.toUtf8(), item.linkTarget.toUtf8()});
            }
        }

        const Result<void> result = extract(archiveOf(entries), ExtractionPolicy::updatePackage());

        QVERIFY2(bool(result) == kept, result ? "kept" : qPrintable(result.error().message));
        QCOMPARE(QFileInfo::exists(target()), kept);
    }

    void planPackageInZipAndTar_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("tar.gz") << int(Format::tarGz);
        QTest::newRow("zip") << int(Format::zip);
    }
    void planPackageInZipAndTar() {
        QFETCH(int, format);
        const Entries entries = {{Entry::file, "./dir_kmps.dir", "{}"},
                                 {Entry::folder, "sub/", {}, 0755},
                                 {Entry::file, "sub/a.kmp", compressibleBlock(3 << 20)}};
        const QByteArray archive = archiveOf(entries, Format(format));

        QVERIFY(extract(archive, ExtractionPolicy::planPackage()));

        QCOMPARE(tree(target()), QStringList({"dir_kmps.dir", "sub", "sub/a.kmp"}));
        QCOMPARE(QFileInfo(target() + "/sub/a.kmp").size(), 3 << 20);
        const Result<ArchiveExtractor::Listing> listing =
            ArchiveExtractor::list(archivePath(), ExtractionPolicy::planPackage());
        QVERIFY(listing);
        QCOMPARE(listing.value().entryCount, 3);
        QCOMPARE(listing.value().declaredBytes, 2 + (3 << 20));
    }

    void anExistingTargetIsNeverTouched() {
        QVERIFY(QDir().mkpath(target()));
        QVERIFY(QFile(target() + "/keep").open(QIODevice::WriteOnly));
        const Result<void> result =
            extract(archiveOf({{Entry::file, "keep", "new"}}), ExtractionPolicy::planPackage());
        QVERIFY(!result);
        QCOMPARE(result.error().code, int(ArchiveExtractor::targetExists));
        QCOMPARE(QFileInfo(target() + "/keep").size(), 0);
    }

    void listingStopsAtTheEntryCap() {
        Entries crowd;
        for (int i = 0; i < 11; ++i) {
            crowd.append({Entry::file, "e" + QByteArray::number(i), "x"});
        }
        QFile file(archivePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(archiveOf(crowd));
        file.close();
        ExtractionPolicy policy = ExtractionPolicy::webPackage();
        policy.maxEntryCount = 10;
        const auto listing = ArchiveExtractor::list(archivePath(), policy);
        QVERIFY(!listing);
        QCOMPARE(listing.error().code, int(ArchiveExtractor::limitExceeded));
    }
};

QTEST_GUILESS_MAIN(ArchiveExtractorTest)
#include "tst_ArchiveExtractor.moc"
