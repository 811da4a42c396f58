#include "update/UpdatesDirectory.h"

#include "foundation/settings/BundleInfo.h"
#include "foundation/storage/FileExtensions.h"

#include <QDir>
#include <QStandardPaths>
#include <QUuid>

UpdatesDirectory::UpdatesDirectory()
    : UpdatesDirectory(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                       BundleInfo::main().bundleIdentifier()) {}

UpdatesDirectory::UpdatesDirectory(const QString& applicationSupportDirectory,
                                   const std::optional<QString>& bundleIdentifier) {
    const QString identifier =
        bundleIdentifier && !bundleIdentifier->isEmpty() ? *bundleIdentifier : kFallbackIdentifier;
    m_path =
        QDir(applicationSupportDirectory).filePath(identifier + QLatin1Char('/') + kFolderName);
}

QString UpdatesDirectory::newPackagePath() const {
    return newFilePath(QStringLiteral("update-"), kPackageExtension);
}

QString UpdatesDirectory::newTaskPath() const {
    return newFilePath(QStringLiteral("task-"), QStringLiteral(".json"));
}

Result<void> UpdatesDirectory::create() const {
    if (!createFolder(m_path, FileAccess::ownerOnly)) {
        return Error{QStringLiteral("UpdatesDirectory"), -1,
                     QStringLiteral("cannot create the folder ") + m_path};
    }
    return {};
}

Result<QString> UpdatesDirectory::writeTask(const UpdateTask& task) const {
    const QString path = newTaskPath();
    if (Result<void> written = writeFileAtomically(path, task.toJson()); !written) {
        return written.error();
    }
    return path;
}

QString UpdatesDirectory::newFilePath(const QString& prefix, const QString& extension) const {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return QDir(m_path).filePath(prefix + uuid + extension);
}
