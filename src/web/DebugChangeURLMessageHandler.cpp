#include "web/DebugChangeURLMessageHandler.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/KXLog.h"
#include "web/Native2WebMessageSender.h"
#include "web/NativeWebView.h"
#include "web/TrustedPageOrigins.h"
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
        NativeWebView* view = target();
        if (view == nullptr) {
            return;
        }
        // The client's own page chose it: the page there keeps the bridge.
        if (const std::optional<QString> trusted =
                TrustedPageOrigins::shared().trustChosenAddress(QUrl(trimmed, QUrl::StrictMode))) {
            KXLog(QStringLiteral(
                      "⚠️ debug-change-url 指定的页面来源已设为受信任: ") +
                      *trusted,
                  LogTag::web, LogLevel::warning);
        }
        view->loadURL(trimmed);
    });
}
