#pragma once

#include "foundation/json/Result.h"
#include "sdk/DeviceLink.h"
#include "sdk/KXClientParamsObc.h"
#include "sdk/KXDeviceParamsObc.h"

#include <functional>
#include <memory>

// The seam between the SDK's objects and whatever reaches the devices: the in-process simulated
// cloud here, a network backend elsewhere. Callers of the SDK never see which one runs.
class DeviceTransport {
public:
    using ParamsCompletion = std::function<void(Result<KXDeviceParamsObc>)>;

    virtual ~DeviceTransport() = default;

    // Asks the service how to reach a device. Answers once, on a thread of the transport.
    virtual void fetchDeviceParams(const KXClientParamsObc& client, const QString& deviceID,
                                   const QString& uid, const QString& token,
                                   ParamsCompletion completion) = 0;

    // Opens a connection; reports go to `listener` on the transport's threads.
    virtual Result<std::shared_ptr<DeviceLink>> connect(
        const KXClientParamsObc& client, const KXDeviceParamsObc& params,
        std::weak_ptr<DeviceLinkListener> listener) = 0;
};
