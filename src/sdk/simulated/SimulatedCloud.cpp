#include "sdk/simulated/SimulatedCloud.h"

#include "foundation/concurrency/SerialQueue.h"
#include "sdk/KXErrorCode.h"
#include "sdk/simulated/SimulatedSession.h"

std::shared_ptr<SimulatedCloud> SimulatedCloud::shared() {
    // Kept until exit: device objects may still reach it while the process winds down.
    static const auto* cloud =
        new std::shared_ptr<SimulatedCloud>(std::make_shared<SimulatedCloud>());
    return *cloud;
}

SimulatedCloud::SimulatedCloud()
    : m_service(std::make_unique<SerialQueue>(QStringLiteral("kxsdk.service"))) {}

SimulatedCloud::~SimulatedCloud() {
    m_service.reset();
}

void SimulatedCloud::setAutoProvision(bool enabled) {
    std::lock_guard lock(m_mutex);
    m_autoProvision = enabled;
}

std::shared_ptr<SimulatedDevice> SimulatedCloud::provision(
    const QString& deviceID, std::optional<SimulatedDeviceProfile> profile) {
    std::lock_guard lock(m_mutex);
    if (const auto existing = m_devices.value(deviceID)) {
        return existing;
    }
    if (!profile) {
        // Each device gets an address of its own, as the service would hand out.
        const int number = static_cast<int>(m_devices.size()) + 1;
        profile = SimulatedDeviceProfile{};
        profile->ipAddress = QStringLiteral("10.8.%1.%2").arg(number / 250).arg(number % 250 + 1);
        profile->port = static_cast<quint16>(20000 + number % 40000);
    }
    auto device = std::make_shared<SimulatedDevice>(deviceID, *profile);
    m_devices.insert(deviceID, device);
    return device;
}

std::shared_ptr<SimulatedDevice> SimulatedCloud::device(const QString& deviceID) const {
    std::lock_guard lock(m_mutex);
    return m_devices.value(deviceID);
}

QStringList SimulatedCloud::deviceIDs() const {
    std::lock_guard lock(m_mutex);
    QStringList ids = m_devices.keys();
    ids.sort();
    return ids;
}

void SimulatedCloud::setParamsError(const QString& deviceID, std::optional<Error> error) {
    std::lock_guard lock(m_mutex);
    if (error) {
        m_paramsErrors.insert(deviceID, *error);
    } else {
        m_paramsErrors.remove(deviceID);
    }
}

QList<ParamsRequest> SimulatedCloud::paramsRequests() const {
    std::lock_guard lock(m_mutex);
    return m_paramsRequests;
}

void SimulatedCloud::drain() {
    m_service->sync([] {});
}

std::shared_ptr<SimulatedDevice> SimulatedCloud::reach(const QString& deviceID) {
    {
        std::lock_guard lock(m_mutex);
        if (const auto existing = m_devices.value(deviceID)) {
            return existing;
        }
        if (!m_autoProvision) {
            return nullptr;
        }
    }
    return provision(deviceID);
}

void SimulatedCloud::fetchDeviceParams(const KXClientParamsObc& client, const QString& deviceID,
                                       const QString& uid, const QString& token,
                                       ParamsCompletion completion) {
    std::optional<Error> injected;
    {
        std::lock_guard lock(m_mutex);
        m_paramsRequests.append({client, deviceID, uid, token});
        if (m_paramsErrors.contains(deviceID)) {
            injected = m_paramsErrors.value(deviceID);
        }
    }
    m_service->async([this, deviceID, uid, token, injected, completion = std::move(completion)] {
        if (injected) {
            completion(*injected);
            return;
        }
        if (uid.isEmpty() || token.isEmpty()) {
            completion(Error{KXErrorCode::clientDomain, KXErrorCode::authenticationFailed,
                             QStringLiteral("authentication failed: uid and token are required")});
            return;
        }
        const auto device = reach(deviceID);
        if (!device) {
            completion(Error{KXErrorCode::clientDomain, KXErrorCode::deviceNotFound,
                             QStringLiteral("device %1 not found").arg(deviceID)});
            return;
        }
        const SimulatedDeviceProfile profile = device->profile();
        KXDeviceParamsObc params;
        params.setDeviceID(deviceID);
        params.setIpAddress(profile.ipAddress);
        params.setPort(profile.port);
        params.setUid(uid);
        params.setTransport(profile.transport);
        params.setToken(token);
        completion(params);
    });
}

Result<std::shared_ptr<DeviceLink>> SimulatedCloud::connect(
    const KXClientParamsObc& client, const KXDeviceParamsObc& params,
    std::weak_ptr<DeviceLinkListener> listener) {
    const auto device = reach(params.deviceID());
    if (!device) {
        return Error{KXErrorCode::clientDomain, KXErrorCode::deviceNotFound,
                     QStringLiteral("device %1 not found").arg(params.deviceID())};
    }
    auto session = std::make_shared<SimulatedSession>(device, std::move(listener));
    device->attach(session, {client, params});
    return std::shared_ptr<DeviceLink>(std::move(session));
}
