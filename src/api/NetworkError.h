#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Why an API call failed. Its description is the text callers show in alerts and logs.
class NetworkError {
public:
    enum class Kind {
        networkError,
        serverError,
        apiError,
        decodingError,
        invalidResponse,
        noData,
        unknown,
    };

    // No HTTP response at all; `underlying` is the transport's own failure.
    static NetworkError networkError(Error underlying);
    static NetworkError serverError(qint64 code, std::optional<QString> message);
    static NetworkError apiError(qint64 code, std::optional<QString> message);
    static NetworkError decodingError(Error underlying, std::optional<QByteArray> rawData);
    static NetworkError invalidResponse();
    static NetworkError noData();
    static NetworkError unknown();

    Kind kind() const { return m_kind; }
    // Server and API errors only.
    std::optional<qint64> code() const { return m_code; }
    const std::optional<QString>& message() const { return m_message; }
    // Network and decoding errors only.
    const std::optional<Error>& underlyingError() const { return m_underlying; }
    const std::optional<QByteArray>& rawData() const { return m_rawData; }

    QString errorDescription() const;

    bool operator==(const NetworkError&) const = default;

private:
    explicit NetworkError(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    std::optional<qint64> m_code;
    std::optional<QString> m_message;
    std::optional<Error> m_underlying;
    std::optional<QByteArray> m_rawData;
};
