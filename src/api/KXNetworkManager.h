#pragma once

#include "api/APIReply.h"
#include "api/CustomInterceptor.h"
#include "api/ResponseParser.h"
#include "api/UserCredentials.h"
#include "api/XDYGlobalAPI.h"

#include <QObject>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// The client of the service's HTTPS API. Requests may start on any thread; their parameters
// (and so the signed-in user) are read there, and completions always run on the thread the
// manager lives on, the GUI thread, exactly once. No request is cancelled or queued.
class KXNetworkManager : public QObject {
    Q_OBJECT

public:
    struct Configuration {
        QUrl apiBaseUrl = XDYGlobalAPI::defaultBaseUrl();
        // Longest wait for the next bytes, and for a whole attempt.
        std::chrono::milliseconds requestTimeout = std::chrono::seconds(30);
        std::chrono::milliseconds resourceTimeout = std::chrono::seconds(30);
        std::chrono::milliseconds retryDelay = std::chrono::seconds(1);
    };

    template <typename T>
    using Completion = std::function<void(Result<T, NetworkError>)>;

    // Created on first use, on the GUI thread's side, and kept for the whole run. It names the
    // user of CDYUserTool's saved record unless another provider is set.
    static KXNetworkManager& shared();

    KXNetworkManager();
    explicit KXNetworkManager(Configuration configuration, UserCredentialsProvider credentials = {},
                              QObject* parent = nullptr);
    ~KXNetworkManager() override;

    void setUserCredentialsProvider(UserCredentialsProvider credentials);

    template <JsonRecord T>
    void request(const XDYGlobalAPI& endpoint,
                 const std::optional<ResponseParsingStrategy>& strategy, Completion<T> completion) {
        ResponseParsingStrategy chosen = strategy.value_or(defaultParsingStrategy);
        const QVariantMap parameters = endpoint.parameters(credentialsProvider());
        logRequest(endpoint, parameters);
        send(endpoint, parameters,
             [chosen = std::move(chosen), completion = std::move(completion)](
                 const APIReply& reply) { completion(ResponseParser::parse<T>(reply, chosen)); });
    }

    const ResponseParsingStrategy defaultParsingStrategy = ResponseParsingStrategy::automatic();
    const bool enableDebugLog = true;

    void logRequest(const XDYGlobalAPI& endpoint, const QVariantMap& parameters) const;
    void logResponse(const APIReply& reply) const;

    // "Content-Type", "Accept-Encoding", "X-Client-Type", in this order.
    static QList<std::pair<QByteArray, QByteArray>> fixedHeaders();
    // A transport failure's text as the error carries it: "token=…" and its kin, and every other
    // credential value in it, read "***" (LogRedaction::maskedLine). Log lines are masked where
    // they are written.
    static QString maskToken(const QString& text);
    // A dictionary as log lines show it: ["key": "text", "number": 4].
    static QString printedParameters(const QVariantMap& parameters);

private:
    struct PendingRequest;
    using ReplyHandler = std::function<void(const APIReply&)>;

    void send(const XDYGlobalAPI& endpoint, const QVariantMap& parameters, ReplyHandler handler);
    void startAttempt(const std::shared_ptr<PendingRequest>& pending);
    void finishAttempt(const std::shared_ptr<PendingRequest>& pending, QNetworkReply* reply);
    APIReply collect(const std::shared_ptr<PendingRequest>& pending, QNetworkReply* reply) const;
    QNetworkAccessManager* accessManager();
    UserCredentialsProvider credentialsProvider() const;

    Configuration m_configuration;
    CustomInterceptor m_interceptor;
    QNetworkAccessManager* m_accessManager = nullptr;
    mutable std::mutex m_credentialsMutex;
    UserCredentialsProvider m_credentials;
};
