#include "web/Native2WebMessageSender.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/KXLog.h"
#include "foundation/logging/LogRedaction.h"
#include "web/JsonDescription.h"
#include "web/Native2WebMessageType.h"
#include "web/NativeWebPage.h"
#include "web/TrustedPageOrigins.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>

Native2WebMessageSender& Native2WebMessageSender::shared() {
    static Native2WebMessageSender sender;
    return sender;
}

Native2WebMessageSender::~Native2WebMessageSender() {
    if (DeviceWindowPageLink::installed() == this) {
        DeviceWindowPageLink::install(nullptr);
    }
}

void Native2WebMessageSender::installAsDeviceWindowPageLink() {
    DeviceWindowPageLink::install(this);
}

void Native2WebMessageSender::bindWebView(QWebEngineView* view) {
    std::erase_if(m_views, [view](const QPointer<QWebEngineView>& bound) {
        return bound.isNull() || bound == view;
    });
    if (view != nullptr) {
        m_views.emplace_back(view);
    }
}

QWebEngineView* Native2WebMessageSender::webView() const {
    for (auto it = m_views.rbegin(); it != m_views.rend(); ++it) {
        if (!it->isNull()) {
            return it->data();
        }
    }
    return nullptr;
}

Error Native2WebMessageSender::makeError(ErrorCode code) {
    switch (code) {
        case noWebView:
            return Error{kErrorDomain, code, QStringLiteral("WebView 未设置")};
        case messageNotConvertible:
            return Error{kErrorDomain, code, QStringLiteral("消息转换失败")};
        case responseNotConvertible:
            return Error{kErrorDomain, code, QStringLiteral("响应 data 转换 JSON 字符串失败")};
        case untrustedPage:
            return Error{kErrorDomain, code, QStringLiteral("页面来源不受信任")};
    }
    return Error{kErrorDomain, code, QString()};
}

QString Native2WebMessageSender::escapeForSingleQuotedString(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    escaped.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return escaped;
}

std::optional<QString> Native2WebMessageSender::pageScript(const Native2WebMessage& message) {
    const std::optional<QString> json = message.toJSONString();
    if (!json) {
        return std::nullopt;
    }
    const QStringList lines{
        QStringLiteral("(function() {"),
        QStringLiteral("    if (typeof window.receiveNativeMessage === 'function') {"),
        QStringLiteral("        window.receiveNativeMessage('") +
            escapeForSingleQuotedString(*json) + QStringLiteral("');"),
        QStringLiteral("        return null;"),
        QStringLiteral("    }"),
        QStringLiteral("    console.warn('[NativeBridge] receiveNativeMessage is unavailable');"),
        QStringLiteral("    return null;"),
        QStringLiteral("})();"),
    };
    return lines.join(QLatin1Char('\n'));
}

namespace {

// What the lines show in place of the message's data, when its type or its sender knows more
// than the data tells; nothing when they show the data as it is.
std::optional<QJsonValue> shownData(const Native2WebMessage& message) {
    return message.loggedData ? message.loggedData : shapedPageData(message.type, message.data);
}

}  // namespace

QString Native2WebMessageSender::sentLine(const Native2WebMessage& message, const QString& script) {
    std::optional<QString> shownScript;
    if (const std::optional<QJsonValue> shown = shownData(message)) {
        Native2WebMessage logged = message;
        logged.data = *shown;
        shownScript = pageScript(logged).value_or(QString());
    }
    return QStringLiteral("📤 发送消息到 Web: ") + message.type + QStringLiteral(" data:") +
           (shownScript ? *shownScript : script);
}

QString Native2WebMessageSender::deliveredLine(const Native2WebMessage& message) {
    const std::optional<QJsonValue> shown = shownData(message);
    return QStringLiteral("✅ 消息发送成功: ") + describeJson(shown ? *shown : message.data);
}

void Native2WebMessageSender::send(const Native2WebMessage& message, Completion completion) {
    if (!MainQueue::isMainThread()) {
        MainQueue::async([this, message, completion = std::move(completion)] {
            sendOnGuiThread(message, completion);
        });
        return;
    }
    sendOnGuiThread(message, completion);
}

