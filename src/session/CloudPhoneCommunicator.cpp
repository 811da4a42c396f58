#include "session/CloudPhoneCommunicator.h"

#include "foundation/logging/ConsoleFormat.h"
#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "session/CloudPhoneEventDelegate.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneStreamDelegate.h"

namespace {

const QString kPrefix = QStringLiteral("CloudPhoneCommunicator.");

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
    : QObject(parent) {
    auto eventDelegate = std::make_shared<CloudPhoneEventDelegate>(this);
    auto streamDelegate = std::make_shared<CloudPhoneStreamDelegate>(this);
    m_eventDelegate = eventDelegate;
    m_streamDelegate = streamDelegate;
    m_registry = std::make_unique<DeviceRegistry>(std::move(transport), std::move(eventDelegate));
    m_inputSync = std::make_unique<InputSync>(*m_registry);
    m_streams = std::make_unique<LiveStreams>(*m_registry, *m_inputSync, std::move(streamDelegate));
    m_operations = std::make_unique<DeviceOperations>(*m_registry, *m_streams, *m_inputSync);
}

CloudPhoneCommunicator::~CloudPhoneCommunicator() = default;

void CloudPhoneCommunicator::setSentryService(SentryService* service) {
    m_streams->setSentryService(service);
    if (const auto delegate = m_eventDelegate.lock()) {
        delegate->setSentryService(service);
    }
    if (const auto delegate = m_streamDelegate.lock()) {
        delegate->setSentryService(service);
    }
}

CloudPhoneCommunicator::AuthenticationFailureHandler
CloudPhoneCommunicator::authenticationFailureHandler() const {
    return m_registry->authenticationFailureHandler();
}

void CloudPhoneCommunicator::setAuthenticationFailureHandler(AuthenticationFailureHandler handler) {
    m_registry->setAuthenticationFailureHandler(std::move(handler));
}

// Session and registry ----------------------------------------------------------------------------

void CloudPhoneCommunicator::setupWithLogPath(const QString& path) {
    if (m_registry->refusedAfterShutdown(QStringLiteral("setupWithLogPath"))) {
        return;
    }
    console(kPrefix + QStringLiteral("setupWithLogPath,path:") + path);
    KXClient::sdkInit(path);
}

void CloudPhoneCommunicator::configClient(const ClientInitOptions& options,
                                          std::shared_ptr<UserIdentityProviding> provider) {
    if (m_registry->refusedAfterShutdown(QStringLiteral("configClient"))) {
        return;
    }
    console(kPrefix + QStringLiteral("configClient,path:") + options.description());
    m_registry->configClient(options, std::move(provider));
}

void CloudPhoneCommunicator::add(const QString& deviceID,
                                 const std::optional<DeviceOptions>& options,
                                 const std::optional<QString>& userID,
                                 const std::optional<QString>& userToken,
                                 CompletionHandler completionHandler) {
    m_registry->add(deviceID, options, userID, userToken, std::move(completionHandler));
}

void CloudPhoneCommunicator::stopIfStreaming(const QString& deviceID) {
    if (m_streams->isStreaming(deviceID)) {
        m_streams->stop(deviceID);
    }
}

void CloudPhoneCommunicator::updateDevice(const QString& deviceID, DeviceConnectType connectType,
                                          CompletionHandler completionHandler) {
    const auto complete = [&completionHandler](bool registered) {
        if (completionHandler) {
            completionHandler(registered);
        }
    };
    if (m_registry->refusedAfterShutdown(
            QStringLiteral("updateDevice(deviceID:connectType:completionHandler:)"))) {
        complete(false);
        return;
    }
    const Device device = m_registry->device(deviceID);
    if (!device || device->config().transport() == transportOf(connectType)) {
        complete(false);
        return;
    }
    stopIfStreaming(deviceID);
    m_registry->closeAndForget(deviceID, device);
    KXDeviceParamsObc params = device->config();
    params.setTransport(transportOf(connectType));
    complete(m_registry->registerDevice(params));
    console(kPrefix + QStringLiteral("udpdateDevice,deviceID:") + deviceID +
            QStringLiteral(",connectType:") + caseName(connectType));
}

void CloudPhoneCommunicator::remove(const QString& deviceID) {
    const Device device = m_registry->device(deviceID);
    if (!device) {
        console(kPrefix + QStringLiteral("remove(deviceID:)") + QStringLiteral(",设备") + deviceID +
                QStringLiteral("不存在。"));
        return;
    }
    stopIfStreaming(deviceID);
    m_registry->closeAndForget(deviceID, device);
    m_inputSync->forgetDevice(deviceID);
}

void CloudPhoneCommunicator::handleAuthenticationFailure(const QString& deviceID,
                                                         const Device& from) {
    if (deviceID.isEmpty() || !from) {
        return;
    }
    if (m_registry->latchAuthenticationFailure(deviceID, from)) {
        remove(deviceID);
        if (const AuthenticationFailureHandler handler =
                m_registry->authenticationFailureHandler()) {
            handler(deviceID);
        }
        return;
    }
    console(kPrefix + QStringLiteral("handleAuthenticationFailure(deviceID:from:)") +
            QStringLiteral(",忽略重复或已失效的鉴权失败,设备:") + deviceID);
}

void CloudPhoneCommunicator::refreshUserToken() {
    const QString operation = QStringLiteral("refreshUserToken()");
    if (m_registry->refusedAfterShutdown(operation)) {
        return;
    }
    console(kPrefix + operation + QStringLiteral(",更新UserToken"));
    if (m_registry->refreshTokens(operation)) {
        m_registry->clearAuthenticationFailureLatch();
    }
}

void CloudPhoneCommunicator::closeIdleDevices() {
    if (!m_streams->realTimeDevicePlayerMap().isEmpty()) {
        return;
    }
    m_inputSync->clear();
    m_registry->closeAll();
}

void CloudPhoneCommunicator::revokeOtherUsersAccess(const QString& deviceID) {
    const Device device = m_registry->device(deviceID);
    if (!device) {
        console(kPrefix + QStringLiteral("revokeOtherUsersAccess(for:)") +
                QStringLiteral(", Device[") + deviceID + QStringLiteral("] is null"));
        return;
    }
    device->kickoutOther();
}

bool CloudPhoneCommunicator::isDeviceAdded(const QString& deviceID) const {
    return m_registry->contains(deviceID);
}

CloudPhoneCommunicator::Device CloudPhoneCommunicator::realTimeDevice(
    const QString& deviceID) const {
    return m_streams->realTimeDevices().value(deviceID);
}

QList<CloudPhoneCommunicator::Device> CloudPhoneCommunicator::realTimeDeviceList() const {
    return m_streams->realTimeDevices().values();
}

void CloudPhoneCommunicator::destory() {
    if (m_registry->refusedAfterShutdown(QStringLiteral("destory"))) {
        return;
    }
    console(kPrefix + QStringLiteral("destory"));
    m_streams->shutDown();
    m_registry->shutDown();
    m_inputSync->clear();
    KXClient::sdkCleanup();
}

// Input sync
// ---------------------------------------------------------------------------------------

void CloudPhoneCommunicator::enableInputSync(const QString& mainDeviceID,
                                             const QStringList& deviceIDs) {
    m_inputSync->enable(mainDeviceID, deviceIDs);
}

void CloudPhoneCommunicator::setInputSyncEnabled(bool enabled) {
    m_inputSync->setEnabled(enabled);
}

void CloudPhoneCommunicator::disableInputSync() {
    m_inputSync->disable();
}

bool CloudPhoneCommunicator::isInputSyncActive() const {
    return m_inputSync->isActive();
}

std::optional<bool> CloudPhoneCommunicator::inputSyncState(const QString& deviceID) const {
    return m_inputSync->state(deviceID);
}

void CloudPhoneCommunicator::mirrorInputToSyncDevices(const QString& deviceID,
                                                      const DeviceAction& action) {
    m_inputSync->mirror(deviceID, action);
}

void CloudPhoneCommunicator::endMirroredTouches() {
    m_inputSync->endMirroredTouches();
}

const std::optional<QString>& CloudPhoneCommunicator::inputSyncMainDeviceID() const {
    return m_inputSync->mainDeviceID();
}

bool CloudPhoneCommunicator::isInputSyncEnabled() const {
    return m_inputSync->isEnabled();
}

// Live streams
// -------------------------------------------------------------------------------------

void CloudPhoneCommunicator::startRealTimePlay(
    const QString& deviceID, const DeviceRealTimeOptions& options,
    std::shared_ptr<CloudPhoneEventProtocol> deviceEventHandler,
    std::shared_ptr<CloudPhoneStreamProtocol> streamEventHandler, QWidget* container) {
    m_streams->start(deviceID, options, std::move(deviceEventHandler),
                     std::move(streamEventHandler), container);
}

void CloudPhoneCommunicator::stopRealTimePlay(const QString& deviceID) {
    m_streams->stop(deviceID);
}

void CloudPhoneCommunicator::captureSnapshot(const QString& deviceID,
                                             const SnapshotOptions& options,
                                             SnapshotCompletion completion) {
    m_streams->captureSnapshot(deviceID, options, std::move(completion));
}

void CloudPhoneCommunicator::setPlayerLandscape(bool landscape, QWidget* container) {
    m_streams->setPlayerRotation(landscape ? 90 : 0, container);
}

void CloudPhoneCommunicator::setPlayerRotation(qreal degrees, QWidget* container) {
    m_streams->setPlayerRotation(degrees, container);
}

bool CloudPhoneCommunicator::isNotPlaying(const QString& deviceID) const {
    return !isStreaming(deviceID);
}

bool CloudPhoneCommunicator::isStreaming(const QString& deviceID) const {
    return m_streams->realTimeDevicePlayerMap().contains(deviceID);
}

CloudPhonePlayerView* CloudPhoneCommunicator::playerView(const QString& deviceID) const {
    return qobject_cast<CloudPhonePlayerView*>(
        m_streams->realTimeDevicePlayerMap().value(deviceID).data());
}

std::optional<QSizeF> CloudPhoneCommunicator::videoSize(const QString& deviceID) const {
    if (const CloudPhonePlayerView* player = playerView(deviceID)) {
        return QSizeF(player->size());
    }
    return std::nullopt;
}

void CloudPhoneCommunicator::simulateTap(const QString& deviceID, const QPointF& point) {
    m_streams->simulateTap(deviceID, point);
}

void CloudPhoneCommunicator::simulateTouchDown(const QString& deviceID, const QPointF& point,
                                               qint64 index) {
    m_streams->simulateTouchDown(deviceID, point, index);
}

void CloudPhoneCommunicator::simulateTouchMove(const QString& deviceID, const QPointF& point,
                                               qint64 index) {
    m_streams->simulateTouchMove(deviceID, point, index);
}

void CloudPhoneCommunicator::simulateTouchUp(const QString& deviceID, const QPointF& point,
                                             qint64 index) {
    m_streams->simulateTouchUp(deviceID, point, index);
}

void CloudPhoneCommunicator::cancelSimulatedTouches(const QString& deviceID) {
    m_streams->cancelSimulatedTouches(deviceID);
}

// Device operations
// --------------------------------------------------------------------------------

Error CloudPhoneCommunicator::deviceNotFoundError(const QString& operation) {
    return DeviceOperations::deviceNotFoundError(operation);
}

void CloudPhoneCommunicator::setVideoQuality(VideoQuality quality, const QString& deviceID) {
    m_operations->setVideoQuality(quality, deviceID);
}

void CloudPhoneCommunicator::sendTouchEvent(DeviceTouchName name, DeviceTouchEvent event,
                                            const QString& deviceID) {
    m_operations->sendTouchEvent(name, event, deviceID);
}

void CloudPhoneCommunicator::fetchActivePackageName(const QString& deviceID,
                                                    PackageNameCompletion completionHandler) {
    m_operations->fetchActivePackageName(deviceID, std::move(completionHandler));
}

void CloudPhoneCommunicator::setKeyboard(DeviceKeyboardType type, const QString& deviceID) {
    m_operations->setKeyboard(type, deviceID);
}

void CloudPhoneCommunicator::fetchDiskInfo(const QString& deviceID,
                                           DictionaryCompletion completionHandler) {
    m_operations->fetchDiskInfo(deviceID, std::move(completionHandler));
}

void CloudPhoneCommunicator::copyTextToPasteboard(const QString& text, const QString& deviceID) {
    m_operations->copyTextToPasteboard(text, deviceID);
}

void CloudPhoneCommunicator::sendText(const QString& text, const QString& deviceID) {
    m_operations->sendText(text, deviceID);
}

void CloudPhoneCommunicator::transferFile(const QString& location, const QString& deviceID,
                                          ErrorCompletion completionHandler) {
    m_operations->transferFile(location, deviceID, std::move(completionHandler));
}

void CloudPhoneCommunicator::installFile(const QString& location, const QString& deviceID,
                                         ErrorCompletion completionHandler) {
    m_operations->installFile(location, deviceID, std::move(completionHandler));
}
