#include "web/CloudphoneMessageHandler.h"

#include "api/CDYUserTool.h"
#include "api/KXDomesticUser.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "foundation/logging/LogRedaction.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/SecureStorageManager.h"
#include "session/CloudPhoneCommunicator.h"
#include "web/CloudphoneMessageReading.h"
#include "web/DeviceWindowDirectory.h"
#include "web/JsonDescription.h"
#include "web/Native2WebMessageSender.h"
#include "web/PreviewImageStore.h"
#include "web/Web2NativeMessageType.h"

#include <QJsonArray>
#include <QPointer>

using namespace CloudphoneMessageReading;

namespace {

// Part of an "add-cloundphone" message, which carries the user's token, as lines show it.
QString describeAdded(const QJsonValue& part) {
    return describePageData(web2NativeMessageTypeText(Web2NativeMessageType::addCloudphone), part);
}

}  // namespace

CloudphoneMessageHandler::Environment CloudphoneMessageHandler::Environment::shared() {
    Environment environment;
    environment.communicator = &CloudPhoneCommunicator::shared();
    environment.settings = &SettingsManager::shared();
    environment.windows = &DeviceWindowDirectory::shared();
    environment.userStorage = &SecureStorageManager::shared();
    environment.userDataFile = CDYUserTool::shared().userDataFile;
    environment.sendBatchControlStatus = [](int status) {
        Native2WebMessageSender::shared().sendBatchControlStatus(status);
    };
    environment.sendBatchResponsePreview = [](qint64 deviceId, int rotation) {
        Native2WebMessageSender::shared().sendBatchResponsePreview(deviceId, rotation);
    };
    environment.previewStore = [] { return PreviewImageStore::installed(); };
    return environment;
}

CloudphoneMessageHandler::CloudphoneMessageHandler(Environment environment)
    : m_environment(std::move(environment)) {}

void CloudphoneMessageHandler::handle(const Web2NativeMessage& message) {
    const std::optional<Web2NativeMessageType> type = web2NativeMessageTypeFromText(message.type);
    if (!type) {
        return;
    }
    const QJsonObject data = message.data.toObject();
    switch (*type) {
        case Web2NativeMessageType::addCloudphone:
            addDevices(data);
            break;
        case Web2NativeMessageType::requestDeleteCloudphone:
            removeDevices(data);
            break;
        case Web2NativeMessageType::cloudphoneOpen:
            openDevice(message);
            break;
        case Web2NativeMessageType::cloudphoneOpenAtExist:
            openDeviceInExistingWindow(message);
            break;
        case Web2NativeMessageType::closeAllCloudphone:
            closeAllDevices();
            break;
        case Web2NativeMessageType::closeSelectCloudphone:
            closeSelectedDevices(data);
            break;
        case Web2NativeMessageType::moreCloudphoneOpen:
            openManyDevices(data);
            break;
        case Web2NativeMessageType::batchControl:
            startInputSync(data);
            break;
        case Web2NativeMessageType::batchControlStatus:
            changeInputSyncStatus(message);
            break;
        case Web2NativeMessageType::batchRequestPreview:
            requestPreviews(message);
            break;
        case Web2NativeMessageType::requestPasteToCloudphone:
            pasteText(message);
            break;
        case Web2NativeMessageType::localPreviewPath:
            acceptPreviewPath(data);
            break;
        default:
            break;
    }
}

std::optional<DeviceOptions> CloudphoneMessageHandler::deviceOptions(const QJsonObject& device) {
    const JsonReader reader(device);
    const std::optional<QString> ip = reader.string(QStringLiteral("ip")).optional();
    if (!ip || ip->isEmpty()) {
        return std::nullopt;
    }
    std::optional<qint64> port = reader.int64(QStringLiteral("port")).optional();
    if (!port) {
        if (const std::optional<QString> text = reader.string(QStringLiteral("port")).optional()) {
            port = decimalInteger(*text);
        }
    }
    if (!port || *port <= 0 || *port >= 65536) {
        return std::nullopt;
    }
    return DeviceOptions{*ip, static_cast<int>(*port), DeviceConnectType::udp};
}

