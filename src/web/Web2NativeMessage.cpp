#include "web/Web2NativeMessage.h"

#include "foundation/JsonReader.h"
#include "foundation/RecordDecoder.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {

const QString kTypeKey = QStringLiteral("type");
const QString kRequestIdKey = QStringLiteral("macrequestid");
const QString kDataKey = QStringLiteral("data");

std::optional<qint64> integerIn(const JsonReader& reader, const QString& key) {
    if (const JsonField<bool> flag = reader.boolean(key); flag.hasValue()) {
        return flag.value() ? 1 : 0;
    }
    return reader.int64(key).optional();
}

}  // namespace

std::optional<Web2NativeMessage> Web2NativeMessage::fromDictionary(const QJsonObject& dictionary) {
    // A page message is taken or dropped whole; only the type must be usable.
    RecordDecoder decoder(dictionary, QStringLiteral("Web2NativeMessage"));
    const std::optional<QString> type = decoder.optionalString(kTypeKey);
    if (!type) {
        return std::nullopt;
    }
    Web2NativeMessage message;
    message.type = *type;
    message.macrequestid = decoder.optionalString(kRequestIdKey);
    if (const auto data = dictionary.constFind(kDataKey); data != dictionary.constEnd()) {
        message.data = data.value();
    }
    return message;
}

std::optional<Web2NativeMessage> Web2NativeMessage::fromDictionary(const QVariantMap& dictionary) {
    return fromDictionary(QJsonObject::fromVariantMap(dictionary));
}

std::optional<Web2NativeMessage> Web2NativeMessage::fromJSONString(const QString& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return fromDictionary(document.object());
}

std::optional<qint64> Web2NativeMessage::intValue(const QString& key) const {
    const JsonReader reader(data.toObject());
    if (auto value = integerIn(reader, key)) {
        return value;
    }
    if (key == QLatin1String("deviceId")) {
        return integerIn(reader, QStringLiteral("deviceid"));
    }
    if (key == QLatin1String("deviceid")) {
        return integerIn(reader, QStringLiteral("deviceId"));
    }
    return std::nullopt;
}

QJsonObject Web2NativeMessage::toDictionary() const {
    QJsonObject dictionary{{kTypeKey, type}, {kDataKey, data}};
    if (macrequestid) {
        dictionary.insert(kRequestIdKey, *macrequestid);
    }
    return dictionary;
}
