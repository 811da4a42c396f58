#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

enum class DeviceKeyboardType : int {
    external = 0,
    buildIn = 1,
};

// The device's input-method state, read from the SDK's input-method report.
struct DeviceKeyboardState {
    bool imeActive = false;
    bool show = false;
    std::optional<QString> type;
    std::optional<QString> action;
    std::optional<QString> description;
    std::optional<bool> imeIsActive;
    std::optional<qint64> inputType;
    std::optional<qint64> imeOptions;

    bool operator==(const DeviceKeyboardState&) const = default;

    // Keys "ime_active", "soft", "type", "action", "desc"; "desc" may also carry a nested object
    // (or its JSON text) with "IMEIsActive", "inputType" and "imeOptions".
    static DeviceKeyboardState fromIME(const QVariantMap& ime);
};
