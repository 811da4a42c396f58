#include "sdk/KXClient.h"

#include "sdk/KXDevice.h"
#include "sdk/SdkRuntime.h"
#include "sdk/simulated/SimulatedCloud.h"

namespace {
Error notInitialized() {
    return Error{KXErrorCode::clientDomain, KXErrorCode::notInitialized,
                 QStringLiteral("SDK is not initialized")};
}
}  // namespace

void KXClient::sdkInit(const QString& logFolder) {
    SdkRuntime::instance().init(logFolder);
}

void KXClient::sdkCleanup() {
    SdkRuntime::instance().cleanup();
}

bool KXClient::isInitialized() {
    return SdkRuntime::instance().isInitialized();
}

KXClient::KXClient(const KXClientParamsObc& params, std::shared_ptr<DeviceTransport> transport)
    : m_params(params), m_transport(transport ? std::move(transport) : SimulatedCloud::shared()) {}

void KXClient::getDeviceParams(const QString& deviceID, const QString& uid, const QString& token,
                               DeviceParamsCompletion completion) {
    if (!completion) {
        return;
    }
    if (!isInitialized()) {
        SdkRuntime::instance().answer(
            [completion = std::move(completion)] { completion(notInitialized()); });
        return;
    }
    m_transport->fetchDeviceParams(m_params, deviceID, uid, token, std::move(completion));
}

Result<std::shared_ptr<KXDevice>> KXClient::createDevice(const KXDeviceParamsObc& params,
                                                         std::weak_ptr<KXDeviceDelegate> delegate) {
    if (!isInitialized()) {
        return notInitialized();
    }
    if (params.deviceID().isEmpty() || params.ipAddress().isEmpty()) {
        return Error{KXErrorCode::clientDomain, KXErrorCode::invalidParameters,
                     QStringLiteral("device id and address are required")};
    }
    std::shared_ptr<KXDevice> device(new KXDevice(params, std::move(delegate)));
    auto link = m_transport->connect(m_params, params, device);
    if (!link) {
        return link.error();
    }
    device->attach(std::move(link).value());
    SdkRuntime::instance().track(device);
    SdkRuntime::instance().log(QStringLiteral("createDevice %1 %2:%3")
                                   .arg(params.deviceID(), params.ipAddress())
                                   .arg(params.port()));
    return device;
}
