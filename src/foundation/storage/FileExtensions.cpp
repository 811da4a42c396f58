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

namespace {

constexpr QFileDevice::Permissions kOwnerReadWrite =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return failure(file.errorString());
    }
    // Narrowed before the first byte: the temporary file is what becomes the file.
    if (access == FileAccess::ownerOnly && !file.setPermissions(kOwnerReadWrite)) {
        file.cancelWriting();
        return failure(file.errorString());
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
    if (!QDir().mkpath(path)) {
        return false;
    }
    return access != FileAccess::ownerOnly || QFile::setPermissions(path, kOwnerFolder);
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
