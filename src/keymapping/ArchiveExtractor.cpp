#include "keymapping/ArchiveExtractor.h"

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

Error extractionError(const QString& message) {
    return Error{QStringLiteral("ArchiveExtractor"), 1, message};
}

QString libarchiveMessage(archive* handle) {
    const char* text = archive_error_string(handle);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

// A name inside the archive that stays inside the folder: relative and without "..".
bool isContainedName(const QString& name) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('/'))) {
        return false;
    }
    const QStringList components = name.split(QLatin1Char('/'));
    return !components.contains(QStringLiteral(".."));
}

// A symbolic link's target, read from the link's own folder, that stays inside the folder.
bool isContainedLinkTarget(const QString& entryName, const QString& target) {
    if (target.isEmpty() || target.startsWith(QLatin1Char('/'))) {
        return false;
    }
    qsizetype depth = entryName.count(QLatin1Char('/'));
    for (const QString& component : target.split(QLatin1Char('/'))) {
        if (component == QStringLiteral("..")) {
            if (--depth < 0) {
                return false;
            }
        } else if (!component.isEmpty() && component != QStringLiteral(".")) {
            ++depth;
        }
    }
    return true;
}

QString entryPathName(archive_entry* entry) {
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name) {
        name = archive_entry_pathname(entry);
    }
    return name ? QString::fromUtf8(name) : QString();
}

Result<void> checkEntry(archive_entry* entry, const QString& name) {
    if (!isContainedName(name)) {
        return extractionError(QStringLiteral("refused entry outside the folder: ") + name);
    }
    if (const char* hardlink = archive_entry_hardlink(entry)) {
        if (!isContainedName(QString::fromUtf8(hardlink))) {
            return extractionError(QStringLiteral("refused link out of the folder: ") + name);
        }
    }
    if (archive_entry_filetype(entry) == AE_IFLNK) {
        const char* target = archive_entry_symlink(entry);
        if (!target || !isContainedLinkTarget(name, QString::fromUtf8(target))) {
            return extractionError(QStringLiteral("refused link out of the folder: ") + name);
        }
    }
    return {};
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
            return extractionError(libarchiveMessage(reader));
        }
        if (archive_write_data_block(writer, buffer, size, offset) < ARCHIVE_WARN) {
            return extractionError(libarchiveMessage(writer));
        }
    }
}

}  // namespace

Result<void> ArchiveExtractor::extract(const QString& archivePath,
                                       const QString& destinationFolder) {
    // Names are joined to the folder's real path: the checks against links then see no link in
    // the folder's own path, and no working-directory change is needed in a threaded process.
    const QString root = QFileInfo(destinationFolder).canonicalFilePath();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        return extractionError(QStringLiteral("no folder to unpack into: ") + destinationFolder);
    }

    ArchiveReader reader(archive_read_new());
    archive_read_support_format_all(reader.get());
    archive_read_support_filter_all(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(),
                                   64 * 1024) != ARCHIVE_OK) {
        return extractionError(libarchiveMessage(reader.get()));
    }

    // The entry's own name was checked for absolute paths before the folder was put in front of
    // it, which makes every written path absolute; so that flag cannot be left to the writer.
    DiskWriter writer(archive_write_disk_new());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    archive_write_disk_set_standard_lookup(writer.get());

    const QByteArray prefix = QFile::encodeName(root) + '/';
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status < ARCHIVE_WARN) {
            return extractionError(libarchiveMessage(reader.get()));
        }
        const QString name = entryPathName(entry);
        if (Result<void> checked = checkEntry(entry, name); !checked) {
            return checked;
        }
        archive_entry_set_pathname(entry, QByteArray(prefix + name.toUtf8()).constData());
        if (const char* hardlink = archive_entry_hardlink(entry)) {
            archive_entry_set_hardlink(entry,
                                       QByteArray(prefix + QByteArray(hardlink)).constData());
        }
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            return extractionError(libarchiveMessage(writer.get()));
        }
        if (Result<void> copied = copyData(reader.get(), writer.get()); !copied) {
            return copied;
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            return extractionError(libarchiveMessage(writer.get()));
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        return extractionError(libarchiveMessage(writer.get()));
    }
    return {};
}
