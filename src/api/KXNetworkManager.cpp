#include "api/KXNetworkManager.h"

#include "api/CDYUserTool.h"
#include "api/ContentDecoding.h"
#include "foundation/logging/LogRedaction.h"
#include "foundation/text/StrictUtf8.h"

#include "foundation/logging/KXLog.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

struct KXNetworkManager::PendingRequest {
    QNetworkRequest request;
    QByteArray method;
    int retryCount = 0;
    ReplyHandler handler;
};

namespace {

const char* const kTimedOutProperty = "kxTimedOut";

void logLine(const QString& line) {
    KXLog(line, LogTag::network, LogLevel::info);
}

QString quoted(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// What the platform would say about a failure that left no HTTP response.
QString transportFailureText(QNetworkReply::NetworkError error, bool timedOut,
                             const QString& fallback) {
    if (timedOut) {
        return QStringLiteral("请求超时。");
    }
    switch (error) {
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::TimeoutError:
            return QStringLiteral("请求超时。");
        case QNetworkReply::ConnectionRefusedError:
            return QStringLiteral("未能连接到服务器。");
        case QNetworkReply::HostNotFoundError:
            return QStringLiteral("未能找到使用指定主机名的服务器。");
        case QNetworkReply::RemoteHostClosedError:
            return QStringLiteral("网络连接已中断。");
        case QNetworkReply::SslHandshakeFailedError:
            return QStringLiteral("发生了 SSL 错误，无法建立与该服务器的安全连接。");
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::UnknownNetworkError:
            return QStringLiteral("似乎已断开与互联网的连接。");
        default:
            break;
    }
    return KXNetworkManager::maskToken(fallback);
}

}  // namespace

KXNetworkManager& KXNetworkManager::shared() {
    static KXNetworkManager* const instance = [] {
        auto* manager = new KXNetworkManager(
            Configuration{}, [] { return CDYUserTool::shared().currentCredentials(); });
        // Replies are delivered where the manager lives, so it must live on the GUI thread even
        // when a worker asks for it first.
        if (QCoreApplication* app = QCoreApplication::instance();
            app && manager->thread() != app->thread()) {
            manager->moveToThread(app->thread());
        }
        return manager;
    }();
    return *instance;
}

KXNetworkManager::KXNetworkManager() : KXNetworkManager(Configuration{}) {}

KXNetworkManager::KXNetworkManager(Configuration configuration, UserCredentialsProvider credentials,
                                   QObject* parent)
    : QObject(parent),
      m_configuration(std::move(configuration)),
      m_interceptor(m_configuration.retryDelay),
      m_credentials(std::move(credentials)) {}

KXNetworkManager::~KXNetworkManager() = default;

void KXNetworkManager::setUserCredentialsProvider(UserCredentialsProvider credentials) {
    std::lock_guard lock(m_credentialsMutex);
    m_credentials = std::move(credentials);
}

UserCredentialsProvider KXNetworkManager::credentialsProvider() const {
    std::lock_guard lock(m_credentialsMutex);
    return m_credentials;
}

QList<std::pair<QByteArray, QByteArray>> KXNetworkManager::fixedHeaders() {
    return {{"Content-Type", "multipart/form-data"},
            {"Accept-Encoding", "gzip,deflate"},
            {"X-Client-Type", "MAC"}};
}

QString KXNetworkManager::maskToken(const QString& text) {
    return LogRedaction::maskedLine(text);
}

QString KXNetworkManager::printedParameters(const QVariantMap& parameters) {
    if (parameters.isEmpty()) {
        return QStringLiteral("[:]");
    }
    QStringList entries;
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it) {
        QString value = it.value().toString();
        if (LogRedaction::isHiddenKey(it.key()) && !value.isEmpty()) {
            value = quoted(LogRedaction::mask());
        } else if (it.value().typeId() == QMetaType::QString) {
            value = quoted(value);
        }
        entries << quoted(it.key()) + QStringLiteral(": ") + value;
    }
    return QLatin1Char('[') + entries.join(QStringLiteral(", ")) + QLatin1Char(']');
}

void KXNetworkManager::logRequest(const XDYGlobalAPI& endpoint,
                                  const QVariantMap& parameters) const {
    if (!enableDebugLog) {
        return;
    }
    QStringList headers;
    for (const auto& [name, value] : fixedHeaders()) {
        headers << quoted(QString::fromLatin1(name)) + QStringLiteral(": ") +
                       quoted(QString::fromLatin1(value));
    }
    logLine(QStringLiteral("🌐 ============ 网络请求 ============"));
    logLine(QStringLiteral("📍 URL: ") + endpoint.url(m_configuration.apiBaseUrl).toString());
    logLine(QStringLiteral("🔧 Method: ") + QString::fromLatin1(endpoint.method()));
    logLine(QStringLiteral("📦 Parameters: ") + printedParameters(parameters));
    logLine(QStringLiteral("📋 Headers: [") + headers.join(QStringLiteral(", ")) + QLatin1Char(']'));
    logLine(QString(36, QLatin1Char('=')));
}

