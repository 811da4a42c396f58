#include "session/CloudPhoneCommunicator.h"

#include "foundation/MainQueue.h"
#include "foundation/SettingsManager.h"
#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "sdk/KXDeviceAudioPlayer.h"
#include "session/CloudPhoneEventDelegate.h"
#include "session/CloudPhoneEventProtocol.h"
#include "session/CloudPhoneStreamDelegate.h"
#include "session/CloudPhoneStreamProtocol.h"
#include "session/ConsoleFormat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

#include <algorithm>

namespace {

const QString kPrefix = QStringLiteral("CloudPhoneCommunicator.");
const QString kAdd = QStringLiteral("add(deviceID:options:userID:userToken:completionHandler:)");

void console(const QString& line) {
    ConsoleFormat::print(line);
}

}  // namespace

CloudPhoneCommunicator& CloudPhoneCommunicator::shared() {
    static auto* instance = new CloudPhoneCommunicator();
    return *instance;
}

CloudPhoneCommunicator::CloudPhoneCommunicator(std::shared_ptr<DeviceTransport> transport,
                                               QObject* parent)
    : QObject(parent),
      m_transport(std::move(transport)),
      m_audioPlayer(std::make_shared<KXDeviceAudioPlayer>()),
      m_eventDelegate(std::make_shared<CloudPhoneEventDelegate>(this)),
      m_streamDelegate(std::make_shared<CloudPhoneStreamDelegate>(this)) {}

CloudPhoneCommunicator::~CloudPhoneCommunicator() {
    for (const Device& device : m_devices) {
        device->close();
    }
}

void CloudPhoneCommunicator::setSentryService(SentryService* service) {
    m_sentry = service;
    if (m_eventDelegate) {
        m_eventDelegate->setSentryService(service);
        m_streamDelegate->setSentryService(service);
    }
}

void CloudPhoneCommunicator::setSettingsManager(SettingsManager* settings) {
    m_settings = settings;
}

void CloudPhoneCommunicator::setDelayedTaskScheduler(DelayedTaskScheduler scheduler) {
    m_delayedTaskScheduler = std::move(scheduler);
}

CloudPhoneCommunicator::AuthenticationFailureHandler
CloudPhoneCommunicator::authenticationFailureHandler() const {
    return m_authenticationFailureHandler;
}

void CloudPhoneCommunicator::setAuthenticationFailureHandler(AuthenticationFailureHandler handler) {
    m_authenticationFailureHandler = std::move(handler);
}

bool CloudPhoneCommunicator::refusedAfterDestory(const QString& operation) const {
    if (!m_destroyed) {
        return false;
    }
    console(kPrefix + operation + QStringLiteral(",已销毁,忽略调用"));
    return true;
}

void CloudPhoneCommunicator::setupWithLogPath(const QString& path) {
    if (refusedAfterDestory(QStringLiteral("setupWithLogPath"))) {
        return;
    }
    console(kPrefix + QStringLiteral("setupWithLogPath,path:") + path);
    KXClient::sdkInit(path);
}

void CloudPhoneCommunicator::configClient(const ClientInitOptions& options,
                                          std::shared_ptr<UserIdentityProviding> provider) {
    if (refusedAfterDestory(QStringLiteral("configClient"))) {
        return;
    }
    console(kPrefix + QStringLiteral("configClient,path:") + options.description());
    m_clientOptions = options;
    m_client = std::make_unique<KXClient>(options.makeClientParams(), m_transport);
    m_userIdentityProvider = std::move(provider);
}

bool CloudPhoneCommunicator::hasAppKey() const {
    return m_clientOptions && m_clientOptions->appKey && !m_clientOptions->appKey->isEmpty();
}

