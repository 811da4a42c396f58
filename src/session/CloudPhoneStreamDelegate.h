#pragma once

#include "sdk/KXDeviceRealPlayDelegate.h"
#include "session/CloudPhoneRelay.h"
#include "session/CloudPhoneStreamProtocol.h"

#include <functional>
#include <memory>

// The SDK's real-play delegate of every running stream: each report becomes a console line,
// most a breadcrumb, and a call on the stream handler of the device's window.
class CloudPhoneStreamDelegate : public CloudPhoneRelay, public KXDeviceRealPlayDelegate {
public:
    // Made on the GUI thread by the communicator itself.
    explicit CloudPhoneStreamDelegate(CloudPhoneCommunicator* communicator);

    void onRealPlayReady(const Device& device) override;
    void onRealPlayStreamTimeout(const Device& device) override;
    void onRealPlayNoOpTimeout(const Device& device) override;
    void onRealPlayNetStat(const Device& device, const std::optional<QVariantMap>& stat) override;
    void onRealPlayError(const Device& device, const std::optional<Error>& error) override;
    void onRealPlayExceptionStatus(const Device& device, int status,
                                   const std::optional<QString>& msg) override;
    void onRealPlayNetworkStuck(const Device& device) override;

private:
    void timeout(const Device& device, const QString& callback, DeviceTimeoutReason reason);
    void toHandler(const QString& deviceID, std::function<void(CloudPhoneStreamProtocol&)> call);
};
