#pragma once

#include "foundation/Result.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

// Whole-file digests read in 1 MiB pieces, so memory stays bounded whatever the file's size.
// Opening and reading errors come back as errors (domain "FileDigest", the system's text).
Result<QByteArray> fileDigest(const QString& filePath, QCryptographicHash::Algorithm algorithm);
Result<QByteArray> fileMD5(const QString& filePath);
Result<QByteArray> fileSHA256(const QString& filePath);

// Lower-case hexadecimal, two digits per byte.
QString digestHex(const QByteArray& digest);
