#pragma once

#include "foundation/JsonReader.h"
#include "foundation/Result.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <concepts>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

// What went wrong when a JSON value did not fit a record: Error{domain, code, message} with the
// coding path of the failing value in the message.
namespace DecodingError {
inline const QString domain = QStringLiteral("DecodingError");
enum Code { typeMismatch = 1, valueNotFound = 2, keyNotFound = 3, dataCorrupted = 4 };

Error make(Code code, const QString& codingPath, const QString& detail);
// "文本", "整数", "null"…: how a JSON value is named in a message.
QString describe(const QJsonValue& value);
}  // namespace DecodingError

// A record with a strict JSON form: decoding fails on the first value of the wrong type, and
// encoding leaves absent fields out.
template <typename T>
concept JsonRecord = requires(const QJsonValue& json, const QString& path, const T& record) {
    { T::fromJson(json, path) } -> std::same_as<Result<T>>;
    { record.toJson() } -> std::convertible_to<QJsonValue>;
};

template <typename T>
struct IsQList : std::false_type {};
template <typename T>
struct IsQList<QList<T>> : std::true_type {
    using Element = T;
};

// Reads the keys of one JSON object into a record. The first failure sticks: later reads do
// nothing, and finish() hands back that error instead of the partly filled record.
class KeyedDecoder {
public:
    // Anything but an object fails at once.
    KeyedDecoder(const QJsonValue& value, QString codingPath);

    bool failed() const { return m_error.has_value(); }

    // Missing key, null or anything but text fails.
    void require(const QString& key, QString& field);

    // Missing or null leaves the field absent; any other value must have the field's type.
    template <typename T>
    void decodeIfPresent(const QString& key, std::optional<T>& field) {
        const std::optional<QJsonValue> value = presentValue(key);
        if (!value) {
            field.reset();
            return;
        }
        Result<T> decoded = decodeValue<T>(*value, childPath(key));
        if (!decoded) {
            m_error = decoded.error();
            return;
        }
        field = std::move(decoded).value();
    }

    // For enumerations: the raw value is read as Raw and must be one that `fromRaw` accepts.
    template <typename Raw, typename T>
    void decodeIfPresent(const QString& key, std::optional<T>& field,
                         std::optional<T> (*fromRaw)(const Raw&)) {
        std::optional<Raw> raw;
        decodeIfPresent(key, raw);
        if (!raw || failed()) {
            field.reset();
            return;
        }
        field = fromRaw(*raw);
        if (!field) {
            m_error = DecodingError::make(DecodingError::dataCorrupted, childPath(key),
                                          QStringLiteral("不是有效的取值"));
        }
    }

    template <typename T>
    Result<T> finish(T record) const {
        if (m_error) {
            return *m_error;
        }
        return record;
    }

    // One JSON value as T: text, 64-bit integer, boolean, a list of those or a JsonRecord.
    template <typename T>
    static Result<T> decodeValue(const QJsonValue& value, const QString& codingPath) {
        if constexpr (std::is_same_v<T, QString>) {
            return scalar(JsonReader::asString(value), value, codingPath, QStringLiteral("文本"));
        } else if constexpr (std::is_same_v<T, qint64>) {
            const JsonField<qint64> number = JsonReader::asInt64(value);
            // A number that is no 64-bit integer is there but unusable, not of another type.
            if (number.isWrongType() && value.isDouble()) {
                return DecodingError::make(
                    DecodingError::dataCorrupted, codingPath,
                    QStringLiteral("的数字 %1 不是 64 位整数").arg(value.toDouble(), 0, 'g', 17));
            }
            return scalar(number, value, codingPath, QStringLiteral("整数"));
        } else if constexpr (std::is_same_v<T, bool>) {
            return scalar(JsonReader::asBool(value), value, codingPath, QStringLiteral("布尔值"));
        } else if constexpr (IsQList<T>::value) {
            using Element = typename IsQList<T>::Element;
            const JsonField<QJsonArray> array = JsonReader::asArray(value);
            if (!array.hasValue()) {
                return mismatch(array.presence(), value, codingPath, QStringLiteral("数组"));
            }
            T list;
            list.reserve(array.value().size());
            for (qsizetype i = 0; i < array.value().size(); ++i) {
                Result<Element> element = decodeValue<Element>(
                    array.value().at(i), codingPath + QStringLiteral("[%1]").arg(i));
                if (!element) {
                    return element.error();
                }
                list.append(std::move(element).value());
            }
            return list;
        } else {
            static_assert(JsonRecord<T>, "no JSON form for this type");
            if (value.isNull()) {
                return mismatch(JsonPresence::null, value, codingPath, QStringLiteral("对象"));
            }
            return T::fromJson(value, codingPath);
        }
    }

private:
    std::optional<QJsonValue> presentValue(const QString& key) const;
    QString childPath(const QString& key) const;

    template <typename T>
    static Result<T> scalar(const JsonField<T>& field, const QJsonValue& value,
                            const QString& codingPath, const QString& expected) {
        if (field.hasValue()) {
            return field.value();
        }
        return mismatch(field.presence(), value, codingPath, expected);
    }
    static Error mismatch(JsonPresence presence, const QJsonValue& value, const QString& codingPath,
                          const QString& expected);

    QJsonObject m_object;
    QString m_path;
    std::optional<Error> m_error;
};

// One optional field of a record under its JSON key, for records whose every field is optional.
template <typename Record, typename T>
struct CodingKey {
    const char* key;
    std::optional<T> Record::*member;
};

template <typename Record, typename... Fields>
Result<Record> decodeRecord(const QJsonValue& json, const QString& codingPath,
                            const std::tuple<Fields...>& keys, Record record = {}) {
    KeyedDecoder decoder(json, codingPath);
    std::apply(
        [&](const auto&... field) {
            (decoder.decodeIfPresent(QString::fromLatin1(field.key), record.*(field.member)), ...);
        },
        keys);
    return decoder.finish(std::move(record));
}
