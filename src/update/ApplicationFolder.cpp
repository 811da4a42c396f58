#include "update/ApplicationFolder.h"

#include "foundation/settings/BundleInfo.h"
#include "foundation/storage/FileExtensions.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <unistd.h>

namespace {

constexpr qint64 kMaxBundleInfoBytes = 1024 * 1024;

bool isRealFolder(const QFileInfo& info) {
    return info.isDir() && !info.isSymLink();
}

bool copyLink(const QString& source, const QString& target) {
    QByteArray linkTarget(4096, '\0');
    const ssize_t length =
        ::readlink(QFile::encodeName(source).constData(), linkTarget.data(), linkTarget.size());
    if (length <= 0 || length >= linkTarget.size()) {
        return false;
    }
    linkTarget.resize(length);
    return ::symlink(linkTarget.constData(), QFile::encodeName(target).constData()) == 0;
}

}  // namespace

bool ApplicationFolder::holdsBundleInfo(const QString& folder) {
    const QFileInfo info(QDir(folder).filePath(BundleInfo::kFileName));
    return isRealFolder(QFileInfo(folder)) && info.isFile() && !info.isSymLink();
}

bool ApplicationFolder::holdsExecutable(const QString& folder, const QString& executableName) {
    if (!isPlainFileName(executableName)) {
        return false;
    }
    const QFileInfo executable(QDir(folder).filePath(executableName));
    return executable.isFile() && !executable.isSymLink() && executable.isExecutable();
}

Result<QJsonObject> ApplicationFolder::readBundleInfo(const QString& folder) {
    const Result<QByteArray> bytes =
        readRegularFile(QDir(folder).filePath(BundleInfo::kFileName), kMaxBundleInfoBytes);
    if (!bytes) {
        return bytes.error();
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes.value(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return Error{QStringLiteral("ApplicationFolder"), -1,
                     BundleInfo::kFileName + QStringLiteral(" is not a JSON object in ") + folder};
    }
    return document.object();
}

ApplicationFolder::Presence ApplicationFolder::presence(const QString& path,
                                                        const QString& identifier,
                                                        const QString& executableName) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return Presence::missing;
    }
    if (!isRealFolder(info) || identifier.isEmpty() || !holdsExecutable(path, executableName)) {
        return Presence::partial;
    }
    const Result<QJsonObject> bundleInfo = readBundleInfo(path);
    const QJsonValue named =
        bundleInfo ? bundleInfo.value().value(BundleInfo::kIdentifierKey) : QJsonValue();
    return named.isString() && named.toString() == identifier ? Presence::whole : Presence::partial;
}

bool ApplicationFolder::remove(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return true;
    }
    if (isRealFolder(info)) {
        return QDir(path).removeRecursively();
    }
    return QFile::remove(path);
}

bool ApplicationFolder::copy(const QString& source, const QString& target,
                             const std::function<void()>& afterFile) {
    const QFileInfo root(source);
    // The copied folders keep their modes, but never writable by group or others.
    if (!isRealFolder(root) || !QDir().mkdir(target) ||
        !QFile::setPermissions(
            target, root.permissions() & ~(QFileDevice::WriteGroup | QFileDevice::WriteOther))) {
        return false;
    }
    QDirIterator entries(source,
                         QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        const QString destination = QDir(target).filePath(entry.fileName());
        bool copied = false;
        if (entry.isSymLink()) {
            copied = copyLink(entry.filePath(), destination);
        } else if (entry.isDir()) {
            copied = copy(entry.filePath(), destination, afterFile);
        } else if (entry.isFile()) {
            copied = QFile::copy(entry.filePath(), destination);
            if (copied && afterFile) {
                afterFile();
            }
        }
        if (!copied) {
            return false;
        }
    }
    return true;
}
