#pragma once

// Archives for tests, written with libarchive's writer so that the test controls every header
// field: names and link targets go in verbatim, hostile ones ("../x", "/abs", links out) too.
// tree() lists what an extraction left behind.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QList>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace testarchive {

struct Entry {
    enum Kind { file, folder, symlink, hardlink, fifo, device };
    Kind kind = file;
    QByteArray name;
    QByteArray data;  // a file's content or a link's target
    int permissions = 0644;
};
using Entries = QList<Entry>;

enum class Format { tarGz, zip };

// A pax tar compressed with gzip, or a zip; a device entry is /dev/zero's character device.
inline QByteArray archiveOf(const Entries& entries, Format format = Format::tarGz) {
    QByteArray out;
    archive* writer = archive_write_new();
    if (format == Format::zip) {
        archive_write_set_format_zip(writer);
    } else {
        archive_write_set_format_pax_restricted(writer);
        archive_write_add_filter_gzip(writer);
    }
    // Ends where the last entry ends, without zeros up to a full block: a test that cuts or
    // damages the archive hits its data.
    archive_write_set_bytes_in_last_block(writer, 1);
    archive_write_open(
        writer, &out, nullptr,
        [](archive*, void* target, const void* buffer, size_t size) -> la_ssize_t {
            static_cast<QByteArray*>(target)->append(static_cast<const char*>(buffer),
                                                     qsizetype(size));
            return la_ssize_t(size);
        },
        nullptr);
    for (const Entry& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.constData());
        archive_entry_set_perm(entry, mode_t(item.permissions));
        static const mode_t types[] = {AE_IFREG, AE_IFDIR, AE_IFLNK, AE_IFREG, AE_IFIFO, AE_IFCHR};
        archive_entry_set_filetype(entry, types[item.kind]);
        archive_entry_set_size(entry, item.kind == Entry::file ? item.data.size() : 0);
        if (item.kind == Entry::symlink) {
            archive_entry_set_symlink(entry, item.data.constData());
        } else if (item.kind == Entry::hardlink) {
            archive_entry_set_hardlink(entry, item.data.constData());
        } else if (item.kind == Entry::device) {
            archive_entry_set_rdev(entry, makedev(1, 5));
        }
        archive_write_header(writer, entry);
        if (item.kind == Entry::file) {
            archive_write_data(writer, item.data.constData(), size_t(item.data.size()));
        }
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return out;
}

inline QByteArray zipOf(const Entries& entries) {
    return archiveOf(entries, Format::zip);
}

// Every entry below `folder` (hidden ones, links and special files too), relative and sorted.
inline QStringList tree(const QString& folder) {
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        paths << QDir(folder).relativeFilePath(it.next());
    }
    paths.sort();
    return paths;
}

}  // namespace testarchive
