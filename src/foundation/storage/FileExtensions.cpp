#include "foundation/storage/FileExtensions.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

constexpr mode_t kGroupOrOtherWrite = S_IWGRP | S_IWOTH;

mode_t fileMode(FileAccess access) {
    return access == FileAccess::ownerOnly ? 0600 : 0644;
}

mode_t folderMode(FileAccess access) {
    return access == FileAccess::ownerOnly ? 0700 : 0755;
}

// What an existing item's mode becomes.
mode_t narrowed(mode_t current, mode_t ownerOnlyMode, FileAccess access) {
    return access == FileAccess::ownerOnly ? ownerOnlyMode : current & ~kGroupOrOtherWrite;
}

Error readError(const QString& path, const QString& problem) {
    return Error{QStringLiteral("FileExtensions.read"), -1, problem + QStringLiteral(": ") + path};
}

}  // namespace

qint64 fileSizeAtPath(const QString& path) {
    if (path.isEmpty()) {
        return 0;
    }
    const QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

void closeQuietly(QFileDevice& file) {
    if (file.isOpen()) {
        file.close();
    }
}

Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                 const DeviceWriter& writer, FileAccess access) {
    const auto failure = [&path](const QString& message) {
        return Result<void>::failure(
            Error{QStringLiteral("FileExtensions.write"), -1, message.isEmpty() ? path : message});
    };
    const bool replacing = QFileInfo::exists(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return failure(file.errorString());
    }
    // Before the first byte: the temporary file is what becomes the file. It starts with the old
    // file's mode, or with the umask's.
    if (!applyFileAccess(file, replacing, access)) {
        file.cancelWriting();
        return failure(QString::fromLocal8Bit(strerror(errno)));
    }
    const qint64 written = writer ? writer(file, bytes) : file.write(bytes);
    if (written != bytes.size()) {
        const QString message = file.error() != QFileDevice::NoError
                                    ? file.errorString()
                                    : QStringLiteral("wrote %1 of %2 bytes to %3")
                                          .arg(qMax<qint64>(written, 0))
                                          .arg(bytes.size())
                                          .arg(path);
        file.cancelWriting();
        return failure(message);
    }
    if (!file.commit()) {
        return failure(file.errorString());
    }
    return {};
}

bool createFolder(const QString& path, FileAccess access) {
    const QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList missing;
    for (QString step = folder; !QFileInfo::exists(step) && step != QDir::rootPath();
         step = QFileInfo(step).absolutePath()) {
        missing.prepend(step);
    }
    const mode_t mode = folderMode(access);
    for (const QString& step : std::as_const(missing)) {
        // The umask may narrow the mode further, never widen it.
        if (::mkdir(QFile::encodeName(step).constData(), mode) != 0 && errno != EEXIST) {
            return false;
        }
    }
    const QByteArray encoded = QFile::encodeName(folder);
    struct stat status {};
    if (::stat(encoded.constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return false;
    }
    const mode_t current = status.st_mode & 07777;
    const mode_t wanted = missing.isEmpty() ? narrowed(current, mode, access) : current & mode;
    return current == wanted || ::chmod(encoded.constData(), wanted) == 0;
}

bool applyFileAccess(QFileDevice& file, bool existed, FileAccess access) {
    struct stat status {};
    if (::fstat(file.handle(), &status) != 0) {
        return false;
    }
    const mode_t current = status.st_mode & 07777;
    // A new file was made under the umask, which may have narrowed it further.
    const mode_t wanted =
        existed ? narrowed(current, fileMode(access), access) : current & fileMode(access);
    return current == wanted || ::fchmod(file.handle(), wanted) == 0;
}

bool openForWriting(QFile& file, QIODevice::OpenMode mode, FileAccess access) {
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (access == FileAccess::standard) {
        permissions |= QFileDevice::ReadGroup | QFileDevice::ReadOther;
    }
    const bool existed = file.exists();
    if (!file.open(mode | QIODevice::WriteOnly, permissions)) {
        return false;
    }
    if (!applyFileAccess(file, existed, access)) {
        file.close();
        return false;
    }
    return true;
}

void removeGroupAndOtherWrite(const QString& root) {
    std::error_code code;
    const std::filesystem::path top(QFile::encodeName(root).toStdString());
    const auto narrow = [](const std::filesystem::path& item) {
        struct stat status {};
        if (::lstat(item.c_str(), &status) == 0 && !S_ISLNK(status.st_mode) &&
            (status.st_mode & kGroupOrOtherWrite) != 0) {
            ::chmod(item.c_str(), status.st_mode & 07777 & ~kGroupOrOtherWrite);
        }
    };
    narrow(top);
    for (std::filesystem::recursive_directory_iterator it(top, code), end; !code && it != end;
         it.increment(code)) {
        narrow(it->path());
    }
}

bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(0));
}

Result<QByteArray> readRegularFile(const QString& path, qint64 maxBytes) {
    // No following of a final link, and no blocking on a FIFO while its kind is checked.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return readError(path, errno == ELOOP ? QStringLiteral("a symbolic link")
                                              : QString::fromLocal8Bit(strerror(errno)));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return readError(path, file.errorString());
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return readError(path, QStringLiteral("not a regular file"));
    }
    if (status.st_size > maxBytes) {
        return readError(path, QStringLiteral("larger than %1 bytes").arg(maxBytes));
    }
    // The size may change while reading; never take more than the cap.
    QByteArray data = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return readError(path, file.errorString());
    }
    if (data.size() > maxBytes) {
        return readError(path, QStringLiteral("larger than %1 bytes").arg(maxBytes));
    }
    return data;
}
