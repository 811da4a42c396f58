#pragma once

#include "api/NewPCInfo.h"
#include "api/WebSettingData.h"

// The reply of the version endpoint: the current client release and web-content package.
struct VersionResponse : ReleaseFields {
    std::optional<qint64> currentVer;
    std::optional<QString> url;
    std::optional<QString> strVer;
    std::optional<QString> content;
    std::optional<NewPCInfo> newPC;
    std::optional<WebSettingData> webSettingData;

    static Result<VersionResponse> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const VersionResponse&) const = default;
};
