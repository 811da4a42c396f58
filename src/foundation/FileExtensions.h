#pragma once

#include <QString>

class QFileDevice;

// Size in bytes of the item at `path`; 0 when there is none.
qint64 fileSizeAtPath(const QString& path);

// Closes the file; a failure to close is of no interest to the caller.
void closeQuietly(QFileDevice& file);
