#pragma once

#include "app/WebContentManager.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/DocumentsRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace webtest {

struct ZipEntry {
    enum Kind { file, folder, symlink };
    QString name;
    QByteArray data;  // a file's content or a link's target
    Kind kind = file;
};

// A zip archive made with libarchive's writer; names are written as given, hostile ones too.
inline QByteArray zipOf(const QList<ZipEntry>& entries) {
    QByteArray buffer(4 << 20, '\0');
    size_t used = 0;
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_open_memory(writer, buffer.data(), size_t(buffer.size()), &used);
    for (const ZipEntry& item : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.toUtf8().constData());
        archive_entry_set_perm(entry, item.kind == ZipEntry::folder ? 0755 : 0644);
        const int type = item.kind == ZipEntry::folder    ? AE_IFDIR
                         : item.kind == ZipEntry::symlink ? AE_IFLNK
                                                          : AE_IFREG;
        archive_entry_set_filetype(entry, static_cast<unsigned>(type));
        archive_entry_set_size(entry, item.kind == ZipEntry::file ? item.data.size() : 0);
        if (item.kind == ZipEntry::symlink) {
            archive_entry_set_symlink(entry, item.data.constData());
        }
        archive_write_header(writer, entry);
        if (item.kind == ZipEntry::file) {
            archive_write_data(writer, item.data.constData(), size_t(item.data.size()));
        }
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    buffer.resize(qsizetype(used));
    return buffer;
}

inline QByteArray packageZip() {
    return zipOf({{QStringLiteral("pc/"), {}, ZipEntry::folder},
                  {QStringLiteral("pc/index.html"), "<html>downloaded</html>"},
                  {QStringLiteral("pc/js/app.js"), "console.log(1)"}});
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QString webRoot() {
    return QDir(documentsRootPath()).filePath(QStringLiteral("KXVWebContent"));
}

inline QString versionEntry(const QString& version) {
    return QDir(webRoot()).filePath(version + QStringLiteral("/pc/index.html"));
}

inline void installVersion(const QString& version, bool withEntry = true) {
    const QString folder = QDir(webRoot()).filePath(version + QStringLiteral("/pc"));
    QDir().mkpath(folder);
    if (withEntry) {
        writeFile(QDir(folder).filePath(QStringLiteral("index.html")), version.toUtf8());
    }
}

// A private settings file, a built-in "pc" fixture and a temporary folder per test; the
// documents root (KX_DOCUMENTS_ROOT, shared by the whole test program) starts without packages.
struct Sandbox {
    QTemporaryDir scratch;
    std::unique_ptr<SettingsManager> settings;

    Sandbox() {
        QDir(webRoot()).removeRecursively();
        settings =
            std::make_unique<SettingsManager>(scratch.filePath(QStringLiteral("settings.ini")));
        writeFile(builtInFolder() + QStringLiteral("/index.html"), "<html>built-in</html>");
        writeFile(builtInFolder() + QStringLiteral("/css/site.css"), "body{}");
        QDir().mkpath(temporaryFolder());
    }
    QString builtInFolder() const { return scratch.filePath(QStringLiteral("bundle/pc")); }
    QString temporaryFolder() const { return scratch.filePath(QStringLiteral("tmp")); }
    QString temporaryZip() const {
        return QDir(temporaryFolder()).filePath(QStringLiteral("KXVWebContent_temp_download.zip"));
    }

    WebContentManager::Options options() const {
        WebContentManager::Options options;
        options.builtInPackageFolder = builtInFolder();
        options.temporaryFolder = temporaryFolder();
        options.sandboxDocumentsPath = scratch.filePath(QStringLiteral("container/Documents"));
        options.retryUnit = std::chrono::milliseconds(20);
        options.settings = settings.get();
        return options;
    }
};

}  // namespace webtest
