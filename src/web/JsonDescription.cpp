#include "web/JsonDescription.h"

#include "api/LogRedaction.h"
#include "foundation/logging/ConsoleFormat.h"
#include "web/Web2NativeMessage.h"
#include "web/Web2NativeMessageType.h"

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

namespace {

bool isType(const QString& type, Web2NativeMessageType listed) {
    return type == web2NativeMessageTypeText(listed);
}

// Every text in the value by its length.
QJsonValue textsByLength(const QJsonValue& value) {
    if (value.isString()) {
        return LogRedaction::textLength(value.toString());
    }
    if (value.isArray()) {
        QJsonArray items;
        for (const QJsonValue& item : value.toArray()) {
            items.append(textsByLength(item));
        }
        return items;
    }
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            it.value() = textsByLength(it.value());
        }
        return object;
    }
    return value;
}

}  // namespace

QJsonValue loggedPageData(const QString& type, const QJsonValue& data) {
    if (isType(type, Web2NativeMessageType::encrypt) ||
        isType(type, Web2NativeMessageType::decrypt)) {
        return LogRedaction::maskedValue(data, true);
    }
    if (isType(type, Web2NativeMessageType::clientClipboardData)) {
        return textsByLength(data);
    }
    QJsonValue shown = LogRedaction::maskedValue(data);
    if (isType(type, Web2NativeMessageType::requestPasteToCloudphone) && shown.isObject()) {
        QJsonObject paste = shown.toObject();
        const auto content = paste.find(QStringLiteral("content"));
        if (content != paste.end()) {
            content.value() = textsByLength(content.value());
        }
        shown = paste;
    }
    return shown;
}

QString describePageData(const QString& type, const QJsonValue& data) {
    return describeJson(loggedPageData(type, data));
}

QString describeMessage(const Web2NativeMessage& message) {
    const QString requestId =
        message.macrequestid
            ? QStringLiteral("Optional(\"") + *message.macrequestid + QStringLiteral("\")")
            : QStringLiteral("nil");
    return QStringLiteral("Web2NativeMessage(type: \"") + message.type +
           QStringLiteral("\", macrequestid: ") + requestId + QStringLiteral(", data: ") +
           describePageData(message.type, message.data) + QLatin1Char(')');
}
