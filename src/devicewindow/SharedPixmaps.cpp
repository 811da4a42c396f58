#include "devicewindow/SharedPixmaps.h"

#include <QCoreApplication>
#include <QHash>

namespace SharedPixmaps {
namespace {

QHash<QString, QPixmap>& store() {
    static QHash<QString, QPixmap> pixmaps;
    return pixmaps;
}

bool s_clearAtExit = false;

// Pixmaps belong to the application object; none outlives it in the store.
void clearStore() {
    store().clear();
    s_clearAtExit = false;
}

}  // namespace

QPixmap value(const QString& key, const std::function<QPixmap()>& make) {
    QHash<QString, QPixmap>& pixmaps = store();
    if (const auto found = pixmaps.constFind(key); found != pixmaps.constEnd()) {
        return *found;
    }
    const QPixmap pixmap = make();
    if (pixmap.isNull()) {
        return pixmap;
    }
    if (pixmaps.size() >= kCapacity) {
        pixmaps.clear();
    }
    if (!s_clearAtExit) {
        qAddPostRoutine(clearStore);
        s_clearAtExit = true;
    }
    pixmaps.insert(key, pixmap);
    return pixmap;
}

}  // namespace SharedPixmaps
