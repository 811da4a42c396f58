#include "keymapping/KMPFile.h"

#include "foundation/RecordDecoder.h"

namespace {

std::optional<LogicPoint> decodeLogicPoint(RecordDecoder& owner, const QString& key) {
    const std::optional<QJsonObject> object = owner.optionalObject(key);
    if (!object) {
        return std::nullopt;
    }
    RecordDecoder decoder(*object, QStringLiteral("LogicPoint"));
    const LogicPoint point{decoder.requiredNumber(QStringLiteral("x")),
                           decoder.requiredNumber(QStringLiteral("y"))};
    if (decoder.failure()) {
        owner.adopt(*decoder.failure());
        return std::nullopt;
    }
    return point;
}

std::optional<QList<LogicTimingPoint>> decodeCurve(RecordDecoder& owner) {
    const std::optional<QJsonArray> array = owner.optionalArray(QStringLiteral("curve"));
    if (!array) {
        return std::nullopt;
    }
    QList<LogicTimingPoint> curve;
    for (const QJsonValue& value : *array) {
        if (!value.isObject()) {
            owner.fail(QStringLiteral("a point of \"curve\" is not an object"));
            return std::nullopt;
        }
        RecordDecoder decoder(value.toObject(), QStringLiteral("LogicTimingPoint"));
        curve.append({decoder.requiredNumber(QStringLiteral("x")),
                      decoder.requiredNumber(QStringLiteral("y")),
                      decoder.optionalNumber(QStringLiteral("timing"))});
        if (decoder.failure()) {
            owner.adopt(*decoder.failure());
            return std::nullopt;
        }
    }
    return curve;
}

Result<WindowsKeyboardMappingData> decodeData(const QJsonObject& object) {
    // Every key may be missing, but one of the wrong type spoils the whole file.
    RecordDecoder decoder(object, QStringLiteral("WindowsKeyboardMappingData"));
    WindowsKeyboardMappingData data;
    data.key = decoder.optionalInt(QStringLiteral("key"));
    data.secondKey = decoder.optionalInt(QStringLiteral("secondKey"));
    data.point = decodeLogicPoint(decoder, QStringLiteral("point"));
    data.origin = decodeLogicPoint(decoder, QStringLiteral("origin"));
    data.curve = decodeCurve(decoder);
    data.leftKey = decoder.optionalInt(QStringLiteral("leftKey"));
    data.upKey = decoder.optionalInt(QStringLiteral("upKey"));
    data.rightKey = decoder.optionalInt(QStringLiteral("rightKey"));
    data.downKey = decoder.optionalInt(QStringLiteral("downKey"));
    data.description = decoder.optionalString(QStringLiteral("description"));
    data.moreDescription = decoder.optionalString(QStringLiteral("moreDescription"));
    data.radius = decoder.optionalNumber(QStringLiteral("radius"));
    data.mode = decoder.optionalInt(QStringLiteral("mode"));
    data.sensitivity = decoder.optionalNumber(QStringLiteral("sensitivity"));
    data.sensitivityY = decoder.optionalNumber(QStringLiteral("sensitivity_y"));
    data.sensitivityExX = decoder.optionalNumber(QStringLiteral("sensitivityex_x"));
    data.sensitivityExY = decoder.optionalNumber(QStringLiteral("sensitivityex_y"));
    if (decoder.failure()) {
        return *decoder.failure();
    }
    return data;
}

Result<WindowsKeyboardMapping> decodeMapping(const QJsonValue& value) {
    if (!value.isObject()) {
        return RecordDecoder::decodingError(
            QStringLiteral("WindowsKeyboardMapping: expected an object"));
    }
    RecordDecoder decoder(value.toObject(), QStringLiteral("WindowsKeyboardMapping"));
    WindowsKeyboardMapping mapping;
    mapping.className = decoder.requiredString(QStringLiteral("class"));
    const QJsonObject data = decoder.requiredObject(QStringLiteral("data"));
    if (decoder.failure()) {
        return *decoder.failure();
    }
    Result<WindowsKeyboardMappingData> decoded = decodeData(data);
    if (!decoded) {
        return decoded.error();
    }
    mapping.data = std::move(decoded).value();
    return mapping;
}

}  // namespace

Result<KMPFile> KMPFile::decode(const QByteArray& data) {
    Result<QJsonObject> object = RecordDecoder::parseObject(data, QStringLiteral("KMPFile"));
    if (!object) {
        return object.error();
    }
    RecordDecoder decoder(object.value(), QStringLiteral("KMPFile"));
    const std::optional<QJsonArray> mappings =
        decoder.optionalArray(QStringLiteral("keyboardMappings"));
    if (decoder.failure()) {
        return *decoder.failure();
    }
    KMPFile file;
    if (!mappings) {
        return file;
    }
    file.keyboardMappings.emplace();
    for (const QJsonValue& value : *mappings) {
        Result<WindowsKeyboardMapping> mapping = decodeMapping(value);
        if (!mapping) {
            return mapping.error();
        }
        file.keyboardMappings->append(std::move(mapping).value());
    }
    return file;
}
