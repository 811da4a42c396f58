#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cassert>
#include <optional>
#include <utility>

// What a strict read found under a key.
enum class JsonPresence {
    missing,    // the key is not there
    null,       // the key holds JSON null
    wrongType,  // the key holds a value of another type (or a number out of range)
    value,      // the key holds a value of the asked type
};

template <typename T>
class JsonField {
public:
    JsonField(JsonPresence presence) : m_presence(presence) {
        assert(presence != JsonPresence::value);
    }
    JsonField(T value) : m_presence(JsonPresence::value), m_value(std::move(value)) {}

    JsonPresence presence() const { return m_presence; }
    bool isMissing() const { return m_presence == JsonPresence::missing; }
    bool isNull() const { return m_presence == JsonPresence::null; }
    bool isWrongType() const { return m_presence == JsonPresence::wrongType; }
    bool hasValue() const { return m_presence == JsonPresence::value; }
    // Missing or null: what an optional field of a record reads as "absent".
    bool isAbsent() const { return isMissing() || isNull(); }

    const T& value() const {
        assert(hasValue());
        return *m_value;
    }
    // The value, or nothing when absent or of another type.
    std::optional<T> optional() const { return m_value; }
    T valueOr(T fallback) const { return m_value ? *m_value : std::move(fallback); }

private:
    JsonPresence m_presence;
    std::optional<T> m_value;
};

// Typed reads over a JSON object that tell a missing key, a null and a wrong type apart.
// Integers stay exact over the whole signed 64-bit range; a number with a fraction is not an
// integer, and an integer read never rounds.
class JsonReader {
public:
    explicit JsonReader(QJsonObject object) : m_object(std::move(object)) {}

    const QJsonObject& object() const { return m_object; }
    bool contains(const QString& key) const { return m_object.contains(key); }

    JsonField<QString> string(const QString& key) const;
    JsonField<bool> boolean(const QString& key) const;
    JsonField<qint64> int64(const QString& key) const;
    JsonField<int> int32(const QString& key) const;
    JsonField<double> number(const QString& key) const;
    JsonField<QJsonObject> object(const QString& key) const;
    JsonField<QJsonArray> array(const QString& key) const;

    // The same rules applied to a single value (an array element, say).
    static JsonField<QString> asString(const QJsonValue& value);
    static JsonField<bool> asBool(const QJsonValue& value);
    static JsonField<qint64> asInt64(const QJsonValue& value);
    static JsonField<int> asInt32(const QJsonValue& value);
    static JsonField<double> asNumber(const QJsonValue& value);
    static JsonField<QJsonObject> asObject(const QJsonValue& value);
    static JsonField<QJsonArray> asArray(const QJsonValue& value);

private:
    QJsonValue lookup(const QString& key) const;

    QJsonObject m_object;
};
