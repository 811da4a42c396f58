#pragma once

#include "sdk/KXImageObc.h"

#include <QByteArray>
#include <QSizeF>
#include <QString>

#include <optional>

enum class ImageFormat : int {
    jpeg = 0,
    webP = 1,
    png = 2,
};

// No value for any other raw value.
std::optional<ImageFormat> imageFormatFromRaw(qint64 raw);

struct SnapshotOptions {
    QSizeF size;
    int quality = 0;
    ImageFormat format = ImageFormat::jpeg;

    bool operator==(const SnapshotOptions&) const = default;

    QString description() const;
};

// A preview picture of a device as the session hands it on.
struct SnapshotInfo {
    SnapshotOptions options;
    std::optional<QByteArray> data;
    int rotation = 0;
    int deviceOrientation = 0;

    // From the SDK's image: its size and format, quality -1 (unknown). Prints the rotations.
    static SnapshotInfo fromImage(const KXImageObc& image);
};
