#pragma once

#include "foundation/json/Result.h"
#include "sdk/DeviceTransport.h"
#include "sdk/simulated/SimulatedDevice.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>

class SerialQueue;

// A device-parameter request as the simulated service received it.
struct ParamsRequest {
    KXClientParamsObc client;
    QString deviceID;
    QString uid;
    QString token;
};

// The in-process stand-in for the cloud-phone service: a set of simulated devices and the
// service that tells clients how to reach them. This is the control interface through which tests
// and the running client provision devices, inject what a device reports and inspect what it
// received. Every member may be called from any thread.
class SimulatedCloud : public DeviceTransport {
public:
    // The cloud that clients made without a transport reach.
    static std::shared_ptr<SimulatedCloud> shared();

    SimulatedCloud();
    ~SimulatedCloud() override;
    SimulatedCloud(const SimulatedCloud&) = delete;
    SimulatedCloud& operator=(const SimulatedCloud&) = delete;

    // On by default: any device id a client asks for exists. Off: only provisioned ones do.
    void setAutoProvision(bool enabled);
    // Adds a device, or returns the one already there.
    std::shared_ptr<SimulatedDevice> provision(const QString& deviceID,
                                               std::optional<SimulatedDeviceProfile> profile = {});
    std::shared_ptr<SimulatedDevice> device(const QString& deviceID) const;
    QStringList deviceIDs() const;

    // Parameter requests for this device fail with the error until it is cleared.
    void setParamsError(const QString& deviceID, std::optional<Error> error);
    QList<ParamsRequest> paramsRequests() const;
    // Waits until every parameter answer queued so far has been delivered.
    void drain();

    void fetchDeviceParams(const KXClientParamsObc& client, const QString& deviceID,
                           const QString& uid, const QString& token,
                           ParamsCompletion completion) override;
    Result<std::shared_ptr<DeviceLink>> connect(
        const KXClientParamsObc& client, const KXDeviceParamsObc& params,
        std::weak_ptr<DeviceLinkListener> listener) override;

private:
    // The device, provisioning it when that is allowed; null otherwise.
    std::shared_ptr<SimulatedDevice> reach(const QString& deviceID);

    mutable std::mutex m_mutex;
    bool m_autoProvision = true;
    QHash<QString, std::shared_ptr<SimulatedDevice>> m_devices;
    QHash<QString, Error> m_paramsErrors;
    QList<ParamsRequest> m_paramsRequests;
    std::unique_ptr<SerialQueue> m_service;
};
