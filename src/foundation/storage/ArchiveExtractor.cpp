#include "foundation/storage/ArchiveExtractor.h"

#include "foundation/storage/PathContainment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace {

constexpr size_t kReadBlockSize = 64 * 1024;

struct ReadCloser {
    void operator()(archive* handle) const { archive_read_free(handle); }
};
struct WriteCloser {
    void operator()(archive* handle) const { archive_write_free(handle); }
};
using ArchiveReader = std::unique_ptr<archive, ReadCloser>;
using DiskWriter = std::unique_ptr<archive, WriteCloser>;

Error failure(ArchiveExtractor::ErrorCode code, const QString& message) {
    return Error{ArchiveExtractor::kErrorDomain, code, message};
}

QString libarchiveMessage(archive* handle) {
    const char* text = archive_error_string(handle);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

Result<ArchiveReader> openArchive(const QString& archivePath) {
    ArchiveReader reader(archive_read_new());
    archive_read_support_format_all(reader.get());
    archive_read_support_filter_all(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(),
                                   kReadBlockSize) != ARCHIVE_OK) {
        return failure(ArchiveExtractor::unreadableArchive,
                       QStringLiteral("cannot read the archive ") + archivePath +
                           QStringLiteral(": ") + libarchiveMessage(reader.get()));
    }
    return reader;
}

// Next header, or an empty optional at the end.
Result<std::optional<archive_entry*>> nextEntry(archive* reader) {
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(reader, &entry);
    if (status == ARCHIVE_EOF) {
        return std::optional<archive_entry*>();
    }
    if (status < ARCHIVE_WARN) {
        return failure(ArchiveExtractor::unreadableArchive,
                       QStringLiteral("damaged archive: ") + libarchiveMessage(reader));
    }
    return std::optional(entry);
}

QString entryName(archive_entry* entry) {
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name) {
        name = archive_entry_pathname(entry);
    }
    return name ? QString::fromUtf8(name) : QString();
}

// The entry's name relative to the target, "." and empty steps left out; empty when it could
// leave the target or names the target itself (a file written there would take its place).
QString containedName(const QString& name) {
    if (name.startsWith(QLatin1Char('/'))) {
        return {};
    }
    QStringList steps;
    for (const QString& step : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (step == QLatin1String("..")) {
            return {};
        }
        if (step != QLatin1String(".")) {
            steps.append(step);
        }
    }
    return steps.join(QLatin1Char('/'));
}

QString kindName(mode_t type) {
    switch (type) {
        case AE_IFIFO:
            return QStringLiteral("FIFO");
        case AE_IFSOCK:
            return QStringLiteral("socket");
        case AE_IFCHR:
        case AE_IFBLK:
            return QStringLiteral("device node");
        default:
            return QStringLiteral("entry of unknown kind");
    }
}

struct PendingLink {
    QString name;
    QByteArray target;
};

// One extraction into a folder that exists and is empty.
class Unpacker {
public:
    Unpacker(archive* reader, const QString& root, const ExtractionPolicy& policy)
        : m_reader(reader), m_root(root), m_policy(policy), m_writer(archive_write_disk_new()) {
        // Names are checked before the root is put in front of them, so absolute paths are
        // ours; links never exist while files are written, but the writer checks anyway.
        archive_write_disk_set_options(m_writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                           ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                           ARCHIVE_EXTRACT_TIME);
    }