void KXNetworkManager::logResponse(const APIReply& reply) const {
    if (!enableDebugLog) {
        return;
    }
    logLine(QStringLiteral("📥 ============ 网络响应 ============"));
    logLine(QStringLiteral("📍 URL: ") + (reply.requestUrl.isEmpty()
                                             ? QStringLiteral("N/A")
                                             : QString::fromUtf8(reply.requestUrl.toEncoded())));
    logLine(QStringLiteral("📊 Status Code: ") + QString::number(reply.statusCode.value_or(0)));
    if (reply.body && !reply.body->isEmpty()) {
        if (const std::optional<QString> body = strictUtf8(*reply.body)) {
            logLine(QStringLiteral("📄 Response Body: ") + *body);
        }
    }
    if (reply.error) {
        logLine(QStringLiteral("❌ Error: ") + reply.error->message);
    }
    logLine(QString(36, QLatin1Char('=')));
}

void KXNetworkManager::send(const XDYGlobalAPI& endpoint, const QVariantMap& parameters,
                            ReplyHandler handler) {
    auto pending = std::make_shared<PendingRequest>();
    pending->request.setUrl(
        XDYGlobalAPI::urlWithQuery(endpoint.url(m_configuration.apiBaseUrl), parameters));
    for (const auto& [name, value] : fixedHeaders()) {
        pending->request.setRawHeader(name, value);
    }
    pending->request.setTransferTimeout(static_cast<int>(m_configuration.requestTimeout.count()));
    pending->method = endpoint.method();
    pending->handler = std::move(handler);
    // Always queued: the caller may be any thread, and its own work finishes first.
    QMetaObject::invokeMethod(
        this, [this, pending] { startAttempt(pending); }, Qt::QueuedConnection);
}

QNetworkAccessManager* KXNetworkManager::accessManager() {
    if (!m_accessManager) {
        m_accessManager = new QNetworkAccessManager(this);
    }
    return m_accessManager;
}

void KXNetworkManager::startAttempt(const std::shared_ptr<PendingRequest>& pending) {
    const Result<QNetworkRequest> adapted = m_interceptor.adapt(pending->request);
    if (!adapted) {
        APIReply failed{pending->request.url(), std::nullopt, std::nullopt, adapted.error()};
        logResponse(failed);
        pending->handler(failed);
        return;
    }
    QNetworkReply* reply = pending->method == "GET"
                               ? accessManager()->get(adapted.value())
                               : accessManager()->post(adapted.value(), QByteArray());
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [reply] {
        reply->setProperty(kTimedOutProperty, true);
        reply->abort();
    });
    deadline->start(m_configuration.resourceTimeout);
    connect(reply, &QNetworkReply::finished, this,
            [this, pending, reply] { finishAttempt(pending, reply); });
}

void KXNetworkManager::finishAttempt(const std::shared_ptr<PendingRequest>& pending,
                                     QNetworkReply* reply) {
    reply->deleteLater();
    const APIReply result = collect(pending, reply);
    if (result.error) {
        const CustomInterceptor::RetryDecision decision =
            m_interceptor.retry(result.statusCode, pending->retryCount);
        if (decision.retry) {
            ++pending->retryCount;
            QTimer::singleShot(decision.delay, this, [this, pending] { startAttempt(pending); });
            return;
        }
    }
    logResponse(result);
    pending->handler(result);
}

APIReply KXNetworkManager::collect(const std::shared_ptr<PendingRequest>& pending,
                                   QNetworkReply* reply) const {
    APIReply result;
    result.requestUrl = pending->request.url();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool timedOut = reply->property(kTimedOutProperty).toBool();
    if (!status.isValid()) {
        result.error = Error{QStringLiteral("QNetworkReply"), static_cast<int>(reply->error()),
                             transportFailureText(reply->error(), timedOut, reply->errorString())};
        return result;
    }
    const int code = status.toInt();
    result.statusCode = code;
    const QByteArray raw = reply->readAll();
    // A reply cut short after its headers is no usable body, whatever its status.
    const bool broken =
        reply->error() != QNetworkReply::NoError && CustomInterceptor::validate(code);
    if (broken) {
        result.error = Error{QStringLiteral("QNetworkReply"), static_cast<int>(reply->error()),
                             transportFailureText(reply->error(), timedOut, reply->errorString())};
        return result;
    }
    Result<QByteArray> body = decodeContent(reply->rawHeader("Content-Encoding"), raw);
    if (!body) {
        result.error = body.error();
        return result;
    }
    result.body = std::move(body).value();
    if (!CustomInterceptor::validate(code)) {
        result.error = Error{QStringLiteral("ResponseValidation"), code,
                             QStringLiteral("响应状态码不可接受: %1").arg(code)};
    } else if (result.body->isEmpty() && code != 204 && code != 205) {
        // Only "no content" replies may be empty.
        result.error =
            Error{QStringLiteral("ResponseSerialization"), code, QStringLiteral("响应数据为空")};
    }
    return result;
}
