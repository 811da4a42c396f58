#include "api/NewPCInfo.h"

#include "api/KeyedEncoder.h"

namespace {

using Key = NewPCInfo;
const auto kCodingKeys = std::tuple_cat(
    releaseCodingKeys<Key>(),
    std::make_tuple(CodingKey<Key, QString>{"pcClientSHA256", &Key::pcClientSHA256},
                    CodingKey<Key, bool>{"pcClientIsMandatory", &Key::pcClientIsMandatory}));

}  // namespace

Result<NewPCInfo> NewPCInfo::fromJson(const QJsonValue& json, const QString& codingPath) {
    return decodeRecord<NewPCInfo>(json, codingPath, kCodingKeys);
}

QJsonObject NewPCInfo::toJson() const {
    return encodeRecord(*this, kCodingKeys);
}
