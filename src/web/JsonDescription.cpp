#include "web/JsonDescription.h"

#include "foundation/logging/ConsoleFormat.h"
#include "web/Web2NativeMessage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

QString describeJson(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Null:
            return QStringLiteral("<null>");
        case QJsonValue::Undefined:
            return QStringLiteral("nil");
        case QJsonValue::Array: {
            QStringList items;
            for (const QJsonValue& item : value.toArray()) {
                items << describeJson(item);
            }
            return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
        }
        case QJsonValue::Object: {
            const QJsonObject object = value.toObject();
            if (object.isEmpty()) {
                return QStringLiteral("[:]");
            }
            QStringList entries;
            for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
                entries << QLatin1Char('"') + it.key() + QStringLiteral("\": ") +
                               describeJson(it.value());
            }
            return QLatin1Char('[') + entries.join(QStringLiteral(", ")) + QLatin1Char(']');
        }
        case QJsonValue::Bool:
        case QJsonValue::Double:
        case QJsonValue::String:
            break;
    }
    return ConsoleFormat::describe(value.toVariant());
}

QString describeMessage(const Web2NativeMessage& message) {
    const QString requestId =
        message.macrequestid
            ? QStringLiteral("Optional(\"") + *message.macrequestid + QStringLiteral("\")")
            : QStringLiteral("nil");
    return QStringLiteral("Web2NativeMessage(type: \"") + message.type +
           QStringLiteral("\", macrequestid: ") + requestId + QStringLiteral(", data: ") +
           describeJson(message.data) + QLatin1Char(')');
}
