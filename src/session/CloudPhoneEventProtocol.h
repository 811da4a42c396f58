#pragma once

#include "sdk/KXRotationObc.h"
#include "session/DeviceKeyboardState.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// Why a device was taken away from this client.
enum class TerminatedReason {
    unknown,
    duplicatedChannel,
    invalidAuthorization,
    restartingUnavailable,
    occupied,
};

// The SDK's kick-out reason 0 to 4; any other value is `unknown`.
TerminatedReason terminatedReasonFromSDK(qint64 reason);

// What happens to a device, as its window hears it. The session calls these on the GUI thread,
// in the order the SDK reported them, while the device's stream runs.
class CloudPhoneEventProtocol {
public:
    virtual ~CloudPhoneEventProtocol() = default;

    virtual void didLoseControl(const QString& deviceID, TerminatedReason reason) = 0;
    virtual void didAdd(const QString& deviceID, bool added) = 0;
    // -999 when the SDK gave no error.
    virtual void didEncounterError(const QString& deviceID, qint64 code) = 0;
    virtual void didUpdateConnection(const QString& deviceID, qint64 state,
                                     const std::optional<QString>& message) = 0;
    virtual void didUpdateScreenSize(const QString& deviceID, qreal width, qreal height) = 0;
    virtual void didUpdateOrientation(const QString& deviceID, KXRotationObc rotation) = 0;
    virtual void didUpdateKeyboardState(const QString& deviceID,
                                        const DeviceKeyboardState& state) = 0;
    virtual void didCopyText(const QString& deviceID, const QString& text) = 0;
    virtual void didReceivePushMessage(const QString& deviceID,
                                       const std::optional<QString>& message) = 0;
};
