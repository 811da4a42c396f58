#include "session/DeviceRegistry.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleFormat.h"
#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "session/CloudPhoneEventDelegate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QPointer>

#include <algorithm>

namespace {

const QString kPrefix = QStringLiteral("CloudPhoneCommunicator.");
const QString kAdd = QStringLiteral("add(deviceID:options:userID:userToken:completionHandler:)");

void console(const QString& line) {
    ConsoleFormat::print(line);
}

}  // namespace

DeviceRegistry::DeviceRegistry(std::shared_ptr<DeviceTransport> transport,
                               std::shared_ptr<CloudPhoneEventDelegate> eventDelegate,
                               QObject* parent)
    : QObject(parent),
      m_transport(std::move(transport)),
      m_eventDelegate(std::move(eventDelegate)) {}

DeviceRegistry::~DeviceRegistry() {
    for (const Device& device : m_devices) {
        device->close();
    }
}

bool DeviceRegistry::refusedAfterShutdown(const QString& operation) const {
    if (!m_shutDown) {
        return false;
    }
    console(kPrefix + operation + QStringLiteral(",已销毁,忽略调用"));
    return true;
}

void DeviceRegistry::configClient(const ClientInitOptions& options,
                                  std::shared_ptr<UserIdentityProviding> provider) {
    m_clientOptions = options;
    m_client = std::make_unique<KXClient>(options.makeClientParams(), m_transport);
    m_userIdentityProvider = std::move(provider);
}

bool DeviceRegistry::hasAppKey() const {
    return m_clientOptions && m_clientOptions->appKey && !m_clientOptions->appKey->isEmpty();
}

Result<QString> DeviceRegistry::makeDeviceToken(const QString& deviceID, const QString& userID,
                                                const QString& userToken) const {
    if (!hasAppKey()) {
        return userToken;
    }
    // A lone surrogate has no UTF-8 form; the SDK would receive a different text.
    if (!deviceID.isValidUtf16() || !userID.isValidUtf16() || !userToken.isValidUtf16()) {
        return Error{QStringLiteral("JSONConversionError"), 0,
                     QStringLiteral("无法将 JSON 数据转换为 UTF-8 字符串")};
    }
    const QJsonObject token{{QStringLiteral("deviceId"), deviceID},
                            {QStringLiteral("token"), userToken},
                            {QStringLiteral("uid"), userID}};
    return QString::fromUtf8(QJsonDocument(token).toJson(QJsonDocument::Compact));
}

void DeviceRegistry::add(const QString& deviceID, const std::optional<DeviceOptions>& options,
                         const std::optional<QString>& userID,
                         const std::optional<QString>& userToken,
                         CompletionHandler completionHandler) {
    const auto complete = [&completionHandler](bool registered) {
        if (completionHandler) {
            completionHandler(registered);
        }
    };
    if (refusedAfterShutdown(kAdd)) {
        complete(false);
        return;
    }
    if (m_deviceMap.contains(deviceID)) {
        console(kPrefix + kAdd + QStringLiteral(",设备") + deviceID + QStringLiteral("已存在。"));
        complete(false);
        return;
    }
    if ((!userID || !userToken) && !m_userIdentityProvider) {
        console(kPrefix + kAdd + QStringLiteral(",用户身份信息错误"));
        complete(false);
        return;
    }
    const QString uid = userID ? *userID : m_userIdentityProvider->userID();
    const QString token = userToken ? *userToken : m_userIdentityProvider->userToken();
    const DeviceConnectType connectType = options ? options->connectType : DeviceConnectType::udp;

    if (options && options->hostStr && options->port) {
        // The port comes from the page; it is checked here rather than trusted.
        const int port = *options->port;
        if (port < 0 || port > 65535) {
            console(kPrefix + kAdd + QStringLiteral(",deviceID:") + deviceID +
                    QStringLiteral(",端口无效:") + QString::number(port));
            complete(false);
            return;
        }
        KXDeviceParamsObc params;
        params.setDeviceID(deviceID);
        params.setIpAddress(*options->hostStr);
        params.setPort(static_cast<quint16>(port));
        params.setUid(uid);
        params.setTransport(transportOf(connectType));
        const auto tokenText = makeDeviceToken(deviceID, uid, token);
        if (!tokenText) {
            console(kPrefix + kAdd + QStringLiteral(",deviceID:") + deviceID +
                    QStringLiteral(",token序列化失败:") + tokenText.error().message);
            complete(false);
            return;
        }
        params.setToken(tokenText.value());
        complete(registerDevice(params));
        return;
    }

    if (m_realTimeDeviceParamsMap.contains(deviceID)) {
        console(kPrefix + QStringLiteral("addDevice,设备:") + deviceID +
                QStringLiteral(",使用缓存配置"));
        complete(registerWithParameters(m_realTimeDeviceParamsMap.value(deviceID), connectType, uid,
                                        token));
        return;
    }

    console(kPrefix + QStringLiteral("addDevice,设备:") + deviceID + QStringLiteral(",请求配置"));
    if (!m_client) {
        complete(false);
        return;
    }
    // Made here, on the GUI thread; the SDK thread only copies it, the GUI thread reads it.
    QPointer<DeviceRegistry> weakSelf(this);
    m_client->getDeviceParams(
        deviceID, uid, token,
        [weakSelf, connectType, uid, token,
         completionHandler = std::move(completionHandler)](Result<KXDeviceParamsObc> result) {
            MainQueue::async([weakSelf, connectType, uid, token, completionHandler,
                              result = std::move(result)] {
                if (weakSelf) {
                    weakSelf->loadDeviceInfo(result, connectType, uid, token, completionHandler);
                }
            });
        });
}

