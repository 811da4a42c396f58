#include "web/MacroRecordHandler.h"

#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "web/CloudphoneMessageReading.h"
#include "web/Web2NativeMessageType.h"

void MacroRecordHandler::handle(const Web2NativeMessage& message) {
    const std::optional<Web2NativeMessageType> type = web2NativeMessageTypeFromText(message.type);
    const JsonReader reader(message.data.toObject());
    const QString ucidKey = QStringLiteral("macroRecordUcid");
    if (type == Web2NativeMessageType::requestStartMacroRecord) {
        const std::optional<QString> ucid = reader.string(ucidKey).optional();
        ConsoleFormat::print(ucid ? QStringLiteral("🎬 开始宏录制: ") + *ucid
                                  : QStringLiteral("❌ 开始宏录制参数不完整"));
    } else if (type == Web2NativeMessageType::requestStartMacroCommand) {
        const bool hasDevices =
            CloudphoneMessageReading::objectsIn(reader, QStringLiteral("deviceArr")).has_value();
        const std::optional<QString> ucid = reader.string(ucidKey).optional();
        const std::optional<qint64> cycles = message.intValue(QStringLiteral("cycleNumber"));
        const std::optional<qint64> interval = message.intValue(QStringLiteral("cycleInterval"));
        if (!hasDevices || !ucid || !cycles || !interval) {
            KXLog(QStringLiteral("❌ 执行宏指令参数不完整"), LogTag::web, LogLevel::error);
            return;
        }
        KXLog(QStringLiteral("▶️ 执行宏指令: ") + *ucid + QStringLiteral(", 循环") +
                  QString::number(*cycles) + QStringLiteral("次, 间隔") +
                  QString::number(*interval) + QStringLiteral("秒"),
              LogTag::web, LogLevel::info);
    } else if (type == Web2NativeMessageType::requestStopMacroCommand) {
        ConsoleFormat::print(QStringLiteral("⏹️ 停止执行宏指令"));
    }
}
