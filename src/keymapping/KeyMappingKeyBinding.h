#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QSet>
#include <QString>

#include <optional>

// The key (or two-key combination) of one direction of a move mapping.
struct KeyMappingKeyBinding {
    std::optional<quint16> keyCode;
    std::optional<int> windowsKey;
    std::optional<quint16> secondKeyCode;
    std::optional<int> secondWindowsKey;
    QString displayName;

    bool operator==(const KeyMappingKeyBinding&) const = default;

    std::optional<QString> firstKeyToken() const;
    std::optional<QString> secondKeyToken() const;
    QSet<QString> keyTokens() const;

    QJsonObject toJson() const;
    static Result<KeyMappingKeyBinding> fromJson(const QJsonObject& object);
};
