#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// The block of links in the version record.
struct WebSettingData {
    std::optional<QString> pcUrl;
    std::optional<QString> cdnUrl;
    std::optional<QString> QQGropUrl;
    std::optional<QString> lgiosAppUrl;
    std::optional<QString> useAppstoreUrl;

    static Result<WebSettingData> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const WebSettingData&) const = default;
};
