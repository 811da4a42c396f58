#pragma once

#include "foundation/JsonReader.h"
#include "foundation/Result.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <concepts>
#include <functional>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

// What went wrong when a JSON value did not fit a record read by coding path: Error{domain,
// code, message} with the coding path of the failing value in the message.
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

// Reads the keys of one JSON object into a record: an optional key may be missing or null, a
// present key must hold its type, a required key must be there. The first problem found is the
// decoder's failure. Two ways to go on after it:
//  - `firstFailureSticks`: later reads do nothing and answer defaults;
//  - `readsGoOn`: later reads still read, so a caller may fill a whole record, then ask.
// Problems are worded either by coding path ("类型不匹配: \"a.b\" 应为文本，实际为数字", the
// service's records) or by record name ("KMPFile: value of \"x\" has the wrong type", the plan
// files), or by a record family's own wording.
class RecordDecoder {
public:
    enum class FailurePolicy { firstFailureSticks, readsGoOn };
    // The error for a key that is not usable: `found` is missing, null or wrongType.
    using Wording = std::function<Error(const QString& key, JsonPresence found, bool required)>;

    // Record-name wording.
    RecordDecoder(QJsonObject object, QString recordName,
                  FailurePolicy policy = FailurePolicy::readsGoOn);
    // The family's own wording of the reads below.
    RecordDecoder(QJsonObject object, Wording wording, FailurePolicy policy);
    // Coding-path wording; anything but an object fails at once.
    static RecordDecoder atCodingPath(const QJsonValue& value, QString codingPath,
                                      FailurePolicy policy = FailurePolicy::firstFailureSticks);

    // The JSON text as one object, or the record-name decoding error.
    static Result<QJsonObject> parseObject(const QByteArray& data, const QString& recordName);
    static Error decodingError(const QString& message);

    const std::optional<Error>& failure() const { return m_failure; }
    bool failed() const { return m_failure.has_value(); }
    // A problem in record-name wording.
    void fail(const QString& problem);
    // A nested record's failure, or one worded by the caller, kept if it is the first.
    void adopt(const Error& nested);

    // Reads answering the value when it is usable (absent or a default otherwise).
    std::optional<int> optionalInt(const QString& key);
    std::optional<qint64> optionalInt64(const QString& key);
    std::optional<quint16> optionalKeyCode(const QString& key);
    std::optional<double> optionalNumber(const QString& key);
    std::optional<bool> optionalBool(const QString& key);
    std::optional<QString> optionalString(const QString& key);
    std::optional<QJsonObject> optionalObject(const QString& key);
    std::optional<QJsonArray> optionalArray(const QString& key);

    qint64 requiredInt64(const QString& key);
    bool requiredBool(const QString& key);
    double requiredNumber(const QString& key);
    QString requiredString(const QString& key);
    QJsonObject requiredObject(const QString& key);
    QJsonArray requiredArray(const QString& key);

    // Typed reads in coding-path wording. Missing key, null or anything but text fails.
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
            adopt(decoded.error());
            return;
        }
        field = std::move(decoded).value();
    }

    // For enumerations: the raw value is read as Raw and must be one that `fromRaw` accepts.
    template <typename Raw, typename T>
    void decodeIfPresent(const QString& key, std::optional<T>& field,
                         std::optional<T> (*fromRaw)(const Raw&)) {
        std::optional<Raw> raw;
        const bool failedBefore = failed();
        decodeIfPresent(key, raw);
        if (!raw || failed() != failedBefore) {
            field.reset();
            return;
        }
        field = fromRaw(*raw);
        if (!field) {
            adopt(DecodingError::make(DecodingError::dataCorrupted, childPath(key),
                                      QStringLiteral("不是有效的取值")));
        }
    }

    template <typename T>
    Result<T> finish(T record) const {
        if (m_failure) {
            return *m_failure;
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
    bool skipping() const;
    template <typename T>
    std::optional<T> optionalField(const QString& key, const JsonField<T>& field);
    template <typename T>
    T requiredField(const QString& key, const JsonField<T>& field);
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

    JsonReader m_reader;
    QString m_name;  // the record name or the coding path
    Wording m_wording;
    FailurePolicy m_policy;
    std::optional<Error> m_failure;
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
    RecordDecoder decoder = RecordDecoder::atCodingPath(json, codingPath);
    std::apply(
        [&](const auto&... field) {
            (decoder.decodeIfPresent(QString::fromLatin1(field.key), record.*(field.member)), ...);
        },
        keys);
    return decoder.finish(std::move(record));
}
