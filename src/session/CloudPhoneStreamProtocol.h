#pragma once

#include "sdk/KXRotationObc.h"

#include <QString>
#include <QVariantMap>
#include <QtGlobal>

#include <optional>

enum class DeviceTimeoutReason {
    stream,      // no stream data
    inactivity,  // no user operation
};

// What happens to a device's live stream, as its window hears it. Called on the GUI thread, in
// the order the SDK reported it, while the stream runs.
class CloudPhoneStreamProtocol {
public:
    virtual ~CloudPhoneStreamProtocol() = default;

    virtual void didStreamReady(const QString& deviceID, KXRotationObc rotation) = 0;
    virtual void didReceiveFirstVideoFrame(const QString& deviceID, KXRotationObc rotation) = 0;
    virtual void didTimeout(const QString& deviceID, DeviceTimeoutReason reason) = 0;
    // The SDK's statistics with the player's own "fps" and "netFps" counters laid over them.
    virtual void didUpdateNetworkStatus(const QString& deviceID, const QVariantMap& statistics) = 0;
    // -999 when the SDK gave no error.
    virtual void didEncounterError(const QString& deviceID, qint64 code) = 0;
    virtual void didUpdateConnection(const QString& deviceID, qint64 state,
                                     const std::optional<QString>& message) = 0;
    virtual void stallDueToPoorNetwork(const QString& deviceID) = 0;
};
