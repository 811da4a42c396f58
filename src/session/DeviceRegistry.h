#pragma once

#include "foundation/Result.h"
#include "sdk/DeviceTransport.h"
#include "sdk/KXDeviceParamsObc.h"
#include "session/ClientInitOptions.h"
#include "session/DeviceOptions.h"
#include "session/UserIdentityProviding.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CloudPhoneEventDelegate;
class KXClient;
class KXDevice;

// The session's SDK client and every SDK device it made: registration (from given parameters,
// the cache of an earlier registration or the service), the parameter cache, the
// authentication-failure latch and the end of the session. GUI thread, except the latch, which
// any thread may test.
class DeviceRegistry : public QObject {
public:
    using Device = std::shared_ptr<KXDevice>;
    using CompletionHandler = std::function<void(bool)>;
    using AuthenticationFailureHandler = std::function<void(const QString& deviceID)>;

    DeviceRegistry(std::shared_ptr<DeviceTransport> transport,
                   std::shared_ptr<CloudPhoneEventDelegate> eventDelegate,
                   QObject* parent = nullptr);
    ~DeviceRegistry() override;

    // After `shutDown` an operation is refused with its "已销毁" line.
    bool refusedAfterShutdown(const QString& operation) const;
    void configClient(const ClientInitOptions& options,
                      std::shared_ptr<UserIdentityProviding> provider);
    bool hasClient() const { return m_client != nullptr; }
    const std::optional<ClientInitOptions>& clientOptions() const { return m_clientOptions; }
    const std::shared_ptr<UserIdentityProviding>& userIdentityProvider() const {
        return m_userIdentityProvider;
    }
    // The token handed to the SDK: with an app key, the JSON text of device id, token and uid;
    // otherwise the user token itself.
    Result<QString> makeDeviceToken(const QString& deviceID, const QString& userID,
                                    const QString& userToken) const;

    void add(const QString& deviceID, const std::optional<DeviceOptions>& options,
             const std::optional<QString>& userID, const std::optional<QString>& userToken,
             CompletionHandler completionHandler);
    Device createDeviceWithInfo(const KXDeviceParamsObc& params);
    // Makes the device and enters it; false when the id is taken or the SDK refuses.
    bool registerDevice(const KXDeviceParamsObc& params);
    // Closes the device and drops it from the registries (not from the cache).
    void closeAndForget(const QString& deviceID, const Device& device);
    // Every device closed and forgotten; the cache stays.
    void closeAll();
    // Pushes the provider's token to every device; false without a provider.
    bool refreshTokens(const QString& operation);

    const std::vector<Device>& devices() const { return m_devices; }
    Device device(const QString& deviceID) const { return m_deviceMap.value(deviceID); }
    bool contains(const QString& deviceID) const { return m_deviceMap.contains(deviceID); }
    const QHash<QString, KXDeviceParamsObc>& realTimeDeviceParamsMap() const {
        return m_realTimeDeviceParamsMap;
    }

    // Sets the latch when it is clear and `from` is the device registered under the id.
    bool latchAuthenticationFailure(const QString& deviceID, const Device& from);
    void clearAuthenticationFailureLatch();
    AuthenticationFailureHandler authenticationFailureHandler() const {
        return m_authenticationFailureHandler;
    }
    void setAuthenticationFailureHandler(AuthenticationFailureHandler handler) {
        m_authenticationFailureHandler = std::move(handler);
    }

    // Devices closed, registries and cache emptied, event delegate and handler dropped, latch
    // cleared; later calls are refused.
    void shutDown();

private:
    bool hasAppKey() const;
    void loadDeviceInfo(const Result<KXDeviceParamsObc>& result, DeviceConnectType connectType,
                        const QString& userID, const QString& userToken,
                        const CompletionHandler& completion);
    bool registerWithParameters(KXDeviceParamsObc params, DeviceConnectType connectType,
                                const QString& userID, const QString& userToken);

    std::shared_ptr<DeviceTransport> m_transport;
    std::shared_ptr<CloudPhoneEventDelegate> m_eventDelegate;
    std::unique_ptr<KXClient> m_client;
    std::optional<ClientInitOptions> m_clientOptions;
    std::shared_ptr<UserIdentityProviding> m_userIdentityProvider;
    std::vector<Device> m_devices;
    QHash<QString, Device> m_deviceMap;
    QHash<QString, KXDeviceParamsObc> m_realTimeDeviceParamsMap;
    AuthenticationFailureHandler m_authenticationFailureHandler;
    mutable QMutex m_authenticationFailureLock;
    bool m_isHandlingAuthenticationFailure = false;
    bool m_shutDown = false;
};
