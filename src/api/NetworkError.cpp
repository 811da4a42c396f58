#include "api/NetworkError.h"

#include "foundation/text/StrictUtf8.h"

NetworkError NetworkError::networkError(Error underlying) {
    NetworkError error(Kind::networkError);
    error.m_underlying = std::move(underlying);
    return error;
}

NetworkError NetworkError::serverError(qint64 code, std::optional<QString> message) {
    NetworkError error(Kind::serverError);
    error.m_code = code;
    error.m_message = std::move(message);
    return error;
}

NetworkError NetworkError::apiError(qint64 code, std::optional<QString> message) {
    NetworkError error(Kind::apiError);
    error.m_code = code;
    error.m_message = std::move(message);
    return error;
}

NetworkError NetworkError::decodingError(Error underlying, std::optional<QByteArray> rawData) {
    NetworkError error(Kind::decodingError);
    error.m_underlying = std::move(underlying);
    error.m_rawData = std::move(rawData);
    return error;
}

NetworkError NetworkError::invalidResponse() {
    return NetworkError(Kind::invalidResponse);
}

NetworkError NetworkError::noData() {
    return NetworkError(Kind::noData);
}

NetworkError NetworkError::unknown() {
    return NetworkError(Kind::unknown);
}

QString NetworkError::errorDescription() const {
    const QString code = QString::number(m_code.value_or(0));
    switch (m_kind) {
        case Kind::networkError:
            return QStringLiteral("网络错误: ") + m_underlying.value_or(Error{}).message;
        case Kind::serverError:
            return QStringLiteral("服务器错误 (") + code + QStringLiteral("): ") +
                   m_message.value_or(QStringLiteral("未知服务器错误"));
        case Kind::apiError:
            return QStringLiteral("请求错误 (") + code + QStringLiteral("): ") +
                   m_message.value_or(QStringLiteral("未知错误"));
        case Kind::decodingError: {
            QString text =
                QStringLiteral("数据解析错误: ") + m_underlying.value_or(Error{}).message;
            if (m_rawData) {
                if (const std::optional<QString> raw = strictUtf8(*m_rawData)) {
                    text += QStringLiteral("\n原始数据: ") + *raw;
                }
            }
            return text;
        }
        case Kind::invalidResponse:
            return QStringLiteral("无效的响应");
        case Kind::noData:
            return QStringLiteral("没有数据");
        case Kind::unknown:
            break;
    }
    return QStringLiteral("未知错误");
}
