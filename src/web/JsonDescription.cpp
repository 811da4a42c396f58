#include "web/JsonDescription.h"

#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/LogRedaction.h"
#include "web/Web2NativeMessage.h"
#include "web/Web2NativeMessageType.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// Appends the description of `value`; `hidden`: it belongs to a hidden key, so its strings and
// numbers read "***" (flags and nulls stay).
void describeInto(QString& out, const QJsonValue& value, bool hidden) {
    switch (value.type()) {
        case QJsonValue::Null:
            out += u"<null>";
            return;
        case QJsonValue::Undefined:
            out += u"nil";
            return;
        case QJsonValue::Array: {
            out += u'[';
            const QJsonArray array = value.toArray();
            for (qsizetype i = 0; i < array.size(); ++i) {
                if (i > 0) {
                    out += u", ";
                }
                describeInto(out, array.at(i), hidden);
            }
            out += u']';
            return;
        }
        case QJsonValue::Object: {
            const QJsonObject object = value.toObject();
            if (object.isEmpty()) {
                out += u"[:]";
                return;
            }
            // A setting as the page sends it: the value of a hidden key is hidden.
            const QJsonValue settingKey = object.value(QLatin1String("key"));
            const bool settingHidden =
                settingKey.isString() && LogRedaction::isHiddenKey(settingKey.toString());
            out += u'[';
            for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
                if (it != object.constBegin()) {
                    out += u", ";
                }
                out += u'"';
                out += it.key();
                out += u"\": ";
                describeInto(out, it.value(),
                             hidden || LogRedaction::isHiddenKey(it.key()) ||
                                 (settingHidden && it.key() == QLatin1String("value")));
            }
            out += u']';
            return;
        }
        case QJsonValue::String:
            out += u'"';
            out += hidden ? LogRedaction::kMask : QStringView(value.toString());
            out += u'"';
            return;
        case QJsonValue::Double:
            out += hidden ? QStringLiteral("\"***\"") : ConsoleFormat::describe(value.toVariant());
            return;
        case QJsonValue::Bool:
            out += ConsoleFormat::boolean(value.toBool());
            return;
    }
}

}  // namespace

QString describeJson(const QJsonValue& value) {
    QString out;
    describeInto(out, value, false);
    return out;
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

std::optional<QJsonValue> shapedPageData(const QString& type, const QJsonValue& data) {
    if (isType(type, Web2NativeMessageType::encrypt) ||
        isType(type, Web2NativeMessageType::decrypt)) {
        return LogRedaction::hiddenValue(data);
    }
    if (isType(type, Web2NativeMessageType::clientClipboardData)) {
        return textsByLength(data);
    }
    if (isType(type, Web2NativeMessageType::requestPasteToCloudphone) && data.isObject()) {
        QJsonObject paste = data.toObject();
        const auto content = paste.find(QStringLiteral("content"));
        if (content != paste.end()) {
            content.value() = textsByLength(content.value());
            return paste;
        }
    }
    return std::nullopt;
}

QJsonValue loggedPageData(const QString& type, const QJsonValue& data) {
    return shapedPageData(type, data).value_or(data);
}

QString describePageData(const QString& type, const QJsonValue& data) {
    const std::optional<QJsonValue> shaped = shapedPageData(type, data);
    return describeJson(shaped ? *shaped : data);
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
