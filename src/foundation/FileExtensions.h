#pragma once

#include "foundation/Result.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QFileDevice;
class QIODevice;

// Size in bytes of the item at `path`; 0 when there is none.
qint64 fileSizeAtPath(const QString& path);

// Closes the file; a failure to close is of no interest to the caller.
void closeQuietly(QFileDevice& file);

// Puts bytes on a device; returns how many it wrote, -1 on failure.
using DeviceWriter = std::function<qint64(QIODevice& device, const QByteArray& bytes)>;

// Replaces the file at `path` whole. The bytes go to a temporary file beside it, which takes the
// old file's place only once every byte is written, so an interrupted write leaves the old file
// as it was. The error's message is the system's text.
Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                 const DeviceWriter& writer = {});
