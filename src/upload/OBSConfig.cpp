#include "upload/OBSConfig.h"

#include "foundation/RecordDecoder.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {

Error decodingError(const QString& message) {
    return Error{QStringLiteral("DecodingError"), 0, message};
}

Error keyError(const QString& key, JsonPresence found, bool) {
    return decodingError(found == JsonPresence::missing
                             ? QStringLiteral("缺少键 \"%1\"").arg(key)
                             : QStringLiteral("键 \"%1\" 的类型不匹配").arg(key));
}

RecordDecoder decoderOf(QJsonObject object) {
    return RecordDecoder(std::move(object), keyError,
                         RecordDecoder::FailurePolicy::firstFailureSticks);
}

Result<OBSConfig> decodeConfig(const QJsonObject& object) {
    RecordDecoder decoder = decoderOf(object);
    OBSConfig config;
    config.cdn = decoder.optionalString(QStringLiteral("cdn"));
    config.ak = decoder.requiredString(QStringLiteral("ak"));
    config.sk = decoder.requiredString(QStringLiteral("sk"));
    config.bucket = decoder.requiredString(QStringLiteral("bucket"));
    config.endPoint = decoder.requiredString(QStringLiteral("endPoint"));
    config.token = decoder.requiredString(QStringLiteral("token"));
    config.validSecond = decoder.requiredInt64(QStringLiteral("validSecond"));
    config.expiredAt = decoder.requiredInt64(QStringLiteral("expiredAt"));
    return decoder.finish(std::move(config));
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
    RecordDecoder decoder = decoderOf(document.object());
    OBSCredentialEncryptResponse response;
    response.msg = decoder.requiredString(QStringLiteral("msg"));
    response.code = decoder.requiredInt64(QStringLiteral("code"));
    const std::optional<QJsonObject> data = decoder.optionalObject(QStringLiteral("data"));
    if (const std::optional<Error>& failure = decoder.failure()) {
        return *failure;
    }
    if (data) {
        Result<OBSConfig> config = decodeConfig(*data);
        if (!config) {
            return config.error();
        }
        response.data = std::move(config).value();
    }
    return response;
}
