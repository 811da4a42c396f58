#pragma once

#include <QPixmap>
#include <QString>

// The device window's pictures: an application image by name when the build ships one, and the
// drawn stand-ins used when it does not.
namespace DeviceWindowImages {

// ":/devicewindow/<name>.png", or a null pixmap.
QPixmap named(const QString& name);
// A drawn symbol: "keyboard" or "circle"; null for any other name.
QPixmap systemSymbol(const QString& name);
// "cloudphone_loading_background", else a dark gradient.
QPixmap loadingBackground();

}  // namespace DeviceWindowImages
