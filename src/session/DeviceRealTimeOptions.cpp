#include "session/DeviceRealTimeOptions.h"

#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr std::array<quint32, 6> kBitrateKbps{1024, 1024, 2048, 2048, 3072, 4096};

quint32 toUnsigned32(qreal value) {
    constexpr qreal maximum = std::numeric_limits<quint32>::max();
    if (!(value > 0)) {  // negative or not a number
        return 0;
    }
    return value >= maximum ? std::numeric_limits<quint32>::max() : static_cast<quint32>(value);
}

QString number(qreal value) {
    // Whole values keep one decimal, as the original descriptions print sizes.
    return value == std::floor(value) ? QString::number(value, 'f', 1) : QString::number(value);
}

}  // namespace

std::optional<VideoQuality> videoQualityFromRaw(qint64 raw) {
    if (raw < 0 || raw >= static_cast<qint64>(kBitrateKbps.size())) {
        return std::nullopt;
    }
    return static_cast<VideoQuality>(raw);
}

quint32 bitrateKbps(VideoQuality quality) {
    return kBitrateKbps.at(static_cast<size_t>(quality));
}

QString caseName(VideoQuality quality) {
    static const std::array<QString, 6> names{QStringLiteral("p240"), QStringLiteral("p360"),
                                              QStringLiteral("p480"), QStringLiteral("p540"),
                                              QStringLiteral("p720"), QStringLiteral("p1080")};
    return names.at(static_cast<size_t>(quality));
}

int videoType(CodecFormat codec) {
    return codec == CodecFormat::H265 ? 1 : 0;
}

KXSizeObc makeSize(const QSizeF& size) {
    KXSizeObc result;
    result.setHeight(toUnsigned32(size.height()));
    result.setWidth(toUnsigned32(size.width()));
    return result;
}

KXMediaParamsObc DeviceRealTimeOptions::makeMediaParams() const {
    KXMediaParamsObc params;
    params.setVideoType(videoType(codecFormat));
    params.setBitrateKbps(bitrateKbps(videoQuality));
    params.setFps(fps);
    params.setCaptureSize(makeSize(displaySize));
    params.setClientSize(makeSize(displaySize));
    params.setMute(muted);
    if (operationTimeout >= 1) {
        params.setNoOpTimeout(operationTimeout);
    }
    if (streamTimeout >= 1) {
        params.setNoStreamTimeout(streamTimeout);
    }
    return params;
}

QString DeviceRealTimeOptions::description() const {
    return QStringLiteral(
               "DeviceRealTimeOptions(displaySize: (%1, %2), videoQuality: %3, codecFormat: %4, "
               "fps: %5, streamTimeout: %6, operationTimeout: %7, connectType: %8, muted: %9)")
        .arg(number(displaySize.width()), number(displaySize.height()), caseName(videoQuality),
             codecFormat == CodecFormat::H265 ? QStringLiteral("H265") : QStringLiteral("H264"))
        .arg(fps)
        .arg(streamTimeout)
        .arg(operationTimeout)
        .arg(caseName(connectType), muted ? QStringLiteral("true") : QStringLiteral("false"));
}
