#pragma once

#include <QPixmap>
#include <QString>

#include <functional>

// Pictures every device window shows alike, made once and handed to each window. A QIcon keeps
// the pixmaps it scales or derives for a button in the application's pixmap cache under the
// source pixmap's key; with sources made afresh for every window, each window that opened left
// its set there after it closed, until the cache reached its limit. Shared sources keep the
// cache to one set. GUI thread only.
namespace SharedPixmaps {

// More distinct pictures than the windows ever ask for; a store that reaches it starts over.
inline constexpr qsizetype kCapacity = 256;

// The picture kept under `key`, made by `make` the first time. A null picture is not kept.
// Pictures already handed out stay valid when the store starts over or the application goes.
QPixmap value(const QString& key, const std::function<QPixmap()>& make);

}  // namespace SharedPixmaps
