#pragma once

#include "api/KeyedDecoder.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

// Writes the fields of one record into a JSON object; absent fields are left out, never null.
class KeyedEncoder {
public:
    template <typename T>
    void encode(const QString& key, const T& value) {
        m_object.insert(key, encodeValue(value));
    }

    template <typename T>
    void encodeIfPresent(const QString& key, const std::optional<T>& value) {
        if (value) {
            encode(key, *value);
        }
    }

    const QJsonObject& object() const { return m_object; }

    template <typename T>
    static QJsonValue encodeValue(const T& value) {
        if constexpr (std::is_same_v<T, QString> || std::is_same_v<T, qint64> ||
                      std::is_same_v<T, bool>) {
            return QJsonValue(value);
        } else if constexpr (IsQList<T>::value) {
            QJsonArray array;
            for (const auto& element : value) {
                array.append(encodeValue(element));
            }
            return array;
        } else {
            static_assert(JsonRecord<T>, "no JSON form for this type");
            return value.toJson();
        }
    }

private:
    QJsonObject m_object;
};

template <typename Record, typename... Fields>
QJsonObject encodeRecord(const Record& record, const std::tuple<Fields...>& keys) {
    KeyedEncoder encoder;
    std::apply(
        [&](const auto&... field) {
            (encoder.encodeIfPresent(QString::fromLatin1(field.key), record.*(field.member)), ...);
        },
        keys);
    return encoder.object();
}
