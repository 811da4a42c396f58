#pragma once

#include <QColor>
#include <QString>

// A colour from "#RGB", "#RGBA", "#RRGGBB" or "#RRGGBBAA" (with or without "#" / "0x").
// Six digits take `alpha`; eight carry their own. Anything else is fully transparent.
QColor colorFromHex(const QString& text, double alpha = 1.0);
