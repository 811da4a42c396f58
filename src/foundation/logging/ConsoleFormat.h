#pragma once

#include "foundation/json/Result.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// The plain console lines of the session, the web bridge, the device window and the application,
// and how they write values into them: a number in its shortest exact form with at least one
// decimal ("90.0", "1.5707963267948966"), points and sizes in brackets, dictionaries as
// ["key": value, …] with texts quoted, keys in order and "[:]" when empty, errors as
// Error Domain=<domain> Code=<code> "<message>", optional values as "Optional(<value>)" or "nil".
namespace ConsoleFormat {

// One line on standard output through ConsoleOutput, not through the logger.
void print(const QString& line);

QString number(double value);
QString boolean(bool value);
QString point(const QPointF& point);
QString size(const QSizeF& size);
QString rect(const QRectF& rect);
QString transform(const QTransform& transform);

QString describe(const QVariantMap& dictionary);
QString describe(const QVariant& value);
QString describe(const Error& error);

template <typename T>
QString describeOptional(const std::optional<T>& value) {
    return value ? QStringLiteral("Optional(") + describe(*value) + QLatin1Char(')')
                 : QStringLiteral("nil");
}

}  // namespace ConsoleFormat
