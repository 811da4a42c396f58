#include "web/Web2NativeMessageProcessor.h"

#include "foundation/logging/KXLog.h"
#include "web/JsonDescription.h"
#include "web/MessageHandlerSlot.h"

Web2NativeMessageProcessor& Web2NativeMessageProcessor::shared() {
    static Web2NativeMessageProcessor processor;
    return processor;
}

void Web2NativeMessageProcessor::registerHandler(std::shared_ptr<Web2NativeMessageHandler> handler,
                                                 Web2NativeMessageType type) {
    m_handlers[web2NativeMessageTypeText(type)].push_back(std::move(handler));
}

bool Web2NativeMessageProcessor::registerTableOnce(const std::vector<MessageHandlerSlot>& table) {
    if (m_tableRegistered) {
        return false;
    }
    m_tableRegistered = true;
    for (const MessageHandlerSlot& slot : table) {
        std::shared_ptr<Web2NativeMessageHandler> handler = slot.make();
        for (const Web2NativeMessageType type : slot.types) {
            registerHandler(handler, type);
        }
    }
    return true;
}

void Web2NativeMessageProcessor::handleBody(const QString& body) {
    const std::optional<Web2NativeMessage> message = Web2NativeMessage::fromJSONString(body);
    if (!message) {
        KXLog(QStringLiteral("❌ 消息解析失败: ") + body, LogTag::web, LogLevel::error);
        return;
    }
    dispatchMessage(*message);
}

void Web2NativeMessageProcessor::handleDictionary(const QJsonObject& dictionary) {
    const std::optional<Web2NativeMessage> message = Web2NativeMessage::fromDictionary(dictionary);
    if (!message) {
        KXLog(QStringLiteral("❌ 消息解析失败: ") +
                  describePageData(dictionary.value(QStringLiteral("type")).toString(), dictionary),
              LogTag::web, LogLevel::error);
        return;
    }
    dispatchMessage(*message);
}

void Web2NativeMessageProcessor::dispatchMessage(const Web2NativeMessage& message) {
    const auto entry = m_handlers.constFind(message.type);
    if (entry == m_handlers.constEnd()) {
        KXLog(QStringLiteral("⚠️ 未找到类型 ") + message.type + QStringLiteral("- ") +
                  describePageData(message.type, message.data) + QStringLiteral(" 的处理器"),
              LogTag::web, LogLevel::warning);
        return;
    }
    // The page hands over sign-in records, tokens and text; the line keeps their shape, not them.
    KXLog(QStringLiteral("type:") + message.type + QStringLiteral(" data: ") +
              describePageData(message.type, message.data),
          LogTag::web, LogLevel::info);
    // A copy: a handler may register further handlers while it runs.
    const HandlerList handlers = entry.value();
    for (const auto& handler : handlers) {
        handler->handle(message);
    }
}