Result<QString> CloudPhoneCommunicator::makeDeviceToken(const QString& deviceID,
                                                        const QString& userID,
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

void CloudPhoneCommunicator::add(const QString& deviceID,
                                 const std::optional<DeviceOptions>& options,
                                 const std::optional<QString>& userID,
                                 const std::optional<QString>& userToken,
                                 CompletionHandler completionHandler) {
    const auto complete = [&completionHandler](bool registered) {
        if (completionHandler) {
            completionHandler(registered);
        }
    };
    if (refusedAfterDestory(kAdd)) {
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
    QPointer<CloudPhoneCommunicator> weakSelf(this);
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

void CloudPhoneCommunicator::loadDeviceInfo(const Result<KXDeviceParamsObc>& result,
                                            DeviceConnectType connectType, const QString& userID,
                                            const QString& userToken,
                                            const CompletionHandler& completion) {
    bool registered = false;
    if (refusedAfterDestory(QStringLiteral("loadDeviceInfo"))) {
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

bool CloudPhoneCommunicator::registerWithParameters(KXDeviceParamsObc params,
                                                    DeviceConnectType connectType,
                                                    const QString& userID,
                                                    const QString& userToken) {
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

bool CloudPhoneCommunicator::registerDevice(const KXDeviceParamsObc& params) {
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

CloudPhoneCommunicator::Device CloudPhoneCommunicator::createDeviceWithInfo(
    const KXDeviceParamsObc& params) {
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

void CloudPhoneCommunicator::closeAndForget(const QString& deviceID, const Device& device) {
    if (isStreaming(deviceID)) {
        stopRealTimePlay(deviceID);
    }
    device->close();
    m_deviceMap.remove(deviceID);
    const QString configuredID = device->config().deviceID();
    m_deviceMap.remove(configuredID);
    std::erase_if(m_devices, [&configuredID](const Device& candidate) {
        return candidate->config().deviceID() == configuredID;
    });
}

bool CloudPhoneCommunicator::isStreaming(const QString& deviceID) const {
    return m_realTimeDevices.contains(deviceID) || m_realTimeDevicePlayerMap.contains(deviceID);
}

void CloudPhoneCommunicator::updateDevice(const QString& deviceID, DeviceConnectType connectType,
                                          CompletionHandler completionHandler) {
    const auto complete = [&completionHandler](bool registered) {
        if (completionHandler) {
            completionHandler(registered);
        }
    };
    if (refusedAfterDestory(
            QStringLiteral("updateDevice(deviceID:connectType:completionHandler:)"))) {
        complete(false);
        return;
    }
    const Device device = m_deviceMap.value(deviceID);
    if (!device || device->config().transport() == transportOf(connectType)) {
        complete(false);
        return;
    }
    closeAndForget(deviceID, device);
    KXDeviceParamsObc params = device->config();
    params.setTransport(transportOf(connectType));
    complete(registerDevice(params));
    console(kPrefix + QStringLiteral("udpdateDevice,deviceID:") + deviceID +
            QStringLiteral(",connectType:") + caseName(connectType));
}

void CloudPhoneCommunicator::remove(const QString& deviceID) {
    const Device device = m_deviceMap.value(deviceID);
    if (!device) {
        console(kPrefix + QStringLiteral("remove(deviceID:)") + QStringLiteral(",设备") + deviceID +
                QStringLiteral("不存在。"));
        return;
    }
    closeAndForget(deviceID, device);
    m_inputSyncDeviceIDs.remove(deviceID);
    if (m_inputSyncMainDeviceID == deviceID) {
        disableInputSync();
    }
}

void CloudPhoneCommunicator::handleAuthenticationFailure(const QString& deviceID,
                                                         const Device& from) {
    if (deviceID.isEmpty() || !from) {
        return;
    }
    m_authenticationFailureLock.lock();
    if (!m_isHandlingAuthenticationFailure && m_deviceMap.value(deviceID) == from) {
        m_isHandlingAuthenticationFailure = true;
        m_authenticationFailureLock.unlock();
        remove(deviceID);
        if (m_authenticationFailureHandler) {
            m_authenticationFailureHandler(deviceID);
        }
        return;
    }
    m_authenticationFailureLock.unlock();
    console(kPrefix + QStringLiteral("handleAuthenticationFailure(deviceID:from:)") +
            QStringLiteral(",忽略重复或已失效的鉴权失败,设备:") + deviceID);
}

void CloudPhoneCommunicator::refreshUserToken() {
    const QString operation = QStringLiteral("refreshUserToken()");
    if (refusedAfterDestory(operation)) {
        return;
    }
    console(kPrefix + operation + QStringLiteral(",更新UserToken"));
    if (!m_userIdentityProvider) {
        console(kPrefix + operation + QStringLiteral(",userToken is null."));
        return;
    }
    const QString token = m_userIdentityProvider->userToken();
    if (hasAppKey()) {
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
    } else {
        for (const Device& device : m_devices) {
            device->refreshToken(token);
        }
    }
    QMutexLocker lock(&m_authenticationFailureLock);
    m_isHandlingAuthenticationFailure = false;
}

void CloudPhoneCommunicator::closeIdleDevices() {
    if (!m_realTimeDevicePlayerMap.isEmpty()) {
        return;
    }
    clearInputSync();
    for (const Device& device : m_devices) {
        device->close();
    }
    m_devices.clear();
    m_deviceMap.clear();
}

void CloudPhoneCommunicator::revokeOtherUsersAccess(const QString& deviceID) {
    const Device device = m_deviceMap.value(deviceID);
    if (!device) {
        console(kPrefix + QStringLiteral("revokeOtherUsersAccess(for:)") +
                QStringLiteral(", Device[") + deviceID + QStringLiteral("] is null"));
        return;
    }
    device->kickoutOther();
}

std::shared_ptr<CloudPhoneEventProtocol> CloudPhoneCommunicator::deviceEventHandler(
    const QString& deviceID) const {
    return m_deviceEventHandlers.value(deviceID);
}

std::shared_ptr<CloudPhoneStreamProtocol> CloudPhoneCommunicator::streamEventHandler(
    const QString& deviceID) const {
    return m_streamEventHandlers.value(deviceID);
}

bool CloudPhoneCommunicator::isDeviceAdded(const QString& deviceID) const {
    return m_deviceMap.contains(deviceID);
}

CloudPhoneCommunicator::Device CloudPhoneCommunicator::realTimeDevice(
    const QString& deviceID) const {
    return m_realTimeDevices.value(deviceID);
}

QList<CloudPhoneCommunicator::Device> CloudPhoneCommunicator::realTimeDeviceList() const {
    return m_realTimeDevices.values();
}

void CloudPhoneCommunicator::destory() {
    if (refusedAfterDestory(QStringLiteral("destory"))) {
        return;
    }
    console(kPrefix + QStringLiteral("destory"));
    for (const QString& id : m_realTimeDevices.keys()) {
        stopRealTimePlay(id);
    }
    m_realTimeDevices.clear();
    for (const Device& device : m_devices) {
        device->close();
    }
    m_devices.clear();
    m_deviceMap.clear();
    m_realTimeDeviceParamsMap.clear();
    for (const QPointer<QWidget>& player : std::as_const(m_realTimeDevicePlayerMap)) {
        if (player) {
            player->deleteLater();
        }
    }
    m_realTimeDevicePlayerMap.clear();
    m_deviceEventHandlers.clear();
    m_streamEventHandlers.clear();
    m_touchEventForwarders.clear();
    clearInputSync();
    m_eventDelegate.reset();
    m_streamDelegate.reset();
    m_authenticationFailureHandler = {};
    {
        QMutexLocker lock(&m_authenticationFailureLock);
        m_isHandlingAuthenticationFailure = false;
    }
    KXClient::sdkCleanup();
    m_destroyed = true;
}
