#include "api/WebSettingData.h"

#include "api/KeyedEncoder.h"

namespace {

using Key = WebSettingData;
const auto kCodingKeys = std::make_tuple(
    CodingKey<Key, QString>{"pcUrl", &Key::pcUrl}, CodingKey<Key, QString>{"cdnUrl", &Key::cdnUrl},
    CodingKey<Key, QString>{"QQGropUrl", &Key::QQGropUrl},
    CodingKey<Key, QString>{"lgiosAppUrl", &Key::lgiosAppUrl},
    CodingKey<Key, QString>{"useAppstoreUrl", &Key::useAppstoreUrl});

}  // namespace

Result<WebSettingData> WebSettingData::fromJson(const QJsonValue& json, const QString& codingPath) {
    return decodeRecord<WebSettingData>(json, codingPath, kCodingKeys);
}

QJsonObject WebSettingData::toJson() const {
    return encodeRecord(*this, kCodingKeys);
}