    Result<void> run() {
        for (;;) {
            Result<std::optional<archive_entry*>> next = nextEntry(m_reader);
            if (!next) {
                return next.error();
            }
            if (!next.value()) {
                break;
            }
            if (++m_entryCount > m_policy.maxEntryCount) {
                return failure(ArchiveExtractor::limitExceeded,
                               QStringLiteral("more than %1 entries").arg(m_policy.maxEntryCount));
            }
            if (Result<void> done = unpackEntry(*next.value()); !done) {
                return done;
            }
        }
        if (archive_write_close(m_writer.get()) != ARCHIVE_OK) {
            return failure(ArchiveExtractor::writeFailed, libarchiveMessage(m_writer.get()));
        }
        return makeLinks();
    }

private:
    Result<void> unpackEntry(archive_entry* entry) {
        const QString rawName = entryName(entry);
        const QString name = containedName(rawName);
        if (name.isEmpty()) {
            return refused(QStringLiteral("name outside the folder"), rawName);
        }
        if (archive_entry_hardlink(entry)) {
            return refused(QStringLiteral("hard link"), name);
        }
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink(entry);
            if (m_policy.symbolicLinks == ExtractionPolicy::SymbolicLinks::refused || !target ||
                !*target) {
                return refused(QStringLiteral("symbolic link"), name);
            }
            m_links.append({name, QByteArray(target)});
            return {};
        }
        if (type != AE_IFREG && type != AE_IFDIR) {
            return refused(kindName(type), name);
        }
        qint64 declared = 0;
        if (type == AE_IFREG && archive_entry_size_is_set(entry)) {
            declared = archive_entry_size(entry);
            if (Result<void> counted = count(declared); !counted) {
                return counted;
            }
        }
        const bool executable = (archive_entry_perm(entry) & 0111) != 0;
        archive_entry_set_perm(entry, type == AE_IFDIR || executable ? 0755 : 0644);
        archive_entry_set_pathname(entry, QFile::encodeName(m_root + QLatin1Char('/') + name));
        if (archive_write_header(m_writer.get(), entry) < ARCHIVE_WARN) {
            return failure(ArchiveExtractor::writeFailed,
                           name + QStringLiteral(": ") + libarchiveMessage(m_writer.get()));
        }
        if (type == AE_IFREG) {
            if (Result<void> copied = copyData(name, declared); !copied) {
                return copied;
            }
        }
        if (archive_write_finish_entry(m_writer.get()) < ARCHIVE_WARN) {
            return failure(ArchiveExtractor::writeFailed,
                           name + QStringLiteral(": ") + libarchiveMessage(m_writer.get()));
        }
        return {};
    }

    // Adds bytes to the running total; the declared size of an entry counts as soon as its
    // header is read, data beyond it as it arrives.
    Result<void> count(qint64 bytes) {
        if (bytes < 0 || bytes > m_policy.maxTotalBytes - m_totalBytes) {
            return failure(
                ArchiveExtractor::limitExceeded,
                QStringLiteral("unpacks to more than %1 bytes").arg(m_policy.maxTotalBytes));
        }
        m_totalBytes += bytes;
        return {};
    }

    // `counted`: bytes of this entry already in the total (its declared size).
    Result<void> copyData(const QString& name, qint64 counted) {
        const la_int64_t startConsumed = archive_filter_bytes(m_reader, -1);
        qint64 entryEnd = 0;
        const void* buffer = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        for (;;) {
            const int status = archive_read_data_block(m_reader, &buffer, &size, &offset);
            if (status == ARCHIVE_EOF) {
                return {};
            }
            if (status < ARCHIVE_WARN) {
                return failure(ArchiveExtractor::unreadableArchive,
                               name + QStringLiteral(": ") + libarchiveMessage(m_reader));
            }
            entryEnd = std::max<qint64>(entryEnd, offset + qint64(size));
            if (entryEnd > counted) {
                if (Result<void> more = count(entryEnd - counted); !more) {
                    return more;
                }
                counted = entryEnd;
            }
            const qint64 consumed =
                std::max<qint64>(1, archive_filter_bytes(m_reader, -1) - startConsumed);
            if (entryEnd > ExtractionPolicy::kRatioCheckFloorBytes &&
                entryEnd / consumed > m_policy.maxCompressionRatio) {
                return failure(ArchiveExtractor::limitExceeded,
                               name + QStringLiteral(": compressed more than %1 to 1")
                                          .arg(m_policy.maxCompressionRatio));
            }
            if (archive_write_data_block(m_writer.get(), buffer, size, offset) < ARCHIVE_WARN) {
                return failure(ArchiveExtractor::writeFailed,
                               name + QStringLiteral(": ") + libarchiveMessage(m_writer.get()));
            }
        }
    }

    Result<void> refused(const QString& why, const QString& name) const {
        return failure(ArchiveExtractor::refusedEntry,
                       QStringLiteral("refused %1: %2").arg(why, name));
    }

    // Links come last so that no file is ever written through one; each must then resolve,
    // with every other link in place, to something inside the root.
    Result<void> makeLinks() {
        for (const PendingLink& link : m_links) {
            const QString path = m_root + QLatin1Char('/') + link.name;
            if (!makeRealFolders(link.name.section(QLatin1Char('/'), 0, -2))) {
                return refused(QStringLiteral("link inside a link"), link.name);
            }
            if (::symlink(link.target.constData(), QFile::encodeName(path).constData()) != 0) {
                return failure(ArchiveExtractor::writeFailed,
                               QStringLiteral("cannot make the link ") + link.name);
            }
        }
        for (const PendingLink& link : m_links) {
            const QString path = m_root + QLatin1Char('/') + link.name;
            if (!QFileInfo::exists(path) || !PathContainment::isInside(path, m_root)) {
                return refused(QStringLiteral("link out of the folder"), link.name);
            }
        }
        return {};
    }

    // Creates the folders of a relative path under the root one by one, never through a link:
    // mkpath would follow a link made a moment ago and create folders wherever it points.
    bool makeRealFolders(const QString& relative) const {
        QString path = m_root;
        for (const QString& component : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (component == QStringLiteral(".")) {
                continue;
            }
            path += QLatin1Char('/') + component;
            const QByteArray encoded = QFile::encodeName(path);
            struct stat status {};
            if (::lstat(encoded.constData(), &status) != 0) {
                if (::mkdir(encoded.constData(), 0755) != 0) {
                    return false;
                }
            } else if (!S_ISDIR(status.st_mode)) {
                return false;
            }
        }
        return true;
    }

    archive* m_reader;
    QString m_root;
    const ExtractionPolicy& m_policy;
    DiskWriter m_writer;
    QList<PendingLink> m_links;
    qint64 m_entryCount = 0;
    qint64 m_totalBytes = 0;
};

}  // namespace

