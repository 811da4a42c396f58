#pragma once

#include "foundation/Result.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// The session's plain console lines and the text forms of values printed in them.
namespace ConsoleText {

// One line on standard output, not through the logger.
void print(const QString& line);

// ["key": value, …] with texts quoted and keys in order; "[:]" when empty.
QString describe(const QVariantMap& dictionary);
QString describe(const QVariant& value);
// Error Domain=<domain> Code=<code> "<message>"
QString describe(const Error& error);

// "Optional(<text>)" or "nil".
template <typename T>
QString describeOptional(const std::optional<T>& value) {
    return value ? QStringLiteral("Optional(") + describe(*value) + QLatin1Char(')')
                 : QStringLiteral("nil");
}

}  // namespace ConsoleText
