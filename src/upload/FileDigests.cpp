#include "upload/FileDigests.h"

#include "foundation/FileExtensions.h"

#include <QFile>

namespace {

constexpr qint64 kPieceSize = 1048576;

}  // namespace

Result<QByteArray> fileDigest(const QString& filePath, QCryptographicHash::Algorithm algorithm) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return Error{QStringLiteral("FileDigest"), static_cast<int>(file.error()),
                     file.errorString()};
    }
    QCryptographicHash hash(algorithm);
    QByteArray piece(kPieceSize, Qt::Uninitialized);
    for (;;) {
        const qint64 read = file.read(piece.data(), kPieceSize);
        if (read < 0) {
            Error error{QStringLiteral("FileDigest"), static_cast<int>(file.error()),
                        file.errorString()};
            closeQuietly(file);
            return error;
        }
        if (read == 0) {
            break;
        }
        hash.addData(QByteArrayView(piece.constData(), read));
    }
    closeQuietly(file);
    return hash.result();
}

Result<QByteArray> fileMD5(const QString& filePath) {
    return fileDigest(filePath, QCryptographicHash::Md5);
}

Result<QByteArray> fileSHA256(const QString& filePath) {
    return fileDigest(filePath, QCryptographicHash::Sha256);
}

QString digestHex(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex());
}
