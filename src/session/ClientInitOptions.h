#pragma once

#include "sdk/KXClientParamsObc.h"

#include <QString>

#include <optional>

enum class Area {
    domestic,
    international,
};

struct ClientInitOptions {
    std::optional<QString> appKey;
    Area area = Area::domestic;

    bool operator==(const ClientInitOptions&) const = default;

    // The SDK's client parameters: the app key or the empty text, oversea exactly abroad.
    KXClientParamsObc makeClientParams() const;
    // Field by field, for console lines.
    QString description() const;
};
