#pragma once

#include "foundation/json/Result.h"
#include "sdk/DeviceTransport.h"
#include "sdk/KXClientParamsObc.h"
#include "sdk/KXDeviceParamsObc.h"
#include "sdk/KXErrorCode.h"

#include <functional>
#include <memory>

class KXDevice;
class KXDeviceDelegate;

// The SDK's entry: set up once per process with `sdkInit`, then one client per service account
// configuration, which looks up device parameters and makes device objects.
class KXClient {
public:
    using DeviceParamsCompletion = std::function<void(Result<KXDeviceParamsObc>)>;

    // Once, before any client; the SDK writes its log into `logFolder`.
    static void sdkInit(const QString& logFolder);
    // The last call: closes every device still open.
    static void sdkCleanup();
    static bool isInitialized();

    // Without a transport the client reaches the devices through the in-process simulated cloud.
    explicit KXClient(const KXClientParamsObc& params,
                      std::shared_ptr<DeviceTransport> transport = {});

    const KXClientParamsObc& params() const { return m_params; }
    const std::shared_ptr<DeviceTransport>& transport() const { return m_transport; }

    // Answers once, with parameters or an error, on an SDK thread (never the caller's).
    void getDeviceParams(const QString& deviceID, const QString& uid, const QString& token,
                         DeviceParamsCompletion completion);

    // Connects a device. Its reports go to `delegate`, which the SDK holds weakly.
    Result<std::shared_ptr<KXDevice>> createDevice(const KXDeviceParamsObc& params,
                                                   std::weak_ptr<KXDeviceDelegate> delegate);

private:
    KXClientParamsObc m_params;
    std::shared_ptr<DeviceTransport> m_transport;
};
