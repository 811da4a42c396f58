#pragma once

#include "foundation/Result.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QFileDevice;
class QIODevice;

// Who may read and write a file or folder. `ownerOnly` is 0600 for files and 0700 for folders,
// whatever the process umask.
enum class FileAccess { standard, ownerOnly };

// Size in bytes of the item at `path`; 0 when there is none.
qint64 fileSizeAtPath(const QString& path);

// Closes the file; a failure to close is of no interest to the caller.
void closeQuietly(QFileDevice& file);

// Puts bytes on a device; returns how many it wrote, -1 on failure.
using DeviceWriter = std::function<qint64(QIODevice& device, const QByteArray& bytes)>;

// Replaces the file at `path` whole. The bytes go to a temporary file beside it, which takes the
// old file's place only once every byte is written, so an interrupted write leaves the old file
// as it was. With `FileAccess::ownerOnly` the file is 0600 from its first byte; otherwise a
// replaced file keeps its mode. The error's message is the system's text.
Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                 const DeviceWriter& writer = {},
                                 FileAccess access = FileAccess::standard);

// Creates the folder (and missing parents); for `ownerOnly` its own mode becomes 0700, also when
// it was already there. Returns false when the folder cannot be made.
bool createFolder(const QString& path, FileAccess access = FileAccess::standard);

// One path component naming a file in the folder it is joined to: not empty, not "." or "..",
// no "/", "\" or NUL.
bool isPlainFileName(const QString& name);

// Reads a regular file whole, refusing anything else at `path`: a symbolic link, a FIFO (which
// would block the reader), a device or a folder, and files larger than `maxBytes`.
Result<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);
