#include "api/ResponseParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

QJsonValue convertKeys(const QJsonValue& value) {
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue& element : value.toArray()) {
            array.append(convertKeys(element));
        }
        return array;
    }
    if (!value.isObject()) {
        return value;
    }
    const QJsonObject source = value.toObject();
    QJsonObject converted;
    for (auto it = source.constBegin(); it != source.constEnd(); ++it) {
        const QString key = ResponseParser::convertFromSnakeCase(it.key());
        // A key that is already camel case wins over a snake-case spelling of the same name.
        if (key != it.key() && source.contains(key)) {
            continue;
        }
        converted.insert(key, convertKeys(it.value()));
    }
    return converted;
}

}  // namespace

NetworkError ResponseParser::mapTransportFailure(const APIReply& reply) {
    if (!reply.statusCode) {
        return NetworkError::networkError(reply.error.value_or(
            Error{QStringLiteral("NetworkError"), 0, QStringLiteral("未知错误")}));
    }
    const int status = *reply.statusCode;
    if (status >= 500) {
        return NetworkError::serverError(status, QStringLiteral("服务器错误"));
    }
    if (!reply.body || reply.body->isEmpty()) {
        return NetworkError::serverError(status, QStringLiteral("请求失败"));
    }
    const Result<KXAPIResponse<EmptyResponse>> envelope =
        decode<KXAPIResponse<EmptyResponse>>(*reply.body);
    if (!envelope) {
        return NetworkError::serverError(status, QStringLiteral("请求失败"));
    }
    return NetworkError::apiError(envelope.value().code.value_or(status), envelope.value().msg);
}

Result<QJsonValue> ResponseParser::parseJson(const QByteArray& bytes) {
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    QJsonValue value;
    if (error.error == QJsonParseError::NoError) {
        value = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    } else {
        // A lone number, text, boolean or null is a whole JSON text too; wrapping it in an array
        // lets the document parser read it without accepting anything more.
        QJsonParseError wrappedError{};
        document = QJsonDocument::fromJson('[' + bytes + ']', &wrappedError);
        if (wrappedError.error != QJsonParseError::NoError || document.array().size() != 1 ||
            document.array().at(0).isArray() || document.array().at(0).isObject()) {
            return DecodingError::make(DecodingError::dataCorrupted, {},
                                       QStringLiteral("不是有效的 JSON (%1, 位置 %2)")
                                           .arg(error.errorString())
                                           .arg(error.offset));
        }
        value = document.array().at(0);
    }
    return convertKeys(value);
}

QString ResponseParser::convertFromSnakeCase(const QString& key) {
    const qsizetype first = [&] {
        qsizetype i = 0;
        while (i < key.size() && key.at(i) == QLatin1Char('_')) {
            ++i;
        }
        return i;
    }();
    if (first == key.size()) {
        return key;
    }
    qsizetype last = key.size() - 1;
    while (last > first && key.at(last) == QLatin1Char('_')) {
        --last;
    }
    const QString core = key.mid(first, last - first + 1);
    const QStringList words = core.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    if (words.size() <= 1) {
        return key;
    }
    QString camel = words.first().toLower();
    for (qsizetype i = 1; i < words.size(); ++i) {
        camel += words.at(i).left(1).toUpper() + words.at(i).mid(1).toLower();
    }
    return key.left(first) + camel + key.mid(last + 1);
}
