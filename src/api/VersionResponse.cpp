#include "api/VersionResponse.h"

#include "api/KeyedEncoder.h"

namespace {

using Key = VersionResponse;
const auto kCodingKeys = std::make_tuple(
    CodingKey<Key, qint64>{"forceVer", &Key::forceVer},
    CodingKey<Key, qint64>{"noiceVer", &Key::noiceVer},
    CodingKey<Key, QList<ForceInfo>>{"forceInfo", &Key::forceInfo},
    CodingKey<Key, QList<QString>>{"mustForce", &Key::mustForce},
    CodingKey<Key, qint64>{"currentVer", &Key::currentVer},
    CodingKey<Key, bool>{"webCheckUpdate", &Key::webCheckUpdate},
    CodingKey<Key, bool>{"webForceUpdate", &Key::webForceUpdate},
    CodingKey<Key, QString>{"pcClientVersion", &Key::pcClientVersion},
    CodingKey<Key, QString>{"pcClientDownload", &Key::pcClientDownload},
    CodingKey<Key, QString>{"pcClientWebVersion", &Key::pcClientWebVersion},
    CodingKey<Key, QString>{"pcClientWebDownload", &Key::pcClientWebDownload},
    CodingKey<Key, QString>{"pcClientUpdateContent", &Key::pcClientUpdateContent},
    CodingKey<Key, QString>{"url", &Key::url}, CodingKey<Key, qint64>{"ver", &Key::ver},
    CodingKey<Key, QString>{"strVer", &Key::strVer},
    CodingKey<Key, QString>{"content", &Key::content},
    CodingKey<Key, NewPCInfo>{"newPC", &Key::newPC},
    CodingKey<Key, WebSettingData>{"webSettingData", &Key::webSettingData});

}  // namespace

Result<VersionResponse> VersionResponse::fromJson(const QJsonValue& json,
                                                  const QString& codingPath) {
    return decodeRecord<VersionResponse>(json, codingPath, kCodingKeys);
}

QJsonObject VersionResponse::toJson() const {
    return encodeRecord(*this, kCodingKeys);
}
