#include "session/DeviceKeyboardState.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

bool isInteger(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return true;
        default:
            return false;
    }
}

bool isFloating(const QVariant& value) {
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

// A Boolean, or a number read as one.
std::optional<bool> asBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    if (isInteger(value)) {
        return value.toLongLong() != 0;
    }
    if (isFloating(value)) {
        return value.toDouble() != 0;
    }
    return std::nullopt;
}

// An integer, or a number cut to its whole part; numbers beyond the range count as no value.
std::optional<qint64> asInt(const QVariant& value) {
    if (isInteger(value) || value.typeId() == QMetaType::Bool) {
        return value.toLongLong();
    }
    if (isFloating(value)) {
        const double number = std::trunc(value.toDouble());
        if (std::isfinite(number) && number >= -9223372036854775808.0 &&
            number < 9223372036854775808.0) {
            return static_cast<qint64>(number);
        }
    }
    return std::nullopt;
}

std::optional<QString> asText(const QVariant& value) {
    if (value.typeId() == QMetaType::QString) {
        return value.toString();
    }
    return std::nullopt;
}

std::optional<QVariantMap> asNestedObject(const QVariant& value) {
    if (value.typeId() == QMetaType::QVariantMap) {
        return value.toMap();
    }
    if (value.typeId() == QMetaType::QVariantHash) {
        QVariantMap map;
        const QVariantHash hash = value.toHash();
        for (auto it = hash.begin(); it != hash.end(); ++it) {
            map.insert(it.key(), it.value());
        }
        return map;
    }
    if (value.typeId() == QMetaType::QString) {
        const QJsonDocument document = QJsonDocument::fromJson(value.toString().toUtf8());
        if (document.isObject()) {
            return document.object().toVariantMap();
        }
    }
    return std::nullopt;
}

}  // namespace

DeviceKeyboardState DeviceKeyboardState::fromIME(const QVariantMap& ime) {
    DeviceKeyboardState state;
    state.imeActive = asBool(ime.value(QStringLiteral("ime_active"))).value_or(false);
    state.show = asBool(ime.value(QStringLiteral("soft"))).value_or(false);
    state.type = asText(ime.value(QStringLiteral("type")));
    state.action = asText(ime.value(QStringLiteral("action")));
    const QVariant desc = ime.value(QStringLiteral("desc"));
    state.description = asText(desc);
    if (const auto nested = asNestedObject(desc)) {
        state.imeIsActive = asBool(nested->value(QStringLiteral("IMEIsActive")));
        state.inputType = asInt(nested->value(QStringLiteral("inputType")));
        state.imeOptions = asInt(nested->value(QStringLiteral("imeOptions")));
    }
    return state;
}
