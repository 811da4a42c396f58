// Archives from the network unpacked into a sandbox: whatever the bytes, nothing may appear
// outside the target folder and no link left inside may resolve outside it.
#include "FuzzSupport.h"

#include "foundation/storage/ArchiveExtractor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

bool isInside(const QString& path, const QString& root) {
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir sandbox;
    static const QString root = QFileInfo(sandbox.path()).canonicalFilePath();
    static const QString box = root + QStringLiteral("/box");
    static const QString target = box + QStringLiteral("/out");
    static const QString archive = root + QStringLiteral("/archive");
    QDir().mkpath(box);

    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        fuzz::violated("cannot write the archive");
    }
    file.close();

    // Small caps keep each run short; the update policy is the one that makes links.
    ExtractionPolicy policy =
        size % 2 ? ExtractionPolicy::updatePackage() : ExtractionPolicy::planPackage();
    policy.maxTotalBytes = 4 * ExtractionPolicy::kMiB;
    policy.maxEntryCount = 256;
    const Result<void> result = ArchiveExtractor::extract(archive, target, policy);

    const QStringList besides =
        QDir(box).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (besides.size() > 1 || (besides.size() == 1 && besides.first() != QStringLiteral("out"))) {
        fuzz::violated("something was written beside the target");
    }
    if (QDir(root)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
            .size() != 2) {
        fuzz::violated("something was written outside the target's folder");
    }
    if (!result && QFileInfo::exists(target)) {
        fuzz::violated("a failed extraction left its folder");
    }
    QDirIterator it(target, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        if (entry.isSymLink() && !isInside(entry.canonicalFilePath(), target)) {
            fuzz::violated("a link resolves outside the target");
        }
    }
    QDir(target).removeRecursively();
    return 0;
}
