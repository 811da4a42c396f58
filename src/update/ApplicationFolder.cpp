#include "update/ApplicationFolder.h"

#include "foundation/settings/BundleInfo.h"
#include "foundation/storage/FileExtensions.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxBundleInfoBytes = 1024 * 1024;

bool isRealFolder(const QFileInfo& info) {
    return info.isDir() && !info.isSymLink();
}

std::optional<QByteArray> readLink(const QString& path) {
    QByteArray target(4096, '\0');
    const ssize_t length =
        ::readlink(QFile::encodeName(path).constData(), target.data(), target.size());
    if (length <= 0 || length >= target.size()) {
        return std::nullopt;
    }
    target.resize(length);
    return target;
}

bool copyLink(const QString& source, const QString& target) {
    const std::optional<QByteArray> linkTarget = readLink(source);
    return linkTarget &&
           ::symlink(linkTarget->constData(), QFile::encodeName(target).constData()) == 0;
}

// Copied folders keep their modes, but never writable by group or others.
constexpr ::mode_t kCopiedFolderModeBits = 0755;

QFileDevice::Permissions copiedFolderPermissions(QFileDevice::Permissions source) {
    return source & ~(QFileDevice::WriteGroup | QFileDevice::WriteOther);
}

// The kind of the entry (never followed if a link), with what a copy must keep of it.
QString describeEntry(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return QStringLiteral("unreadable");
    }
    if (S_ISDIR(status.st_mode)) {
        return QStringLiteral("folder %1").arg(status.st_mode & kCopiedFolderModeBits, 0, 8);
    }
    if (S_ISREG(status.st_mode)) {
        return QStringLiteral("file %1 %2")
            .arg(qint64(status.st_size))
            .arg(status.st_mode & 0777, 0, 8);
    }
    if (S_ISLNK(status.st_mode)) {
        return QStringLiteral("link ") + QString::fromLocal8Bit(readLink(path).value_or(""));
    }
    return QStringLiteral("other");
}

// The kernel's flags for renameat2.
constexpr unsigned int kRenameNoReplace = 1U << 0;
constexpr unsigned int kRenameExchange = 1U << 1;

int renameWithFlags(const QString& from, const QString& to, unsigned int flags) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
#ifdef RENAME_EXCHANGE
    return ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), flags);
#else
    // A C library without the wrapper.
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, source.constData(), AT_FDCWD,
                                      destination.constData(), flags));
#endif
}

// What a kernel or file system without the flags answers.
bool isUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

}  // namespace

bool ApplicationFolder::standsAt(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

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
    if (!standsAt(path)) {
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
    if (!standsAt(path)) {
        return true;
    }
    if (isRealFolder(QFileInfo(path))) {
        return QDir(path).removeRecursively();
    }
    return QFile::remove(path);
}

bool ApplicationFolder::copy(const QString& source, const QString& target,
                             const std::function<void()>& afterFile) {
    const QFileInfo root(source);
    if (!isRealFolder(root) || !isRealFolder(QFileInfo(target))) {
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
            copied = QDir().mkdir(destination) && copy(entry.filePath(), destination, afterFile);
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
    // Last, so that a folder without write access still takes its entries first.
    return QFile::setPermissions(target, copiedFolderPermissions(root.permissions()));
}

QStringList ApplicationFolder::listing(const QString& folder, const QString& skipped) {
    QStringList lines;
    const QDir root(folder);
    QDirIterator walk(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        const QString relative = root.relativeFilePath(path);
        if (!skipped.isEmpty() && relative == skipped) {
            continue;
        }
        lines << relative + QLatin1Char('\t') + describeEntry(path);
    }
    lines.sort();
    return lines;
}

ApplicationFolder::Exchange ApplicationFolder::exchange(const QString& first,
                                                        const QString& second) {
    if (renameWithFlags(first, second, kRenameExchange) == 0) {
        return Exchange::done;
    }
    return isUnsupported(errno) ? Exchange::refused : Exchange::failed;
}

bool ApplicationFolder::renameToFreeName(const QString& from, const QString& to) {
    if (renameWithFlags(from, to, kRenameNoReplace) == 0) {
        return true;
    }
    if (!isUnsupported(errno)) {
        return false;
    }
    // A plain rename would replace an empty folder at `to`.
    return !standsAt(to) &&
           ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}
