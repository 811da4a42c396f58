#pragma once

#include "sdk/KXMediaParamsObc.h"
#include "sdk/KXSizeObc.h"
#include "session/DeviceOptions.h"

#include <QSizeF>
#include <QString>

#include <optional>

enum class VideoQuality : int {
    p240 = 0,
    p360 = 1,
    p480 = 2,
    p540 = 3,
    p720 = 4,
    p1080 = 5,
};

std::optional<VideoQuality> videoQualityFromRaw(qint64 raw);
// The stream's bit rate for a quality step, in kbps.
quint32 bitrateKbps(VideoQuality quality);
QString caseName(VideoQuality quality);

enum class CodecFormat {
    H264,
    H265,
};

// The SDK's video type of a codec.
int videoType(CodecFormat codec);

// Height and width as whole unsigned 32-bit values, the fraction dropped; a value that is not a
// number or lies outside the range is clamped into it.
KXSizeObc makeSize(const QSizeF& size);

// What a device window asks of a live stream.
struct DeviceRealTimeOptions {
    QSizeF displaySize;
    VideoQuality videoQuality = VideoQuality::p720;
    CodecFormat codecFormat = CodecFormat::H264;
    int fps = 30;
    int streamTimeout = 0;     // seconds; below 1 keeps the SDK's default
    int operationTimeout = 0;  // seconds; below 1 keeps the SDK's default
    DeviceConnectType connectType = DeviceConnectType::udp;
    bool muted = false;

    bool operator==(const DeviceRealTimeOptions&) const = default;

    KXMediaParamsObc makeMediaParams() const;
    QString description() const;
};
