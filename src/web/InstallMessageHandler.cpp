#include "web/InstallMessageHandler.h"

#include "foundation/json/JsonReader.h"
#include "foundation/logging/KXLog.h"
#include "session/CloudPhoneCommunicator.h"
#include "web/JsonDescription.h"
#include "web/Native2WebMessageSender.h"
#include "web/Native2WebMessageType.h"
#include "web/Web2NativeMessageType.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

struct InstallItem {
    qint64 deviceId = 0;
    qint64 type = 0;
    QString url;
    QString requestId;
};

// Nothing when a field is missing or of another kind.
std::optional<InstallItem> itemOf(const QJsonObject& item) {
    const JsonField<qint64> deviceId = JsonReader::asInt64(item.value(QStringLiteral("deviceId")));
    const JsonField<qint64> type = JsonReader::asInt64(item.value(QStringLiteral("type")));
    const QJsonValue url = item.value(QStringLiteral("url"));
    const QJsonValue requestId = item.value(QStringLiteral("requestId"));
    if (!deviceId.hasValue() || !type.hasValue() || !url.isString() || !requestId.isString()) {
        return std::nullopt;
    }
    return InstallItem{deviceId.value(), type.value(), url.toString(), requestId.toString()};
}

}  // namespace

InstallMessageHandler::Environment InstallMessageHandler::Environment::shared() {
    return Environment{&CloudPhoneCommunicator::shared(), &Native2WebMessageSender::shared()};
}

InstallMessageHandler::InstallMessageHandler(Environment environment)
    : m_environment(environment) {}

void InstallMessageHandler::handle(const Web2NativeMessage& message) {
    if (message.type == web2NativeMessageTypeText(Web2NativeMessageType::batchRequestInstall)) {
        batchInstall(message);
    }
}

void InstallMessageHandler::batchInstall(const Web2NativeMessage& message) {
    const QJsonValue list = message.data.toObject().value(QStringLiteral("list"));
    bool wellFormed = list.isArray();
    for (const QJsonValue& item : list.toArray()) {
        wellFormed = wellFormed && item.isObject();
    }
    if (!wellFormed) {
        KXLog(QStringLiteral("❌ 批量安装参数不完整"), LogTag::web, LogLevel::error);
        return;
    }
    const QJsonArray items = list.toArray();
    KXLog(describeMessage(message), LogTag::web, LogLevel::info);
    KXLog(QStringLiteral("📦 批量安装/上传: ") + QString::number(items.size()) +
              QStringLiteral(" 个应用"),
          LogTag::web, LogLevel::info);

    for (const QJsonValue& value : items) {
        const std::optional<InstallItem> item = itemOf(value.toObject());
        if (!item) {
            continue;
        }
        KXLog(QStringLiteral("  - 设备") + QString::number(item->deviceId) + QStringLiteral(": ") +
                  (item->type == 0 ? QStringLiteral("仅上传") : QStringLiteral("上传并安装")) +
                  QLatin1Char(' ') + item->url,
              LogTag::web, LogLevel::info);
        const QString deviceText = QString::number(item->deviceId);
        // The sender outlives every handler, so completions on any thread may use it.
        Native2WebMessageSender* sender = m_environment.sender;
        auto completion = [sender, item = *item, deviceText](const std::optional<Error>& error) {
            std::optional<QString> failure;
            if (error) {
                KXLog(QStringLiteral("pushFileToDevice = ") + error->message, LogTag::web,
                      LogLevel::error);
                failure = error->message;
            }
            sendInstallResponse(*sender, failure, item.requestId, deviceText, item.url);
        };
        if (item->type == 1) {
            m_environment.communicator->installFile(item->url, deviceText, completion);
        } else {
            m_environment.communicator->transferFile(item->url, deviceText, completion);
        }
    }
}

void InstallMessageHandler::sendInstallResponse(Native2WebMessageSender& sender,
                                                const std::optional<QString>& failure,
                                                const QString& requestId, const QString& deviceId,
                                                const QString& url) {
    const QJsonObject data{{QStringLiteral("requestId"), requestId},
                           {QStringLiteral("deviceId"), deviceId},
                           {QStringLiteral("url"), url},
                           {QStringLiteral("code"), failure ? -1 : 0},
                           {QStringLiteral("msg"), failure.value_or(QString())}};
    sender.send(
        Native2WebMessage{native2WebMessageTypeText(Native2WebMessageType::batchResponseInstall),
                          std::nullopt, data, std::nullopt});
}
