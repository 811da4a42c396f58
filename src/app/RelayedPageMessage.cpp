#include "app/RelayedPageMessage.h"

#include "foundation/logging/KXLog.h"

#include <QObject>

QString describeObject(const QObject* object) {
    return QString::fromLatin1(object->metaObject()->className()) + QStringLiteral("(0x") +
           QString::number(reinterpret_cast<quintptr>(object), 16) + QLatin1Char(')');
}

std::optional<Web2NativeMessage> relayedPageMessage(const Notification& notification) {
    if (notification.object) {
        LogInfo(QStringLiteral("📩 收到来自 ") + describeObject(notification.object) +
                    QStringLiteral(" 的通知"),
                LogTag::web);
    }
    if (notification.userInfo.isEmpty()) {
        return std::nullopt;
    }
    return Web2NativeMessage::fromDictionary(notification.userInfo);
}
