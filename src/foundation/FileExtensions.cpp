#include "foundation/FileExtensions.h"

#include <QFileDevice>
#include <QFileInfo>

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
