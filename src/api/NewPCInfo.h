#pragma once

#include "api/ForceInfo.h"

#include <QList>

// The desktop-client release block of the version record.
struct NewPCInfo {
    std::optional<qint64> ver;
    std::optional<qint64> forceVer;
    std::optional<qint64> noiceVer;
    std::optional<QList<ForceInfo>> forceInfo;
    std::optional<QList<QString>> mustForce;
    std::optional<bool> webCheckUpdate;
    std::optional<bool> webForceUpdate;
    std::optional<QString> pcClientVersion;
    std::optional<QString> pcClientDownload;
    std::optional<QString> pcClientWebVersion;
    std::optional<QString> pcClientWebDownload;
    std::optional<QString> pcClientUpdateContent;
    std::optional<QString> pcClientSHA256;
    std::optional<bool> pcClientIsMandatory;

    static Result<NewPCInfo> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const NewPCInfo&) const = default;
};