void DeviceRegistry::loadDeviceInfo(const Result<KXDeviceParamsObc>& result,
                                    DeviceConnectType connectType, const QString& userID,
                                    const QString& userToken, const CompletionHandler& completion) {
    bool registered = false;
    if (refusedAfterShutdown(QStringLiteral("loadDeviceInfo"))) {
        registered = false;
    } else if (!result) {
        console(QStringLiteral("Optional<CloudPhoneCommunicator>.loadDeviceInfo,error:") +
                result.error().message);
    } else {
        registered = registerWithParameters(result.value(), connectType, userID, userToken);
    }
    if (completion) {
        completion(registered);
    }
}

bool DeviceRegistry::registerWithParameters(KXDeviceParamsObc params, DeviceConnectType connectType,
                                            const QString& userID, const QString& userToken) {
    params.setTransport(transportOf(connectType));
    params.setUid(userID);
    const auto tokenText = makeDeviceToken(params.deviceID(), userID, userToken);
    if (!tokenText) {
        console(QStringLiteral("JSON 序列化失败: ") + tokenText.error().message);
        return false;
    }
    params.setToken(tokenText.value());
    return registerDevice(params);
}

bool DeviceRegistry::registerDevice(const KXDeviceParamsObc& params) {
    // Two registrations of one id may both have waited for the service; the later one finds the
    // earlier one's device here and makes none of its own.
    if (m_deviceMap.contains(params.deviceID())) {
        console(kPrefix + kAdd + QStringLiteral(",设备") + params.deviceID() +
                QStringLiteral("已存在。"));
        return false;
    }
    const Device device = createDeviceWithInfo(params);
    if (!device) {
        return false;
    }
    const QString id = device->config().deviceID();
    m_devices.push_back(device);
    m_deviceMap.insert(id, device);
    m_realTimeDeviceParamsMap.insert(id, device->config());
    return true;
}

DeviceRegistry::Device DeviceRegistry::createDeviceWithInfo(const KXDeviceParamsObc& params) {
    if (!m_client) {
        return nullptr;
    }
    auto created = m_client->createDevice(params, m_eventDelegate);
    if (!created) {
        console(kPrefix + QStringLiteral("createDeviceWithInfo(_:)") + QStringLiteral(",error:") +
                created.error().message);
        return nullptr;
    }
    return std::move(created).value();
}

void DeviceRegistry::closeAndForget(const QString& deviceID, const Device& device) {
    device->close();
    m_deviceMap.remove(deviceID);
    const QString configuredID = device->config().deviceID();
    m_deviceMap.remove(configuredID);
    std::erase_if(m_devices, [&configuredID](const Device& candidate) {
        return candidate->config().deviceID() == configuredID;
    });
}

void DeviceRegistry::closeAll() {
    for (const Device& device : m_devices) {
        device->close();
    }
    m_devices.clear();
    m_deviceMap.clear();
}

bool DeviceRegistry::refreshTokens(const QString& operation) {
    if (!m_userIdentityProvider) {
        console(kPrefix + operation + QStringLiteral(",userToken is null."));
        return false;
    }
    const QString token = m_userIdentityProvider->userToken();
    if (!hasAppKey()) {
        for (const Device& device : m_devices) {
            device->refreshToken(token);
        }
        return true;
    }
    const QString uid = m_userIdentityProvider->userID();
    for (const Device& device : m_devices) {
        const QString id = device->config().deviceID();
        const auto tokenText = makeDeviceToken(id, uid, token);
        if (!tokenText) {
            console(kPrefix + operation + QStringLiteral(",deviceID:") + id +
                    QStringLiteral(",token序列化失败:") + tokenText.error().message);
            continue;
        }
        device->refreshToken(tokenText.value());
    }
    return true;
}

bool DeviceRegistry::latchAuthenticationFailure(const QString& deviceID, const Device& from) {
    QMutexLocker lock(&m_authenticationFailureLock);
    if (m_isHandlingAuthenticationFailure || m_deviceMap.value(deviceID) != from) {
        return false;
    }
    m_isHandlingAuthenticationFailure = true;
    return true;
}

void DeviceRegistry::clearAuthenticationFailureLatch() {
    QMutexLocker lock(&m_authenticationFailureLock);
    m_isHandlingAuthenticationFailure = false;
}

void DeviceRegistry::shutDown() {
    closeAll();
    m_realTimeDeviceParamsMap.clear();
    m_eventDelegate.reset();
    m_authenticationFailureHandler = {};
    clearAuthenticationFailureLatch();
    m_shutDown = true;
}
