#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// One entry of the per-client-version list of the version record.
struct ForceInfo {
    std::optional<qint64> NVERSION;
    std::optional<QString> webPublishTime;
    std::optional<QString> pcClientVersion;
    std::optional<QString> pcClientDownload;
    std::optional<QString> pcClientWebVersion;
    std::optional<QString> pcClientPublishTime;
    std::optional<QString> pcClientWebDownload;
    std::optional<QString> pcClientUpdateContent;
    std::optional<QString> pcClientSHA256;
    std::optional<bool> pcClientIsMandatory;

    static Result<ForceInfo> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const ForceInfo&) const = default;
};
