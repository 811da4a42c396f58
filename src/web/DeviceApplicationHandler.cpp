#include "web/DeviceApplicationHandler.h"

#include "foundation/logging/KXLog.h"
#include "web/CloudphoneMessageReading.h"
#include "web/Web2NativeMessageType.h"

void DeviceApplicationHandler::handle(const Web2NativeMessage& message) {
    const std::optional<Web2NativeMessageType> type = web2NativeMessageTypeFromText(message.type);
    if (type == Web2NativeMessageType::requestDeviceApplication) {
        KXLog(QStringLiteral("📋 请求获取设备应用列表"), LogTag::web, LogLevel::info);
    } else if (type == Web2NativeMessageType::controlDeviceApplication) {
        const JsonReader reader(message.data.toObject());
        const bool hasDevices =
            CloudphoneMessageReading::objectsIn(reader, QStringLiteral("devices")).has_value();
        const std::optional<qint64> code = message.intValue(QStringLiteral("type"));
        if (!hasDevices || !code) {
            KXLog(QStringLiteral("❌ 控制设备应用参数不完整"), LogTag::web, LogLevel::error);
            return;
        }
        if (const std::optional<QString> label = actionLabel(*code)) {
            KXLog(QStringLiteral("🎮 控制设备应用: ") + *label, LogTag::web, LogLevel::info);
        } else {
            KXLog(
                QStringLiteral("⚠️ 控制设备应用: 未知操作 ") + QString::number(*code),
                LogTag::web, LogLevel::warning);
        }
    }
}

std::optional<QString> DeviceApplicationHandler::actionLabel(qint64 code) {
    switch (code) {
        case 0:
            return QStringLiteral("停止");
        case 1:
            return QStringLiteral("启动");
        case 2:
            return QStringLiteral("卸载");
        case 3:
            return QStringLiteral("截图");
        default:
            return std::nullopt;
    }
}
