#pragma once

#include "foundation/json/JsonReader.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Reads of the page's device lists. A list must hold its element type throughout: one element of
// another type makes the whole field unusable.
namespace CloudphoneMessageReading {

std::optional<QList<QJsonObject>> objectsIn(const JsonReader& reader, const QString& key);
std::optional<QList<qint64>> integersIn(const JsonReader& reader, const QString& key);
std::optional<QStringList> stringsIn(const JsonReader& reader, const QString& key);

// An optional sign, then decimal digits and nothing else; nothing on overflow.
std::optional<qint64> decimalInteger(const QString& text);

}  // namespace CloudphoneMessageReading