void CloudphoneMessageHandler::addDevices(const QJsonObject& data) {
    const JsonReader reader(data);
    const std::optional<QJsonObject> userInfo =
        reader.object(QStringLiteral("userInfo")).optional();
    const JsonReader user(userInfo.value_or(QJsonObject()));
    const std::optional<QString> uid = user.string(QStringLiteral("uid")).optional();
    const std::optional<QString> token = user.string(QStringLiteral("token")).optional();
    const std::optional<QList<QJsonObject>> devices =
        objectsIn(reader, QStringLiteral("deviceArr"));
    if (!userInfo || !uid || !token || !devices) {
        KXLog(QStringLiteral("❌ add-cloundphone 参数不完整: ") + describeAdded(data), LogTag::web,
              LogLevel::error);
        return;
    }
    syncSignWithSavedUser(*token);
    m_environment.communicator->refreshUserToken();

    for (const QJsonObject& device : *devices) {
        const std::optional<qint64> id =
            JsonReader(device).int64(QStringLiteral("deviceid")).optional();
        if (!id) {
            KXLog(QStringLiteral("⚠️ add-cloundphone 设备参数不完整: ") +
                      describeAdded(device),
                  LogTag::web, LogLevel::warning);
            continue;
        }
        const QString idText = QString::number(*id);
        m_environment.communicator->add(
            idText, deviceOptions(device), *uid, *token, [idText](bool added) {
                KXLog(QStringLiteral("add-cloundphone SDK add device ") + idText +
                          QStringLiteral(": ") + ConsoleFormat::boolean(added),
                      LogTag::web, added ? LogLevel::info : LogLevel::warning);
            });
    }
}

void CloudphoneMessageHandler::syncSignWithSavedUser(const QString& token) {
    std::optional<KXDomesticUser> user =
        m_environment.userStorage->loadEncrypted<KXDomesticUser>(m_environment.userDataFile);
    if (!user) {
        KXLog(QStringLiteral(
                  "⚠️ add-cloundphone 未找到本地用户数据，无法同步 sign"),
              LogTag::web, LogLevel::warning);
        return;
    }
    user->sign = token;
    if (!m_environment.userStorage->saveEncrypted(*user, m_environment.userDataFile)) {
        KXLog(QStringLiteral("❌ add-cloundphone 更新本地 sign 失败"), LogTag::web, LogLevel::error);
    }
}

void CloudphoneMessageHandler::removeDevices(const QJsonObject& data) {
    const std::optional<QList<qint64>> ids =
        integersIn(JsonReader(data), QStringLiteral("deviceArr"));
    if (!ids) {
        KXLog(QStringLiteral("❌ request-delete-cloundphone 参数不完整: ") +
                  describePageData(
                      web2NativeMessageTypeText(Web2NativeMessageType::requestDeleteCloudphone),
                      data),
              LogTag::web, LogLevel::error);
        return;
    }
    for (const qint64 id : *ids) {
        m_environment.communicator->remove(QString::number(id));
    }
}

bool CloudphoneMessageHandler::isStreaming(qint64 deviceID) const {
    return m_environment.communicator->isStreaming(QString::number(deviceID));
}

void CloudphoneMessageHandler::openDevice(const Web2NativeMessage& message) {
    const std::optional<qint64> id = message.intValue(QStringLiteral("deviceId"));
    const JsonReader reader(message.data.toObject());
    const std::optional<QString> name = reader.string(QStringLiteral("devicename")).optional();
    if (!id || !name) {
        ConsoleFormat::print(QStringLiteral("❌ 云机参数不完整"));
        return;
    }
    const QString label = *name + QStringLiteral(" (") + QString::number(*id) + QLatin1Char(')');
    ConsoleFormat::print(QStringLiteral("📱 打开云机: ") + label);
    if (const auto auth = reader.string(QStringLiteral("auth_params")).optional()) {
        ConsoleFormat::print(QStringLiteral("  认证参数: ") +
                             LogRedaction::maskedField(u"auth_params", *auth).toString());
    }
    if (const auto userInfo = reader.object(QStringLiteral("userInfo")).optional()) {
        ConsoleFormat::print(QStringLiteral("  用户信息: ") +
                             describePageData(message.type, *userInfo));
    }
    if (m_environment.windows->bringWindowToFront(*id)) {
        ConsoleFormat::print(QStringLiteral("📱 云机已打开，已将窗口置于最前: ") + label);
        return;
    }
    if (isStreaming(*id)) {
        return;
    }
    m_environment.windows->openWindow(*id, *name);
}

