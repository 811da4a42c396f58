#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

// Whole-file digests read in 1 MiB pieces, so memory stays bounded whatever the file's size.
// Opening and reading errors come back as errors (domain "FileDigest", the system's text).
// Computed by libcrypto, which uses the processor's hashing instructions where it has them.
Result<QByteArray> fileDigest(const QString& filePath, QCryptographicHash::Algorithm algorithm);
Result<QByteArray> fileMD5(const QString& filePath);
Result<QByteArray> fileSHA256(const QString& filePath);

struct FileMD5AndSHA256 {
    QByteArray md5;
    QByteArray sha256;
};
// Both digests from one read of the file, computed side by side, so the slower one sets the time.
Result<FileMD5AndSHA256> fileMD5AndSHA256(const QString& filePath);

// Lower-case hexadecimal, two digits per byte.
QString digestHex(const QByteArray& digest);
