#include "api/NewPCInfo.h"

#include "api/KeyedEncoder.h"

namespace {

using Key = NewPCInfo;
const auto kCodingKeys = std::make_tuple(
    CodingKey<Key, qint64>{"ver", &Key::ver}, CodingKey<Key, qint64>{"forceVer", &Key::forceVer},
    CodingKey<Key, qint64>{"noiceVer", &Key::noiceVer},
    CodingKey<Key, QList<ForceInfo>>{"forceInfo", &Key::forceInfo},
    CodingKey<Key, QList<QString>>{"mustForce", &Key::mustForce},
    CodingKey<Key, bool>{"webCheckUpdate", &Key::webCheckUpdate},
    CodingKey<Key, bool>{"webForceUpdate", &Key::webForceUpdate},
    CodingKey<Key, QString>{"pcClientVersion", &Key::pcClientVersion},
    CodingKey<Key, QString>{"pcClientDownload", &Key::pcClientDownload},
    CodingKey<Key, QString>{"pcClientWebVersion", &Key::pcClientWebVersion},
    CodingKey<Key, QString>{"pcClientWebDownload", &Key::pcClientWebDownload},
    CodingKey<Key, QString>{"pcClientUpdateContent", &Key::pcClientUpdateContent},
    CodingKey<Key, QString>{"pcClientSHA256", &Key::pcClientSHA256},
    CodingKey<Key, bool>{"pcClientIsMandatory", &Key::pcClientIsMandatory});

}  // namespace

Result<NewPCInfo> NewPCInfo::fromJson(const QJsonValue& json, const QString& codingPath) {
    return decodeRecord<NewPCInfo>(json, codingPath, kCodingKeys);
}

QJsonObject NewPCInfo::toJson() const {
    return encodeRecord(*this, kCodingKeys);
}
