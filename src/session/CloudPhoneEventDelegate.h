#pragma once

#include "sdk/KXDeviceDelegate.h"
#include "session/CloudPhoneRelay.h"

#include <functional>
#include <memory>

class CloudPhoneEventProtocol;

// The SDK's device delegate of every device the communicator makes: each report becomes a console
// line, most a breadcrumb, and a call on the event handler of the device's window.
class CloudPhoneEventDelegate : public CloudPhoneRelay, public KXDeviceDelegate {
public:
    // Made on the GUI thread by the communicator itself.
    explicit CloudPhoneEventDelegate(CloudPhoneCommunicator* communicator);

    void onKickout(const Device& device, int reason) override;
    void onReady(const Device& device) override;
    void onError(const Device& device, const std::optional<Error>& error) override;
    void onExceptionStatus(const Device& device, int status,
                           const std::optional<QString>& msg) override;
    void onScreenSize(const Device& device, const std::optional<KXSizeObc>& size) override;
    void onRotation(const Device& device, KXRotationObc rotation) override;
    void onIMEStatus(const Device& device, const std::optional<QVariantMap>& ime) override;
    void onClipData(const Device& device, const std::optional<QString>& text) override;
    void onPushMsg(const Device& device, const std::optional<QString>& msg) override;

private:
    // On the GUI thread: the handler registered for the device when the call runs, if any.
    void toHandler(const QString& deviceID, std::function<void(CloudPhoneEventProtocol&)> call);
};
