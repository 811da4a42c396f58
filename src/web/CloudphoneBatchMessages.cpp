// Input sync, previews and paste of `CloudphoneMessageHandler`.
#include "web/CloudphoneMessageHandler.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/SettingsManager.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/SnapshotOptions.h"
#include "web/CloudphoneMessageReading.h"
#include "web/DeviceWindowDirectory.h"
#include "web/JsonDescription.h"
#include "web/PreviewImageStore.h"
#include "web/Web2NativeMessageType.h"

#include <QLocale>

#include <limits>

using namespace CloudphoneMessageReading;

namespace {

const QString kDeviceId = QStringLiteral("deviceId");
const QString kDeviceid = QStringLiteral("deviceid");
const QSizeF kPreviewSize(720, 1280);

// "deviceId" wins whenever present, even when its value is unusable.
std::optional<QString> batchDeviceID(const QJsonObject& device) {
    const auto found = device.constFind(kDeviceId);
    return CloudphoneMessageHandler::batchDeviceIDText(
        found != device.constEnd() ? found.value() : device.value(kDeviceid));
}

QString describeSnapshot(const std::optional<SnapshotInfo>& info) {
    if (!info) {
        return QStringLiteral("nil");
    }
    const QString data = info->data ? QString::number(info->data->size()) + QStringLiteral(" bytes")
                                    : QStringLiteral("nil");
    return QStringLiteral("Optional(SnapshotInfo(options: ") + info->options.description() +
           QStringLiteral(", data: ") + data + QStringLiteral(", rotation: ") +
           QString::number(info->rotation) + QStringLiteral("))");
}

}  // namespace

