#include "web/CloudphoneMessageReading.h"

#include <QRegularExpression>

namespace CloudphoneMessageReading {

namespace {

template <typename T, typename Read>
std::optional<QList<T>> elementsIn(const JsonReader& reader, const QString& key, Read read) {
    const std::optional<QJsonArray> array = reader.array(key).optional();
    if (!array) {
        return std::nullopt;
    }
    QList<T> elements;
    elements.reserve(array->size());
    for (const QJsonValue& value : *array) {
        std::optional<T> element = read(value).optional();
        if (!element) {
            return std::nullopt;
        }
        elements << std::move(*element);
    }
    return elements;
}

}  // namespace

std::optional<QList<QJsonObject>> objectsIn(const JsonReader& reader, const QString& key) {
    return elementsIn<QJsonObject>(reader, key, &JsonReader::asObject);
}

std::optional<QList<qint64>> integersIn(const JsonReader& reader, const QString& key) {
    return elementsIn<qint64>(reader, key, &JsonReader::asInt64);
}

std::optional<QStringList> stringsIn(const JsonReader& reader, const QString& key) {
    return elementsIn<QString>(reader, key, &JsonReader::asString);
}

std::optional<qint64> decimalInteger(const QString& text) {
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

}  // namespace CloudphoneMessageReading
