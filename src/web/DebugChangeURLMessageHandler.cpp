#include "web/DebugChangeURLMessageHandler.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/KXLog.h"
#include "web/Native2WebMessageSender.h"
#include "web/NativeWebView.h"
#include "web/Web2NativeMessageType.h"

#include <QPointer>

DebugChangeURLMessageHandler::DebugChangeURLMessageHandler(TargetView target)
    : m_target(std::move(target)) {
    if (!m_target) {
        m_target = [] {
            return NativeWebView::owning(Native2WebMessageSender::shared().webView());
        };
    }
}

void DebugChangeURLMessageHandler::handle(const Web2NativeMessage& message) {
    const std::optional<QString> url =
        message.type == web2NativeMessageTypeText(Web2NativeMessageType::debugChangeURL)
            ? JsonReader(message.data.toObject()).string(QStringLiteral("url")).optional()
            : std::nullopt;
    const QString trimmed = url.value_or(QString()).trimmed();
    if (!message.data.isObject() || trimmed.isEmpty()) {
        KXLog(QStringLiteral("❌ debug-change-url 缺少有效的 data.url"), LogTag::web,
              LogLevel::error);
        return;
    }
    MainQueue::async([target = m_target, trimmed] {
        if (NativeWebView* view = target()) {
            view->loadURL(trimmed);
        }
    });
}