std::optional<QString> CloudphoneMessageHandler::batchDeviceIDText(const QJsonValue& value) {
    if (value.isString()) {
        return value.toString().isEmpty() ? std::nullopt : std::optional(value.toString());
    }
    if (const JsonField<qint64> integer = JsonReader::asInt64(value); integer.hasValue()) {
        return QString::number(integer.value());
    }
    if (value.isDouble()) {
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    return std::nullopt;
}

void CloudphoneMessageHandler::startInputSync(const QJsonObject& data) {
    const JsonReader reader(data);
    const std::optional<QJsonObject> mainDevice =
        reader.object(QStringLiteral("mainDevice")).optional();
    const std::optional<QString> mainID = mainDevice ? batchDeviceID(*mainDevice) : std::nullopt;
    const std::optional<QList<QJsonObject>> devices =
        objectsIn(reader, QStringLiteral("deviceArr"));
    if (!mainID || !devices) {
        KXLog(QStringLiteral("批量输入同步参数不完整: ") +
                  describePageData(web2NativeMessageTypeText(Web2NativeMessageType::batchControl),
                                   data),
              LogTag::web, LogLevel::error);
        return;
    }
    QStringList deviceIDs;
    for (const QJsonObject& device : *devices) {
        if (const std::optional<QString> id = batchDeviceID(device)) {
            deviceIDs << *id;
        }
    }
    CloudPhoneCommunicator& communicator = *m_environment.communicator;
    communicator.enableInputSync(*mainID, deviceIDs);
    communicator.setInputSyncEnabled(true);

    const std::optional<qint64> mainNumber = decimalInteger(*mainID);
    if (!mainNumber) {
        KXLog(QStringLiteral("批量输入同步主控设备ID无效: ") + *mainID, LogTag::web,
              LogLevel::error);
        return;
    }
    const JsonReader main(*mainDevice);
    const QString name = main.string(QStringLiteral("deviceName"))
                             .optional()
                             .value_or(main.string(QStringLiteral("devicename")).valueOr(*mainID));

    if (m_environment.settings->boolean(TypedSettings::closeOtherDevicesOnSync)) {
        m_environment.windows->closeOtherWindows(*mainNumber);
    }
    if (m_environment.windows->bringWindowToFront(*mainNumber)) {
        KXLog(QStringLiteral("批量输入同步已切换主控窗口: ") + name + QStringLiteral(" (") +
                  *mainID + QLatin1Char(')'),
              LogTag::web, LogLevel::info);
        m_environment.windows->updateInputSyncToolbarItems();
        return;
    }
    if (isStreaming(*mainNumber)) {
        return;
    }
    m_environment.windows->openWindow(*mainNumber, name);
    m_environment.sendBatchControlStatus(mirror);
    m_environment.windows->updateInputSyncToolbarItems();
}

void CloudphoneMessageHandler::changeInputSyncStatus(const Web2NativeMessage& message) {
    const std::optional<qint64> status = message.intValue(QStringLiteral("status"));
    if (!status) {
        KXLog(QStringLiteral("批量输入同步状态参数不完整: ") +
                  describePageData(message.type, message.data),
              LogTag::web, LogLevel::error);
        return;
    }
    switch (*status) {
        case pauseMirroring:
            m_environment.communicator->setInputSyncEnabled(false);
            break;
        case mirror:
            m_environment.communicator->setInputSyncEnabled(true);
            break;
        case endSync:
            m_environment.communicator->disableInputSync();
            break;
        default:
            KXLog(QStringLiteral("未知的批量输入同步状态: ") + QString::number(*status),
                  LogTag::web, LogLevel::warning);
            break;
    }
    m_environment.windows->updateInputSyncToolbarItems();
}

void CloudphoneMessageHandler::requestPreviews(const Web2NativeMessage& message) {
    const JsonReader reader(message.data.toObject());
    const std::optional<qint64> quality = message.intValue(QStringLiteral("quality"));
    const std::optional<QList<QJsonObject>> devices =
        objectsIn(reader, QStringLiteral("deviceArr"));
    // The device SDK takes the quality as a 32-bit value; a wider one is no usable request.
    const bool qualityFits = quality && *quality >= std::numeric_limits<qint32>::min() &&
                             *quality <= std::numeric_limits<qint32>::max();
    if (!qualityFits || !devices) {
        ConsoleFormat::print(QStringLiteral("❌ 预览图 参数不完整 ") + describeMessage(message));
        return;
    }
    const SnapshotOptions options{kPreviewSize, static_cast<int>(*quality), ImageFormat::webP};
    for (const QJsonObject& device : *devices) {
        const std::optional<qint64> id = JsonReader(device).int64(kDeviceId).optional();
        if (!id) {
            continue;
        }
        // Completions come on the SDK's threads; the store and the page are served from the
        // GUI thread, where the installed store is read.
        m_environment.communicator->captureSnapshot(
            QString::number(*id), options,
            [environment = m_environment, requested = *id](const std::optional<SnapshotInfo>& info,
                                                           const QString& deviceID,
                                                           const std::optional<Error>& error) {
                MainQueue::async([environment, requested, info, deviceID, error] {
                    const QString printedID =
                        ConsoleFormat::describeOptional(std::optional<QVariant>(deviceID));
                    if (error) {
                        ConsoleFormat::print(QStringLiteral("预览图获取失败： deviceID：") +
                                             printedID + QStringLiteral(" error:") +
                                             ConsoleFormat::describe(*error));
                        return;
                    }
                    ConsoleFormat::print(QStringLiteral("预览图： deviceID：") + printedID +
                                         QStringLiteral(" image:") + describeSnapshot(info));
                    if (!info || !info->data) {
                        environment.sendBatchResponsePreview(0, 0);
                        return;
                    }
                    if (PreviewImageStore* store = environment.previewStore()) {
                        store->storeImage(*info->data, QString::number(requested));
                    }
                    environment.sendBatchResponsePreview(requested, info->rotation * 90);
                });
            });
    }
}

void CloudphoneMessageHandler::pasteText(const Web2NativeMessage& message) {
    const JsonReader reader(message.data.toObject());
    const std::optional<QStringList> content = stringsIn(reader, QStringLiteral("content"));
    const std::optional<QList<QJsonObject>> devices =
        objectsIn(reader, QStringLiteral("deviceArr"));
    const std::optional<QString> type = reader.string(QStringLiteral("type")).optional();
    if (!content || !devices || !type) {
        KXLog(QStringLiteral("❌ 粘贴到云机参数不完整: ") + describeMessage(message), LogTag::web,
              LogLevel::error);
        return;
    }
    const bool pasteAll = *type == QLatin1String("paste-all");
    for (qsizetype index = 0; index < devices->size(); ++index) {
        const std::optional<qint64> id =
            JsonReader(devices->at(index)).int64(QStringLiteral("id")).optional();
        const qsizetype textIndex = pasteAll ? 0 : index;
        // The page's order is kept: the first device without an id or a text ends the paste.
        if (!id || textIndex >= content->size()) {
            return;
        }
        m_environment.communicator->copyTextToPasteboard(content->at(textIndex),
                                                         QString::number(*id));
    }
}

void CloudphoneMessageHandler::acceptPreviewPath(const QJsonObject& data) {
    if (!JsonReader(data).string(QStringLiteral("path")).hasValue()) {
        ConsoleFormat::print(QStringLiteral("❌ localPreviewPath 参数不完整"));
    }
}
