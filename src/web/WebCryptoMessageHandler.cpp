#include "web/WebCryptoMessageHandler.h"

#include "foundation/logging/KXLog.h"
#include "web/Native2WebMessageSender.h"
#include "web/Web2NativeMessageType.h"
#include "web/WebCryptoStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kData = QStringLiteral("data");

void logError(const QString& text) {
    KXLog(text, LogTag::web, LogLevel::error);
}

}  // namespace

WebCryptoMessageHandler::Environment WebCryptoMessageHandler::Environment::shared() {
    return Environment{&WebCryptoStore::shared(), &Native2WebMessageSender::shared()};
}

WebCryptoMessageHandler::WebCryptoMessageHandler(Environment environment)
    : m_environment(environment) {}

std::optional<QJsonValue> WebCryptoMessageHandler::payloadOf(const QJsonValue& data) {
    if (data.isObject()) {
        const QJsonObject object = data.toObject();
        if (!object.contains(kData)) {
            return std::nullopt;
        }
        return object.value(kData);
    }
    if (data.isString()) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(data.toString().toUtf8(), &error);
        if (error.error == QJsonParseError::NoError && document.isObject() &&
            document.object().contains(kData)) {
            return document.object().value(kData);
        }
    }
    return data;
}

void WebCryptoMessageHandler::handle(const Web2NativeMessage& message) {
    const bool isEncrypt =
        message.type == web2NativeMessageTypeText(Web2NativeMessageType::encrypt);
    const bool isDecrypt =
        message.type == web2NativeMessageTypeText(Web2NativeMessageType::decrypt);
    if (!isEncrypt && !isDecrypt) {
        return;
    }
    if (!message.macrequestid) {
        logError(QStringLiteral("❌ ") + message.type + QStringLiteral(" 缺少 macrequestid"));
        return;
    }
    const std::optional<QJsonValue> payload = payloadOf(message.data);
    if (isDecrypt) {
        decrypt(message, payload);
        return;
    }
    if (!payload) {
        logError(QStringLiteral("❌ encrypt data 格式无效"));
        return;
    }
    encrypt(message, *payload);
}

void WebCryptoMessageHandler::encrypt(const Web2NativeMessage& message, const QJsonValue& payload) {
    const bool isList = payload.isArray();
    const QJsonArray values = isList ? payload.toArray() : QJsonArray{payload};
    if (values.isEmpty()) {
        return;
    }
    QJsonArray tokens;
    for (const QJsonValue& value : values) {
        const std::optional<QString> token = m_environment.store->encryptAndStore(value);
        if (!token) {
            logError(QStringLiteral("❌ encrypt 数据处理失败"));
            return;
        }
        tokens.append(*token);
    }
    reply(message, isList ? QJsonValue(tokens) : tokens.first());
}

void WebCryptoMessageHandler::decrypt(const Web2NativeMessage& message,
                                      const std::optional<QJsonValue>& payload) {
    QStringList tokens;
    bool isList = false;
    if (payload && payload->isString() && !payload->toString().isEmpty()) {
        tokens << payload->toString();
    } else if (payload && payload->isArray() && !payload->toArray().isEmpty()) {
        isList = true;
        for (const QJsonValue& element : payload->toArray()) {
            if (!element.isString()) {
                tokens.clear();
                break;
            }
            tokens << element.toString();
        }
    }
    if (tokens.isEmpty()) {
        logError(QStringLiteral("❌ decrypt data 格式无效"));
        return;
    }
    QJsonArray values;
    for (const QString& token : tokens) {
        const std::optional<QJsonValue> value = m_environment.store->loadValue(token);
        if (!value) {
            logError(QStringLiteral("❌ decrypt 未匹配到全部数据"));
            return;
        }
        values.append(*value);
    }
    reply(message, isList ? QJsonValue(values) : values.first());
}

void WebCryptoMessageHandler::reply(const Web2NativeMessage& message, const QJsonValue& data) {
    m_environment.sender->send(
        Native2WebMessage{message.type, message.macrequestid, data, std::nullopt});
}
