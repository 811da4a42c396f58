#pragma once

#include "TestArchiveWriter.h"
#include "app/WebContentManager.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/DocumentsRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QTemporaryDir>

#include <memory>

namespace webtest {

using ZipEntry = testarchive::Entry;
using testarchive::zipOf;

inline QByteArray packageZip() {
    return zipOf({{ZipEntry::folder, "pc/", {}, 0755},
                  {ZipEntry::file, "pc/index.html", "<html>downloaded</html>"},
                  {ZipEntry::file, "pc/js/app.js", "console.log(1)"}});
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
