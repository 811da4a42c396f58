#pragma once

#include "web/Web2NativeMessageHandler.h"

#include <QJsonValue>

#include <optional>

class Native2WebMessageSender;
class WebCryptoStore;

// The page's "encrypt" and "decrypt": one value or a list of values in, one token or a list of
// tokens out, and back. Answers carry the request's type and macrequestid; every failure is only
// logged and leaves the request unanswered, never with part of a list.
class WebCryptoMessageHandler : public Web2NativeMessageHandler {
public:
    struct Environment {
        WebCryptoStore* store = nullptr;
        Native2WebMessageSender* sender = nullptr;

        static Environment shared();
    };

    explicit WebCryptoMessageHandler(Environment environment = Environment::shared());

    void handle(const Web2NativeMessage& message) override;

    // The part of the message's data that holds the values or tokens: a dictionary's "data";
    // for a text, the "data" of the JSON object it holds, else the text itself; anything else
    // as it is. Nothing for a dictionary without "data".
    static std::optional<QJsonValue> payloadOf(const QJsonValue& data);

private:
    void encrypt(const Web2NativeMessage& message, const QJsonValue& payload);
    void decrypt(const Web2NativeMessage& message, const std::optional<QJsonValue>& payload);
    void reply(const Web2NativeMessage& message, const QJsonValue& data);

    Environment m_environment;
};
