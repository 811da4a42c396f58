#pragma once

#include "api/NewPCInfo.h"
#include "api/WebSettingData.h"

// The reply of the version endpoint: the current client release and web-content package.
struct VersionResponse {
    std::optional<qint64> forceVer;
    std::optional<qint64> noiceVer;
    std::optional<QList<ForceInfo>> forceInfo;
    std::optional<QList<QString>> mustForce;
    std::optional<qint64> currentVer;
    std::optional<bool> webCheckUpdate;
    std::optional<bool> webForceUpdate;
    std::optional<QString> pcClientVersion;
    std::optional<QString> pcClientDownload;
    std::optional<QString> pcClientWebVersion;
    std::optional<QString> pcClientWebDownload;
    std::optional<QString> pcClientUpdateContent;
    std::optional<QString> url;
    std::optional<qint64> ver;
    std::optional<QString> strVer;
    std::optional<QString> content;
    std::optional<NewPCInfo> newPC;
    std::optional<WebSettingData> webSettingData;

    static Result<VersionResponse> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const VersionResponse&) const = default;
};
