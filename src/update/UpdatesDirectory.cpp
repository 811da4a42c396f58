#include "update/UpdatesDirectory.h"

#include "foundation/settings/BundleInfo.h"
#include "foundation/storage/FileExtensions.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUuid>

namespace {

const QString kPackagePrefix = QStringLiteral("update-");
const QString kVolumePrefix = QStringLiteral("volume-");

}  // namespace

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
    return newFilePath(kPackagePrefix, kPackageExtension);
}

QString UpdatesDirectory::newTaskPath() const {
    return newFilePath(QStringLiteral("task-"), QStringLiteral(".json"));
}

QString UpdatesDirectory::newVolumePath() const {
    return newFilePath(kVolumePrefix, QString());
}

bool UpdatesDirectory::holdsVolumePath(const QString& path) const {
    return holdsPath(path, kVolumePrefix, QString());
}

bool UpdatesDirectory::holdsPackagePath(const QString& path) const {
    return holdsPath(path, kPackagePrefix, kPackageExtension);
}

QString UpdatesDirectory::lockPath() const {
    return QDir(m_path).filePath(QStringLiteral("swap.lock"));
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

bool UpdatesDirectory::holdsPath(const QString& path, const QString& prefix,
                                 const QString& extension) const {
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const QFileInfo item(path);
    const QString name = item.fileName();
    if (!name.startsWith(prefix) || !name.endsWith(extension) ||
        !uuid.match(name.mid(prefix.size(), name.size() - prefix.size() - extension.size()))
             .hasMatch()) {
        return false;
    }
    // Compared resolved, so neither ".." nor a linked folder leads out of this one.
    const QString folder = QFileInfo(m_path).canonicalFilePath();
    return !folder.isEmpty() && QFileInfo(item.absolutePath()).canonicalFilePath() == folder;
}
