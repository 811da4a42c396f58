#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

// The device window's own icons, drawn at run time in a mid grey on transparent so that they
// can be tinted: the control buttons ("back", "home", "overview", "ping", "volumeUp",
// "volumeDown", "rotation", "snapshot", "keyboard", "install", "previous", "next"), the pin
// ("pin_normal", "pin_selected") and the input-sync states ("play.fill", "pause.fill").
namespace DeviceWindowIcons {

// Null for a name without a drawing. Drawn once and shared by every window.
QPixmap drawn(const QString& name);
// Every opaque pixel in `color`, alpha kept. Shared by every window that tints the same pixmap
// (the same cache key) in the same colour, so `image` should be one of the shared pictures.
QPixmap tinted(const QPixmap& image, const QColor& color);

}  // namespace DeviceWindowIcons