void Native2WebMessageSender::sendOnGuiThread(const Native2WebMessage& message,
                                              const Completion& completion) {
    QWebEngineView* view = webView();
    if (view == nullptr) {
        ConsoleFormat::print(QStringLiteral("❌ WebView 未设置"));
        if (completion) {
            completion(makeError(noWebView));
        }
        return;
    }
    auto* ownPage = qobject_cast<NativeWebPage*>(view->page());
    if (ownPage != nullptr ? !ownPage->showsTrustedPage()
                           : !TrustedPageOrigins::shared().isTrustedPage(view->page()->url())) {
        ConsoleFormat::print(QStringLiteral("⚠️ 页面来源不受信任，消息未发送: ") +
                             message.type);
        if (completion) {
            completion(makeError(untrustedPage));
        }
        return;
    }
    const std::optional<QString> script = pageScript(message);
    if (!script) {
        ConsoleFormat::print(QStringLiteral("❌ 消息转换失败"));
        if (completion) {
            completion(makeError(messageNotConvertible));
        }
        return;
    }
    // The script's own lines, each a line of the console.
    ConsoleOutput::printLines(sentLine(message, *script));
    view->page()->runJavaScript(*script, [completion, message](const QVariant& result) {
        ConsoleFormat::print(deliveredLine(message));
        if (completion) {
            completion(result);
        }
    });
}

void Native2WebMessageSender::sendResponse(const QString& type,
                                           const std::optional<QString>& macrequestid,
                                           const QJsonValue& data, Completion completion) {
    if (!macrequestid) {
        return;
    }
    // The reply's own JSON rules decide: what the message could not carry, the reply cannot.
    Native2WebMessage wrapped{type, std::nullopt, QJsonObject{{QStringLiteral("data"), data}},
                              std::nullopt};
    const std::optional<QString> dataText =
        data.isUndefined() ? std::nullopt : wrapped.toJSONString();
    if (!dataText) {
        const Error error = makeError(responseNotConvertible);
        ConsoleFormat::print(QStringLiteral("❌ ") + error.message);
        if (completion) {
            if (MainQueue::isMainThread()) {
                completion(error);
            } else {
                MainQueue::async([completion, error] { completion(error); });
            }
        }
        return;
    }
    const QString json = QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("data"), data}}).toJson(QJsonDocument::Compact));
    send(Native2WebMessage{type, macrequestid, QJsonValue(json), std::nullopt},
         std::move(completion));
}

void Native2WebMessageSender::notify(const QString& type, const QJsonValue& data) {
    send(Native2WebMessage{type, std::nullopt, data, std::nullopt});
}

void Native2WebMessageSender::sendOpenNewCloudphone(int deviceId, bool previous) {
    notify(
        native2WebMessageTypeText(Native2WebMessageType::notifyOpenNewCloudphone),
        QJsonObject{{QStringLiteral("deviceId"), deviceId},
                    {QStringLiteral("type"), previous ? QStringLiteral("open-prev-cloudphone")
                                                      : QStringLiteral("open-next-cloudphone")}});
}

void Native2WebMessageSender::sendBatchControlStatus(int status) {
    notify(native2WebMessageTypeText(Native2WebMessageType::batchControlStatus),
           QJsonObject{{QStringLiteral("status"), status}});
}

void Native2WebMessageSender::sendTokenAuthFail(const QString& deviceId) {
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    bool ok = false;
    const qint64 id = decimal.match(deviceId).hasMatch() ? deviceId.toLongLong(&ok) : 0;
    if (!ok) {
        KXLog(QStringLiteral("❌ SDK token 鉴权失败消息的 deviceId 无效: ") + deviceId, LogTag::web,
              LogLevel::error);
        return;
    }
    notify(native2WebMessageTypeText(Native2WebMessageType::responseTokenAuthFail), QJsonArray{id});
}

void Native2WebMessageSender::sendBatchResponsePreview(qint64 deviceId, int rotation) {
    notify(native2WebMessageTypeText(Native2WebMessageType::batchResponsePreview),
           QJsonObject{{QStringLiteral("deviceId"), deviceId},
                       {QStringLiteral("rotation"), rotation}});
}

void Native2WebMessageSender::sendMacGetResponse(const QJsonValue& value, const QString& requestId,
                                                 QStringView settingKey) {
    const auto data = [&requestId](const QJsonValue& shown) {
        return QJsonObject{{QStringLiteral("requestid"), requestId},
                           {QStringLiteral("value"), shown}};
    };
    // Only the caller knows the key: the reply does not carry it.
    const bool hidden = LogRedaction::isHiddenKey(settingKey);
    send(Native2WebMessage{
        native2WebMessageTypeText(Native2WebMessageType::responseMacGet), std::nullopt, data(value),
        std::nullopt,
        hidden ? std::optional<QJsonValue>(data(LogRedaction::hiddenValue(value))) : std::nullopt});
}
