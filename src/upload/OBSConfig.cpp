#include "upload/OBSConfig.h"

#include "foundation/JsonReader.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {

Error decodingError(const QString& message) {
    return Error{QStringLiteral("DecodingError"), 0, message};
}

template <typename T>
bool take(const JsonField<T>& field, const QString& key, T& into, QString& failure) {
    if (!field.hasValue()) {
        failure = field.isMissing() ? QStringLiteral("缺少键 \"%1\"").arg(key)
                                    : QStringLiteral("键 \"%1\" 的类型不匹配").arg(key);
        return false;
    }
    into = field.value();
    return true;
}

std::optional<OBSConfig> decodeConfig(const JsonReader& reader, QString& failure) {
    OBSConfig config;
    const JsonField<QString> cdn = reader.string(QStringLiteral("cdn"));
    if (cdn.isWrongType()) {
        failure = QStringLiteral("键 \"cdn\" 的类型不匹配");
        return std::nullopt;
    }
    config.cdn = cdn.optional();
    const bool ok =
        take(reader.string(QStringLiteral("ak")), QStringLiteral("ak"), config.ak, failure) &&
        take(reader.string(QStringLiteral("sk")), QStringLiteral("sk"), config.sk, failure) &&
        take(reader.string(QStringLiteral("bucket")), QStringLiteral("bucket"), config.bucket,
             failure) &&
        take(reader.string(QStringLiteral("endPoint")), QStringLiteral("endPoint"), config.endPoint,
             failure) &&
        take(reader.string(QStringLiteral("token")), QStringLiteral("token"), config.token,
             failure) &&
        take(reader.int64(QStringLiteral("validSecond")), QStringLiteral("validSecond"),
             config.validSecond, failure) &&
        take(reader.int64(QStringLiteral("expiredAt")), QStringLiteral("expiredAt"),
             config.expiredAt, failure);
    if (!ok) {
        return std::nullopt;
    }
    return config;
}

}  // namespace

Result<OBSCredentialEncryptResponse> OBSCredentialEncryptResponse::decode(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return decodingError(
            parseError.error != QJsonParseError::NoError
                ? QStringLiteral("数据格式不正确: %1").arg(parseError.errorString())
                : QStringLiteral("数据格式不正确"));
    }
    const JsonReader reader(document.object());
    OBSCredentialEncryptResponse response;
    QString failure;
    if (!take(reader.string(QStringLiteral("msg")), QStringLiteral("msg"), response.msg, failure) ||
        !take(reader.int64(QStringLiteral("code")), QStringLiteral("code"), response.code,
              failure)) {
        return decodingError(failure);
    }
    const JsonField<QJsonObject> data = reader.object(QStringLiteral("data"));
    if (data.isWrongType()) {
        return decodingError(QStringLiteral("键 \"data\" 的类型不匹配"));
    }
    if (data.hasValue()) {
        response.data = decodeConfig(JsonReader(data.value()), failure);
        if (!response.data) {
            return decodingError(failure);
        }
    }
    return response;
}
