#pragma once

#include "foundation/Result.h"

#include <QString>

// What one caller of `ArchiveExtractor` accepts from an archive. Archives come from the network,
// so every cap is a hard limit: past it the extraction fails and leaves nothing behind.
struct ExtractionPolicy {
    enum class SymbolicLinks {
        refused,     // any link entry fails the extraction
        insideOnly,  // links are made after every file and must resolve, on disk, inside
    };

    SymbolicLinks symbolicLinks = SymbolicLinks::refused;
    qint64 maxTotalBytes = 0;  // unpacked bytes of all entries together
    qint64 maxEntryCount = 0;
    // Unpacked bytes per archive byte read for one entry; looked at only once the entry has
    // grown past `kRatioCheckFloorBytes`, so small, well-compressed files always pass.
    qint64 maxCompressionRatio = 0;

    static constexpr qint64 kMiB = 1024 * 1024;
    static constexpr qint64 kRatioCheckFloorBytes = 1 * kMiB;
    static constexpr qint64 kMaxCompressionRatio = 200;

    static constexpr qint64 kPlanPackageMaxBytes = 64 * kMiB;
    static constexpr qint64 kPlanPackageMaxEntries = 4096;
    static constexpr qint64 kWebPackageMaxBytes = 512 * kMiB;
    static constexpr qint64 kWebPackageMaxEntries = 20000;
    static constexpr qint64 kUpdatePackageMaxBytes = 2048 * kMiB;
    static constexpr qint64 kUpdatePackageMaxEntries = 100000;

    // The key-mapping plan package: folders and plain files only.
    static ExtractionPolicy planPackage();
    // The web page package: folders and plain files only.
    static ExtractionPolicy webPackage();
    // The client's own update: may carry library links, which must stay inside.
    static ExtractionPolicy updatePackage();
};

// Unpacks archives (any format and compression libarchive reads: zip, tar, gzip, xz, …) in
// process, for archives the client did not make itself. Only folders and regular files are
// written, plus symbolic links where the policy allows them; hard links, FIFOs, sockets and
// device nodes fail the extraction, as do absolute names and ".." components. File modes are
// normalised (0644, or 0755 when the archive marks the file executable); owners are not restored.
//
// The tree is unpacked into a temporary folder beside `targetFolder` and renamed into place only
// when complete, so `targetFolder` either holds the whole archive or does not exist. Safe to call
// from any thread; nothing is shared between calls.
class ArchiveExtractor {
public:
    inline static const QString kErrorDomain = QStringLiteral("ArchiveExtractor");
    enum ErrorCode {
        unreadableArchive = 1,  // not an archive, damaged or truncated
        refusedEntry = 2,       // an entry of a kind or name the policy does not allow
        limitExceeded = 3,      // past a byte, entry or compression-ratio cap
        writeFailed = 4,        // the disk refused a write
        targetExists = 5,       // `targetFolder` is already there
    };

    struct Listing {
        qint64 entryCount = 0;     // every entry, folders included
        qint64 declaredBytes = 0;  // the sizes the entry headers announce
    };

    // Reads the headers only (entry data is skipped, not written). Fails on an unreadable
    // archive or once the count passes the policy's entry cap; names and kinds are not judged.
    static Result<Listing> list(const QString& archivePath, const ExtractionPolicy& policy);

    // Unpacks `archivePath` to `targetFolder`, which must not exist yet; its parent must. On
    // failure the error says which entry or cap stopped it, and no partial folder is left.
    static Result<void> extract(const QString& archivePath, const QString& targetFolder,
                                const ExtractionPolicy& policy);
};
