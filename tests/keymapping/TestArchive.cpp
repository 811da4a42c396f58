#include "TestArchive.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

bool writeTestArchive(const QString& path, const QList<TestArchiveEntry>& entries,
                      TestArchiveFormat format) {
    archive* writer = archive_write_new();
    if (format == TestArchiveFormat::zip) {
        archive_write_set_format_zip(writer);
    } else {
        archive_write_set_format_pax_restricted(writer);
        archive_write_add_filter_gzip(writer);
    }
    bool ok =
        archive_write_open_filename(writer, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const TestArchiveEntry& item : entries) {
        if (!ok) {
            break;
        }
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.toUtf8().constData());
        archive_entry_set_perm(entry, 0644);
        switch (item.kind) {
            case TestArchiveEntry::Kind::file:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_size(entry, item.data.size());
                break;
            case TestArchiveEntry::Kind::directory:
                archive_entry_set_filetype(entry, AE_IFDIR);
                archive_entry_set_perm(entry, 0755);
                break;
            case TestArchiveEntry::Kind::symlink:
                archive_entry_set_filetype(entry, AE_IFLNK);
                archive_entry_set_symlink(entry, item.target.toUtf8().constData());
                break;
            case TestArchiveEntry::Kind::hardlink:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_hardlink(entry, item.target.toUtf8().constData());
                break;
        }
        ok = archive_write_header(writer, entry) == ARCHIVE_OK;
        if (ok && !item.data.isEmpty()) {
            ok = archive_write_data(writer, item.data.constData(),
                                    static_cast<size_t>(item.data.size())) == item.data.size();
        }
        archive_entry_free(entry);
    }
    ok = archive_write_close(writer) == ARCHIVE_OK && ok;
    archive_write_free(writer);
    return ok;
}
