#pragma once

#include "api/ReleaseFields.h"

// The desktop-client release block of the version record.
struct NewPCInfo : ReleaseFields {
    std::optional<QString> pcClientSHA256;
    std::optional<bool> pcClientIsMandatory;

    static Result<NewPCInfo> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const NewPCInfo&) const = default;
};