ExtractionPolicy ExtractionPolicy::planPackage() {
    return {SymbolicLinks::refused, kPlanPackageMaxBytes, kPlanPackageMaxEntries,
            kMaxCompressionRatio};
}

ExtractionPolicy ExtractionPolicy::webPackage() {
    return {SymbolicLinks::refused, kWebPackageMaxBytes, kWebPackageMaxEntries,
            kMaxCompressionRatio};
}

ExtractionPolicy ExtractionPolicy::updatePackage() {
    return {SymbolicLinks::insideOnly, kUpdatePackageMaxBytes, kUpdatePackageMaxEntries,
            kMaxCompressionRatio};
}

Result<ArchiveExtractor::Listing> ArchiveExtractor::list(const QString& archivePath,
                                                         const ExtractionPolicy& policy) {
    Result<ArchiveReader> reader = openArchive(archivePath);
    if (!reader) {
        return reader.error();
    }
    Listing listing;
    for (;;) {
        Result<std::optional<archive_entry*>> next = nextEntry(reader.value().get());
        if (!next) {
            return next.error();
        }
        if (!next.value()) {
            return listing;
        }
        if (++listing.entryCount > policy.maxEntryCount) {
            return failure(limitExceeded,
                           QStringLiteral("more than %1 entries").arg(policy.maxEntryCount));
        }
        if (archive_entry_size_is_set(*next.value())) {
            listing.declaredBytes += std::max<qint64>(0, archive_entry_size(*next.value()));
        }
    }
}

Result<void> ArchiveExtractor::extract(const QString& archivePath, const QString& targetFolder,
                                       const ExtractionPolicy& policy) {
    const QFileInfo target(targetFolder);
    if (target.exists() || target.isSymLink()) {
        return failure(targetExists, QStringLiteral("already there: ") + targetFolder);
    }
    // The parent's real path: no link in the root's own path can then fool the checks.
    const QString parent = QFileInfo(target.absolutePath()).canonicalFilePath();
    if (parent.isEmpty() || !QFileInfo(parent).isDir()) {
        return failure(writeFailed, QStringLiteral("no folder to unpack into: ") + targetFolder);
    }
    Result<ArchiveReader> reader = openArchive(archivePath);
    if (!reader) {
        return reader.error();
    }
    QTemporaryDir staging(parent + QLatin1Char('/') + target.fileName() +
                          QStringLiteral(".partXXXXXX"));
    if (!staging.isValid()) {
        return failure(writeFailed, QStringLiteral("cannot make a temporary folder beside ") +
                                        targetFolder + QStringLiteral(": ") +
                                        staging.errorString());
    }
    const QString root = QFileInfo(staging.path()).canonicalFilePath();
    QFile::setPermissions(root, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                    QFileDevice::ExeOther);
    if (Result<void> unpacked = Unpacker(reader.value().get(), root, policy).run(); !unpacked) {
        return unpacked;
    }
    if (!QDir().rename(root, parent + QLatin1Char('/') + target.fileName())) {
        return failure(writeFailed,
                       QStringLiteral("cannot move the unpacked folder to ") + targetFolder);
    }
    staging.setAutoRemove(false);
    return {};
}
