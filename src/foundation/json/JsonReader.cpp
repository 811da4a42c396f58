#include "foundation/json/JsonReader.h"

#include <limits>

namespace {

// Undefined stands for a missing key; a present key never reads as undefined.
std::optional<JsonPresence> absence(const QJsonValue& value) {
    if (value.isUndefined()) {
        return JsonPresence::missing;
    }
    if (value.isNull()) {
        return JsonPresence::null;
    }
    return std::nullopt;
}

}  // namespace

QJsonValue JsonReader::lookup(const QString& key) const {
    const auto it = m_object.constFind(key);
    return it == m_object.constEnd() ? QJsonValue(QJsonValue::Undefined) : it.value();
}

JsonField<QString> JsonReader::asString(const QJsonValue& value) {
    if (auto missing = absence(value)) {
        return *missing;
    }
    if (!value.isString()) {
        return JsonPresence::wrongType;
    }
    return value.toString();
}

JsonField<bool> JsonReader::asBool(const QJsonValue& value) {
    if (auto missing = absence(value)) {
        return *missing;
    }
    if (!value.isBool()) {
        return JsonPresence::wrongType;
    }
    return value.toBool();
}

JsonField<qint64> JsonReader::asInt64(const QJsonValue& value) {
    if (auto missing = absence(value)) {
        return *missing;
    }
    if (!value.isDouble()) {
        return JsonPresence::wrongType;
    }
    // toInteger() answers its fallback for a fraction or an out-of-range number; two different
    // fallbacks tell that apart from a stored integer equal to one of them.
    const qint64 first = value.toInteger(0);
    const qint64 second = value.toInteger(1);
    if (first != second) {
        return JsonPresence::wrongType;
    }
    return first;
}

JsonField<int> JsonReader::asInt32(const QJsonValue& value) {
    const JsonField<qint64> wide = asInt64(value);
    if (!wide.hasValue()) {
        return wide.presence();
    }
    if (wide.value() < std::numeric_limits<int>::min() ||
        wide.value() > std::numeric_limits<int>::max()) {
        return JsonPresence::wrongType;
    }
    return static_cast<int>(wide.value());
}

JsonField<double> JsonReader::asNumber(const QJsonValue& value) {
    if (auto missing = absence(value)) {
        return *missing;
    }
    if (!value.isDouble()) {
        return JsonPresence::wrongType;
    }
    return value.toDouble();
}

JsonField<QJsonObject> JsonReader::asObject(const QJsonValue& value) {
    if (auto missing = absence(value)) {
        return *missing;
    }
    if (!value.isObject()) {
        return JsonPresence::wrongType;
    }
    return value.toObject();
}

JsonField<QJsonArray> JsonReader::asArray(const QJsonValue& value) {
    if (auto missing = absence(value)) {
        return *missing;
    }
    if (!value.isArray()) {
        return JsonPresence::wrongType;
    }
    return value.toArray();
}

JsonField<QString> JsonReader::string(const QString& key) const {
    return asString(lookup(key));
}
JsonField<bool> JsonReader::boolean(const QString& key) const {
    return asBool(lookup(key));
}
JsonField<qint64> JsonReader::int64(const QString& key) const {
    return asInt64(lookup(key));
}
JsonField<int> JsonReader::int32(const QString& key) const {
    return asInt32(lookup(key));
}
JsonField<double> JsonReader::number(const QString& key) const {
    return asNumber(lookup(key));
}
JsonField<QJsonObject> JsonReader::object(const QString& key) const {
    return asObject(lookup(key));
}
JsonField<QJsonArray> JsonReader::array(const QString& key) const {
    return asArray(lookup(key));
}
