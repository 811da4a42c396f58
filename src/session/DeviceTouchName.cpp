#include "session/DeviceTouchName.h"

int sdkCode(DeviceTouchName name) {
    return static_cast<int>(name) + 1;
}

QString displayText(DeviceTouchName name) {
    static const std::array<QString, 14> texts{
        QStringLiteral("返回"),     QStringLiteral("主页"),    QStringLiteral("概览"),
        QStringLiteral("音量-"),    QStringLiteral("音量+"),   QStringLiteral("电源"),
        QStringLiteral("静音"),     QStringLiteral("按键上"),  QStringLiteral("按键下"),
        QStringLiteral("按键左"),   QStringLiteral("按键右"),  QStringLiteral("按键退格"),
        QStringLiteral("按键回车"), QStringLiteral("按键删除")};
    return texts.at(static_cast<size_t>(name));
}