void CloudphoneMessageHandler::openDeviceInExistingWindow(const Web2NativeMessage& message) {
    const std::optional<qint64> oldID = message.intValue(QStringLiteral("oldDeviceId"));
    const std::optional<qint64> newID = message.intValue(QStringLiteral("deviceId"));
    const std::optional<QString> name =
        JsonReader(message.data.toObject()).string(QStringLiteral("devicename")).optional();
    if (!oldID || !newID || !name) {
        KXLog(QStringLiteral("❌ 云机参数不完整"), LogTag::web, LogLevel::error);
        return;
    }
    KXLog(QStringLiteral("📱 在已有窗口打开云机: 旧设备") + QString::number(*oldID) +
              QStringLiteral(" -> 新设备") + QString::number(*newID),
          LogTag::web, LogLevel::info);
    // After the current message, as the page expects of a window change.
    MainQueue::async([handler = *this, oldID = *oldID, newID = *newID, name = *name] {
        DeviceWindowDirectory& windows = *handler.m_environment.windows;
        QObject* window = nullptr;
        for (QObject* candidate : windows.windows()) {
            if (windows.deviceID(candidate) == oldID) {
                window = candidate;
                break;
            }
        }
        if (!window) {
            KXLog(QStringLiteral("❌ 未找到旧设备窗口: ") + QString::number(oldID), LogTag::web,
                  LogLevel::error);
            return;
        }
        if (newID != oldID && handler.isStreaming(newID)) {
            KXLog(QStringLiteral("⚠️ 新设备已在其他窗口播放: ") +
                      QString::number(newID),
                  LogTag::web, LogLevel::warning);
            windows.bringWindowToFront(newID);
            return;
        }
        windows.switchToDevice(window, newID, name);
    });
}

void CloudphoneMessageHandler::endInputSyncIfActive() {
    if (!m_environment.communicator->inputSyncMainDeviceID()) {
        return;
    }
    m_environment.sendBatchControlStatus(endSync);
    m_environment.communicator->disableInputSync();
    m_environment.windows->updateInputSyncToolbarItems();
}

void CloudphoneMessageHandler::closeAllDevices() {
    ConsoleFormat::print(QStringLiteral("❌ 关闭所有云机"));
    endInputSyncIfActive();
    m_environment.windows->closeAllWindows();
}

void CloudphoneMessageHandler::closeSelectedDevices(const QJsonObject& data) {
    const std::optional<QList<qint64>> ids =
        integersIn(JsonReader(data), QStringLiteral("deviceArr"));
    if (!ids) {
        return;
    }
    QStringList printed;
    for (const qint64 id : *ids) {
        printed << QString::number(id);
    }
    ConsoleFormat::print(QStringLiteral("❌ 关闭指定云机: [") + printed.join(QStringLiteral(", ")) +
                         QLatin1Char(']'));
    endInputSyncIfActive();
    m_environment.windows->closeWindows(*ids);
}

void CloudphoneMessageHandler::openManyDevices(const QJsonObject& data) {
    const JsonReader reader(data);
    const std::optional<QList<QJsonObject>> devices =
        objectsIn(reader, QStringLiteral("deviceArr"));
    if (!devices) {
        ConsoleFormat::print(QStringLiteral("❌ 批量打开云机参数不完整"));
        return;
    }
    const bool arrange = m_environment.settings->boolean(TypedSettings::arrangeBatchOpenedWindows);
    ConsoleFormat::print(QStringLiteral("📱 批量打开云机: ") + QString::number(devices->size()) +
                         QStringLiteral(" 台, 是否排列: ") + ConsoleFormat::boolean(arrange));
    if (const auto userInfo = reader.object(QStringLiteral("userInfo")).optional()) {
        const JsonReader user(*userInfo);
        const auto uid = user.string(QStringLiteral("uid")).optional();
        if (uid && user.string(QStringLiteral("token")).hasValue()) {
            ConsoleFormat::print(QStringLiteral("  用户: ") + *uid);
        }
    }
    MainQueue::async([handler = *this, devices = *devices, arrange] {
        QList<QObject*> opened;
        for (const QJsonObject& device : devices) {
            const JsonReader element(device);
            const auto id = element.int64(QStringLiteral("deviceid")).optional();
            const auto name = element.string(QStringLiteral("devicename")).optional();
            if (!id || !name) {
                ConsoleFormat::print(QStringLiteral("❌ 云机参数不完整"));
                continue;
            }
            // A device already on screen ends the batch: the page opens the rest again.
            if (handler.isStreaming(*id)) {
                return;
            }
            opened << handler.m_environment.windows->openWindow(*id, *name);
        }
        if (arrange) {
            handler.m_environment.windows->tileWindows(opened);
        }
    });
}
