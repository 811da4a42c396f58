#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

class QFile;
class QFileDevice;

// Who may read and write a file or folder the client makes. `ownerOnly` is 0600 for files and
// 0700 for folders, `standard` 0644 and 0755: never writable by group or others, whatever the
// process umask (which may still narrow a new item further).
enum class FileAccess { standard, ownerOnly };

// Size in bytes of the item at `path`; 0 when there is none.
qint64 fileSizeAtPath(const QString& path);

// Closes the file; a failure to close is of no interest to the caller.
void closeQuietly(QFileDevice& file);

// Puts bytes on a device; returns how many it wrote, -1 on failure.
using DeviceWriter = std::function<qint64(QIODevice& device, const QByteArray& bytes)>;

// Replaces the file at `path` whole. The bytes go to a temporary file beside it, which takes the
// old file's place only once every byte is written, so an interrupted write leaves the old file
// as it was. The file has the access's mode from its first byte; a `standard` file that replaces
// another keeps that one's mode, less any group or other write. The error's message is the
// system's text.
Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                 const DeviceWriter& writer = {},
                                 FileAccess access = FileAccess::standard);

// Creates the folder and missing parents, each made with at most the access's mode. A folder
// already there is narrowed: to 0700 for `ownerOnly`, to no group or other write for `standard`.
// Returns false when the folder cannot be made.
bool createFolder(const QString& path, FileAccess access = FileAccess::standard);

// Opens `file` to write (`mode` adds Append, NewOnly and the like). A new file is made with the
// access's mode (the umask may only narrow it); one already there is narrowed as `createFolder`
// narrows a folder.
bool openForWriting(QFile& file, QIODevice::OpenMode mode = QIODevice::WriteOnly,
                    FileAccess access = FileAccess::standard);

// Gives a file just opened to write at most the access's mode when `existed` is false, else
// narrows it as `createFolder` narrows a folder; for files opened by other means (QSaveFile).
bool applyFileAccess(QFileDevice& file, bool existed, FileAccess access);

// Takes group and other write away from everything under `root`, `root` included, without
// following links; for trees copied from elsewhere.
void removeGroupAndOtherWrite(const QString& root);

// One path component naming a file in the folder it is joined to: not empty, not "." or "..",
// no "/", "\" or NUL.
bool isPlainFileName(const QString& name);

// Reads a regular file whole, refusing anything else at `path`: a symbolic link, a FIFO (which
// would block the reader), a device or a folder, and files larger than `maxBytes`.
Result<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);
