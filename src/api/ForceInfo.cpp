#include "api/ForceInfo.h"

#include "api/KeyedEncoder.h"

namespace {

using Key = ForceInfo;
const auto kCodingKeys =
    std::make_tuple(CodingKey<Key, qint64>{"NVERSION", &Key::NVERSION},
                    CodingKey<Key, QString>{"webPublishTime", &Key::webPublishTime},
                    CodingKey<Key, QString>{"pcClientVersion", &Key::pcClientVersion},
                    CodingKey<Key, QString>{"pcClientDownload", &Key::pcClientDownload},
                    CodingKey<Key, QString>{"pcClientWebVersion", &Key::pcClientWebVersion},
                    CodingKey<Key, QString>{"pcClientPublishTime", &Key::pcClientPublishTime},
                    CodingKey<Key, QString>{"pcClientWebDownload", &Key::pcClientWebDownload},
                    CodingKey<Key, QString>{"pcClientUpdateContent", &Key::pcClientUpdateContent},
                    CodingKey<Key, QString>{"pcClientSHA256", &Key::pcClientSHA256},
                    CodingKey<Key, bool>{"pcClientIsMandatory", &Key::pcClientIsMandatory});

}  // namespace

Result<ForceInfo> ForceInfo::fromJson(const QJsonValue& json, const QString& codingPath) {
    return decodeRecord<ForceInfo>(json, codingPath, kCodingKeys);
}

QJsonObject ForceInfo::toJson() const {
    return encodeRecord(*this, kCodingKeys);
}
