#include "api/VersionResponse.h"

#include "api/KeyedEncoder.h"

namespace {

using Key = VersionResponse;
const auto kCodingKeys = std::tuple_cat(
    releaseCodingKeys<Key>(),
    std::make_tuple(CodingKey<Key, qint64>{"currentVer", &Key::currentVer},
                    CodingKey<Key, QString>{"url", &Key::url},
                    CodingKey<Key, QString>{"strVer", &Key::strVer},
                    CodingKey<Key, QString>{"content", &Key::content},
                    CodingKey<Key, NewPCInfo>{"newPC", &Key::newPC},
                    CodingKey<Key, WebSettingData>{"webSettingData", &Key::webSettingData}));

}  // namespace

Result<VersionResponse> VersionResponse::fromJson(const QJsonValue& json,
                                                  const QString& codingPath) {
    return decodeRecord<VersionResponse>(json, codingPath, kCodingKeys);
}

QJsonObject VersionResponse::toJson() const {
    return encodeRecord(*this, kCodingKeys);
}
