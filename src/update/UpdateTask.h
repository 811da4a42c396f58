#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// What the running application hands to the helper copy of itself that swaps the installed
// application for the unpacked package.
struct UpdateTask {
    // The application inside the unpacked package.
    QString sourceAppPath;
    // The running application, to be replaced.
    QString targetAppPath;
    // Where the package was unpacked.
    QString mountedVolumePath;
    // The downloaded package file.
    QString packagePath;
    QString targetVersion;

    // Compact JSON with the members in field order.
    QByteArray toJson() const;
    // Every member is required and must be a string; other members are ignored.
    static Result<UpdateTask> fromJson(const QByteArray& json);
    // A missing or unreadable file fails like malformed JSON.
    static Result<UpdateTask> readFromFile(const QString& path);

    bool operator==(const UpdateTask&) const = default;
};
