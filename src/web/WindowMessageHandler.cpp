#include "web/WindowMessageHandler.h"

#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/KXLog.h"
#include "web/ClientUpdateRequester.h"
#include "web/JsonDescription.h"
#include "web/Native2WebMessageSender.h"
#include "web/Native2WebMessageType.h"
#include "web/PopupWindowOpener.h"
#include "web/Web2NativeMessageType.h"
#include "web/WebContentService.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

using Type = Web2NativeMessageType;

namespace {

void print(const QString& line) {
    ConsoleOutput::print(line);
}

QString textOf(const QJsonValue& data, const QString& key) {
    return data.toObject().value(key).toString();
}

bool hasText(const QJsonValue& data, const QString& key) {
    return data.toObject().value(key).isString();
}

// A positive finite size from the page, else the fallback.
double sizeOf(const QJsonValue& data, const QString& key, double fallback) {
    const QJsonValue value = data.toObject().value(key);
    if (!value.isDouble() || !std::isfinite(value.toDouble()) || value.toDouble() <= 0) {
        return fallback;
    }
    return value.toDouble();
}

}  // namespace

WindowMessageHandler::Environment WindowMessageHandler::Environment::shared() {
    Environment environment;
    environment.sender = &Native2WebMessageSender::shared();
    environment.notifications = &NotificationCenter::defaultCenter();
    environment.openDeviceIDs = [] {
        QList<qint64> ids;
        for (const AspectRatioWindowController* window : WindowManager::shared().windows()) {
            ids << window->deviceID();
        }
        return ids;
    };
    environment.openURL = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    environment.chooseDocumentsFolder = &WindowMessageHandler::chooseFolderWithDialog;
    environment.uploadEnvironment = &PageUploadFlow::Environment::shared;
    return environment;
}

WindowMessageHandler::WindowMessageHandler(Environment environment)
    : m_environment(std::move(environment)) {}

WindowMessageHandler::~WindowMessageHandler() = default;

PageUploadFlow& WindowMessageHandler::uploadFlow() {
    if (!m_uploadFlow) {
        m_uploadFlow = std::make_unique<PageUploadFlow>(m_environment.uploadEnvironment());
    }
    return *m_uploadFlow;
}

void WindowMessageHandler::handle(const Web2NativeMessage& message) {
    const std::optional<Type> type = web2NativeMessageTypeFromText(message.type);
    if (!type) {
        return;
    }
    const QJsonValue& data = message.data;
    switch (*type) {
        case Type::repairWebContent:
            return repairWebContent();
        case Type::windowMin:
            return print(QStringLiteral("🔽 最小化窗口"));
        case Type::windowMax:
            return print(QStringLiteral("🔼 最大化窗口"));
        case Type::windowNormal:
            return print(QStringLiteral("↔️ 恢复窗口"));
        case Type::windowClose:
            return print(hasText(data, QStringLiteral("windowId"))
                             ? QStringLiteral("❌ 关闭窗口: ") +
                                   textOf(data, QStringLiteral("windowId"))
                             : QStringLiteral("❌ 关闭窗口"));
        case Type::changeWndSize: {
            const std::optional<qint64> width = message.intValue(QStringLiteral("width"));
            const std::optional<qint64> height = message.intValue(QStringLiteral("height"));
            if (width && height) {
                print(QStringLiteral("📏 改变窗口大小: ") + QString::number(*width) +
                      QStringLiteral(" x ") + QString::number(*height));
            }
            return;
        }
        case Type::shieldTitleDblClick:
            return print(QStringLiteral("屏蔽标题栏双击"));
        case Type::requestHasOpenPrev:
            return answerOpenDevices(message);
        case Type::requestCanOpenPrev:
            m_environment.sender->send(
                Native2WebMessage{message.type, message.macrequestid, true, std::nullopt});
            return;
        case Type::requestCanOpenMaxPrev:
            if (message.macrequestid) {
                m_environment.sender->send(Native2WebMessage{message.type, message.macrequestid,
                                                             kMaximumOpenPreviews, std::nullopt});
            }
            return;
        case Type::showWindFrame:
            KXLog(describeMessage(message), LogTag::web, LogLevel::info);
            return;
        case Type::startUpdate:
        case Type::downloadUpdate:
            print(describeMessage(message));
            if (ClientUpdateRequester* requester = ClientUpdateRequester::installed()) {
                requester->requestManualUpdateCheck();
            }
            return;
        case Type::openUpload: {
            uploadFlow().manager().clearSelectedFiles();
            const std::weak_ptr<int> alive = m_alive;
            MainQueue::async([this, alive] {
                if (!alive.expired()) {
                    uploadFlow().showUploadFilePanel();
                }
            });
            return;
        }
        case Type::startUpload:
            if (!uploadFlow().manager().selectedFiles().isEmpty()) {
                uploadFlow().startSelectedUploads();
            }
            return;
        case Type::closeUpload:
            return uploadFlow().manager().clearQueue();
        case Type::requestUploadDelItem:
            print(describeMessage(message));
            if (hasText(data, QStringLiteral("uuid"))) {
                uploadFlow().manager().cancelTask(textOf(data, QStringLiteral("uuid")));
            }
            return;
        case Type::requestFileURLIsExist:
            return answerFileExists(message);
        case Type::openBrowser:
            return openBrowser(message);
        case Type::requestOpenNewWindow:
            return openPopupWindow(message);
        case Type::fromChildToMain:
            return relay(message, true);
        case Type::fromMainToChild:
            return relay(message, false);
        default:
            return;
    }
}

