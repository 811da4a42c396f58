#pragma once

#include "foundation/json/Result.h"

#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

class KXDevice;

// What happens to a device's live stream. Same threading as `KXDeviceDelegate`.
class KXDeviceRealPlayDelegate {
public:
    using Device = std::shared_ptr<KXDevice>;

    virtual ~KXDeviceRealPlayDelegate() = default;

    virtual void onRealPlayReady(const Device& /*device*/) {}
    // No stream data within the stream's no-stream time-out.
    virtual void onRealPlayStreamTimeout(const Device& /*device*/) {}
    // No user operation within the stream's no-operation time-out.
    virtual void onRealPlayNoOpTimeout(const Device& /*device*/) {}
    // Once a second while streaming: "fps", "netFps", "rtt" (ms), "loss" (%), "bitrate" (kbps).
    virtual void onRealPlayNetStat(const Device& /*device*/,
                                   const std::optional<QVariantMap>& /*stat*/) {}
    virtual void onRealPlayError(const Device& /*device*/, const std::optional<Error>& /*error*/) {}
    virtual void onRealPlayExceptionStatus(const Device& /*device*/, int /*status*/,
                                           const std::optional<QString>& /*msg*/) {}
    virtual void onRealPlayNetworkStuck(const Device& /*device*/) {}
    virtual void onRealPlayVideoStreamInfoChanged(const Device& /*device*/,
                                                  const QVariantMap& /*info*/) {}
};
