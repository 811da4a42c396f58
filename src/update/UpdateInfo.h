#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

// One update offer; a plain value, checked by whoever acts on it.
struct UpdateInfo {
    QString version;
    // Never filled by the client-update check.
    std::optional<qint64> build;
    // Only "https" is accepted for a download.
    QUrl downloadURL;
    // Hexadecimal, any letter case; absent means no checksum test.
    std::optional<QString> sha256;
    // A mandatory offer cannot be postponed.
    bool isMandatory = false;
    std::optional<QString> releaseNotes;

    // Absent optional members are left out.
    QJsonObject toJson() const;
    // "version", "downloadURL" and "isMandatory" are required; an optional member may be missing
    // or null, but not of another type.
    static Result<UpdateInfo> fromJson(const QJsonValue& json);

    bool operator==(const UpdateInfo&) const = default;
};