void WindowMessageHandler::answerOpenDevices(const Web2NativeMessage& message) {
    if (!message.macrequestid) {
        return;
    }
    QJsonArray ids;
    for (const qint64 id : m_environment.openDeviceIDs()) {
        if (id > 0) {
            ids.append(QString::number(id));
        }
    }
    m_environment.sender->sendResponse(message.type, message.macrequestid, ids);
}

void WindowMessageHandler::answerFileExists(const Web2NativeMessage& message) {
    if (!hasText(message.data, QStringLiteral("requestId")) ||
        !hasText(message.data, QStringLiteral("url"))) {
        return;
    }
    print(describeMessage(message));
    m_environment.sender->send(Native2WebMessage{
        native2WebMessageTypeText(Native2WebMessageType::responseFileURLIsExist), std::nullopt,
        QJsonObject{
            {QStringLiteral("requestId"), textOf(message.data, QStringLiteral("requestId"))},
            {QStringLiteral("isexist"), true}},
        std::nullopt});
}

std::optional<QUrl> WindowMessageHandler::browsableURL(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    const QString scheme = url.scheme().toLower();
    if ((scheme == QStringLiteral("http") || scheme == QStringLiteral("https")) &&
        !url.host().isEmpty()) {
        return url;
    }
    if (scheme == QStringLiteral("mailto") && !url.path().isEmpty()) {
        return url;
    }
    return std::nullopt;
}

void WindowMessageHandler::openBrowser(const Web2NativeMessage& message) {
    const std::optional<QUrl> url = hasText(message.data, QStringLiteral("url"))
                                        ? browsableURL(textOf(message.data, QStringLiteral("url")))
                                        : std::nullopt;
    if (!url) {
        print(QStringLiteral("❌ openBrowser 参数不完整"));
        return;
    }
    m_environment.openURL(*url);
}

QString WindowMessageHandler::popupRoute(const QString& localFilePath) {
    QString route = localFilePath;
    const qsizetype hash = route.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        route = route.mid(hash + 1);
        const qsizetype next = route.indexOf(QLatin1Char('#'));
        if (next >= 0) {
            route.truncate(next);
        }
    }
    const qsizetype query = route.indexOf(QLatin1Char('?'));
    if (query >= 0) {
        route.truncate(query);
    }
    return route;
}

void WindowMessageHandler::openPopupWindow(const Web2NativeMessage& message) {
    WebContentService* webContent = WebContentService::installed();
    const std::optional<QString> entry =
        webContent ? webContent->activeEntryFilePath() : std::nullopt;
    if (!entry) {
        print(QStringLiteral("❌ 无法获取 HTML 路径"));
        return;
    }
    const QJsonValue& data = message.data;
    if (!hasText(data, QStringLiteral("urlSuffix"))) {
        return;
    }
    PopupWindowRequest request;
    request.title = textOf(data, QStringLiteral("windowId"));
    request.width = sizeOf(data, QStringLiteral("width"), 800);
    request.height = sizeOf(data, QStringLiteral("height"), 600);
    // The plain path: whoever turns it into an address encodes it once.
    request.localFilePath = *entry + textOf(data, QStringLiteral("urlSuffix"));
    if (PopupWindowOpener* popups = PopupWindowOpener::installed()) {
        popups->openOrFocusPopup(popupRoute(request.localFilePath), request);
    }
}

void WindowMessageHandler::relay(const Web2NativeMessage& message, bool toMain) {
    print((toMain ? QStringLiteral("收到：fromChildToMain ")
                  : QStringLiteral("收到：fromMainToChild ")) +
          describeMessage(message));
    m_environment.notifications->post(
        toMain ? NotificationNames::childToMainMessage : NotificationNames::mainToChildMessage,
        nullptr, message.toDictionary().toVariantMap());
}
