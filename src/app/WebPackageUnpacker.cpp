#include "app/WebPackageUnpacker.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

struct ReadCloser {
    void operator()(archive* handle) const { archive_read_free(handle); }
};
struct WriteCloser {
    void operator()(archive* handle) const { archive_write_free(handle); }
};
using ArchiveReader = std::unique_ptr<archive, ReadCloser>;
using DiskWriter = std::unique_ptr<archive, WriteCloser>;

constexpr int kRefusedEntryCode = 80;

Error unzipError(int code, const QString& message) {
    return Error{QStringLiteral("UnzipError"), code, message};
}

Error libraryError(archive* handle, const QString& fallback) {
    const char* text = archive_error_string(handle);
    const int code = archive_errno(handle);
    return unzipError(code != 0 ? code : 1, text && *text ? QString::fromUtf8(text) : fallback);
}

QString entryName(archive_entry* entry) {
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name) {
        name = archive_entry_pathname(entry);
    }
    return name ? QString::fromUtf8(name) : QString();
}

Result<void> checkEntry(archive_entry* entry, const QString& name) {
    const QStringList components = name.split(QLatin1Char('/'));
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        components.contains(QStringLiteral(".."))) {
        return unzipError(kRefusedEntryCode, QStringLiteral("refused entry outside the folder: ") +
                                                 name);
    }
    const mode_t type = archive_entry_filetype(entry);
    if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) || type == AE_IFLNK) {
        return unzipError(kRefusedEntryCode, QStringLiteral("refused link: ") + name);
    }
    if (type != AE_IFREG && type != AE_IFDIR) {
        return unzipError(kRefusedEntryCode, QStringLiteral("refused special file: ") + name);
    }
    return {};
}

Result<ArchiveReader> openArchive(const QString& zipPath) {
    ArchiveReader reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    archive_read_support_filter_all(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(zipPath).constData(),
                                   64 * 1024) != ARCHIVE_OK) {
        return libraryError(reader.get(), QStringLiteral("Failed to inspect zip file"));
    }
    return reader;
}

Result<void> copyData(archive* reader, archive* writer) {
    const void* buffer = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &buffer, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return {};
        }
        if (status < ARCHIVE_WARN) {
            return libraryError(reader, QStringLiteral("Failed to unzip file"));
        }
        if (archive_write_data_block(writer, buffer, size, offset) < ARCHIVE_WARN) {
            return libraryError(writer, QStringLiteral("Failed to unzip file"));
        }
    }
}

}  // namespace

namespace WebPackageUnpacker {

Result<int> countEntries(const QString& zipPath) {
    Result<ArchiveReader> opened = openArchive(zipPath);
    if (!opened) {
        return opened.error();
    }
    archive* reader = opened.value().get();
    int count = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF) {
            return count;
        }
        if (status < ARCHIVE_WARN) {
            return libraryError(reader, QStringLiteral("Failed to inspect zip file"));
        }
        if (Result<void> checked = checkEntry(entry, entryName(entry)); !checked) {
            return checked.error();
        }
        // Reading the data checks each entry's checksum, so a damaged body fails here too.
        const void* buffer = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        int data = ARCHIVE_OK;
        while ((data = archive_read_data_block(reader, &buffer, &size, &offset)) == ARCHIVE_OK) {
        }
        if (data < ARCHIVE_WARN) {
            return libraryError(reader, QStringLiteral("Failed to inspect zip file"));
        }
        ++count;
    }
}

Result<void> extract(const QString& zipPath, const QString& destinationFolder) {
    // Names are joined to the folder's real path, so no link in the folder's own path is seen.
    const QString root = QFileInfo(destinationFolder).canonicalFilePath();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        return unzipError(1, QStringLiteral("no folder to unpack into: ") + destinationFolder);
    }
    Result<ArchiveReader> opened = openArchive(zipPath);
    if (!opened) {
        return opened.error();
    }
    archive* reader = opened.value().get();

    DiskWriter writer(archive_write_disk_new());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    const QByteArray prefix = QFile::encodeName(root) + '/';
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status < ARCHIVE_WARN) {
            return libraryError(reader, QStringLiteral("Failed to unzip file"));
        }
        const QString name = entryName(entry);
        if (Result<void> checked = checkEntry(entry, name); !checked) {
            return checked;
        }
        archive_entry_set_pathname(entry, QByteArray(prefix + QFile::encodeName(name)).constData());
        // Packages carry no meaningful owners or modes; what is written follows the umask.
        archive_entry_set_perm(entry, archive_entry_filetype(entry) == AE_IFDIR ? 0755 : 0644);
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            return libraryError(writer.get(), QStringLiteral("Failed to unzip file"));
        }
        if (Result<void> copied = copyData(reader, writer.get()); !copied) {
            return copied;
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            return libraryError(writer.get(), QStringLiteral("Failed to unzip file"));
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        return libraryError(writer.get(), QStringLiteral("Failed to unzip file"));
    }
    return {};
}

}  // namespace WebPackageUnpacker
