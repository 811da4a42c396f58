#pragma once

#include "api/APIReply.h"
#include "api/EmptyResponse.h"
#include "api/KXAPIResponse.h"
#include "api/NetworkError.h"
#include "api/ResponseParsingStrategy.h"

#include "foundation/logging/KXLog.h"

// Turns a finished reply into the caller's value or exactly one NetworkError.
class ResponseParser {
public:
    template <JsonRecord T>
    static Result<T, NetworkError> parse(const APIReply& reply,
                                         const ResponseParsingStrategy& strategy) {
        if (!reply.succeeded()) {
            return mapTransportFailure(reply);
        }
        return parseBody<T>(*reply.body, strategy);
    }

    template <JsonRecord T>
    static Result<T, NetworkError> parseBody(const QByteArray& bytes,
                                             const ResponseParsingStrategy& strategy) {
        switch (strategy.kind()) {
            case ResponseParsingStrategy::Kind::custom:
                return parseCustom<T>(bytes, strategy.customParser());
            case ResponseParsingStrategy::Kind::automatic:
                return parseAutomatic<T>(bytes);
            case ResponseParsingStrategy::Kind::wrapped:
                return parseWrapped<T>(bytes);
            case ResponseParsingStrategy::Kind::direct:
                break;
        }
        Result<T> value = decode<T>(bytes);
        if (!value) {
            return NetworkError::decodingError(value.error(), bytes);
        }
        return std::move(value).value();
    }

    // The request failed: no connection, a time-out, a rejected status or an unusable reply.
    static NetworkError mapTransportFailure(const APIReply& reply);

    template <JsonRecord T>
    static Result<T> decode(const QByteArray& bytes) {
        const Result<QJsonValue> json = parseJson(bytes);
        if (!json) {
            return json.error();
        }
        return T::fromJson(json.value(), {});
    }

    // The reply's JSON value, any top-level value allowed, with every object key converted from
    // snake case to camel case as the service's replies are read.
    static Result<QJsonValue> parseJson(const QByteArray& bytes);
    static QString convertFromSnakeCase(const QString& key);

private:
    template <JsonRecord T>
    static Result<T, NetworkError> parseWrapped(const QByteArray& bytes) {
        Result<KXAPIResponse<T>> envelope = decode<KXAPIResponse<T>>(bytes);
        if (!envelope) {
            return NetworkError::decodingError(envelope.error(), bytes);
        }
        return unwrap(std::move(envelope).value(), false);
    }

    template <JsonRecord T>
    static Result<T, NetworkError> parseAutomatic(const QByteArray& bytes) {
        Result<T> direct = decode<T>(bytes);
        if (direct) {
            log(QStringLiteral("✅ 直接解析成功"));
            return std::move(direct).value();
        }
        Result<KXAPIResponse<T>> envelope = decode<KXAPIResponse<T>>(bytes);
        if (!envelope) {
            log(QStringLiteral("❌ 所有解析尝试都失败"));
            return NetworkError::decodingError(envelope.error(), bytes);
        }
        return unwrap(std::move(envelope).value(), true);
    }

    template <JsonRecord T>
    static Result<T, NetworkError> unwrap(KXAPIResponse<T> envelope, bool logged) {
        if (envelope.isSuccess()) {
            if (envelope.data) {
                logIf(logged, QStringLiteral("✅ 包装格式解析成功"));
                return std::move(*envelope.data);
            }
            logIf(logged, QStringLiteral("⚠️ 包装格式解析成功但数据为空"));
            return NetworkError::noData();
        }
        logIf(logged, QStringLiteral("❌ API返回错误"));
        return NetworkError::apiError(envelope.code.value_or(-1),
                                      envelope.msg.value_or(QStringLiteral("未知错误")));
    }

    template <JsonRecord T>
    static Result<T, NetworkError> parseCustom(
        const QByteArray& bytes, const ResponseParsingStrategy::CustomParser& parser) {
        Result<std::any> parsed =
            parser
                ? parser(bytes)
                : Result<std::any>(Error{DecodingError::domain, 0, QStringLiteral("没有解析函数")});
        if (!parsed) {
            return NetworkError::decodingError(parsed.error(), bytes);
        }
        if (T* value = std::any_cast<T>(&parsed.value())) {
            return std::move(*value);
        }
        return NetworkError::invalidResponse();
    }

    static void log(const QString& line) { KXLog(line, LogTag::network, LogLevel::info); }
    static void logIf(bool enabled, const QString& line) {
        if (enabled) {
            log(line);
        }
    }
};
