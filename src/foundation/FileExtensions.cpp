#include "foundation/FileExtensions.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

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
                                 const DeviceWriter& writer) {
    const auto failure = [&path](const QString& message) {
        return Result<void>::failure(
            Error{QStringLiteral("FileExtensions.write"), -1, message.isEmpty() ? path : message});
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
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
