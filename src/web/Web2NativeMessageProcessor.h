#pragma once

#include "web/Web2NativeMessage.h"
#include "web/Web2NativeMessageHandler.h"
#include "web/Web2NativeMessageType.h"

#include <QHash>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <vector>

struct MessageHandlerSlot;

// The one dispatcher between the page and the native handler families: a page message becomes a
// `Web2NativeMessage` and goes to every handler registered for its type, in registration order.
// Nothing goes back to the page from here. GUI thread only.
class Web2NativeMessageProcessor {
public:
    using HandlerList = std::vector<std::shared_ptr<Web2NativeMessageHandler>>;

    static Web2NativeMessageProcessor& shared();

    Web2NativeMessageProcessor() = default;
    virtual ~Web2NativeMessageProcessor() = default;
    Web2NativeMessageProcessor(const Web2NativeMessageProcessor&) = delete;
    Web2NativeMessageProcessor& operator=(const Web2NativeMessageProcessor&) = delete;

    // Appends; registering one handler twice for a type calls it twice.
    void registerHandler(std::shared_ptr<Web2NativeMessageHandler> handler,
                         Web2NativeMessageType type);

    // Makes one handler per slot and registers it for the slot's types, in table order. Only the
    // first call does anything: every web view shares the one set of handlers.
    bool registerTableOnce(const std::vector<MessageHandlerSlot>& table);
    bool hasRegisteredTable() const { return m_tableRegistered; }

    // A script message body posted as text: a JSON object with a string "type".
    virtual void handleBody(const QString& body);
    // A body posted as an object.
    virtual void handleDictionary(const QJsonObject& dictionary);
    virtual void dispatchMessage(const Web2NativeMessage& message);

    HandlerList handlers(const QString& type) const { return m_handlers.value(type); }

private:
    QHash<QString, HandlerList> m_handlers;
    bool m_tableRegistered = false;
};
