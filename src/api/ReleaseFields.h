#pragma once

#include "api/ForceInfo.h"
#include "foundation/json/RecordDecoder.h"

#include <QList>
#include <QString>

#include <optional>
#include <tuple>
#include <type_traits>

// The release fields that the version record and its desktop-client block both carry, under the
// same JSON keys.
struct ReleaseFields {
    std::optional<qint64> ver;
    std::optional<qint64> forceVer;
    std::optional<qint64> noiceVer;
    std::optional<QList<ForceInfo>> forceInfo;
    std::optional<QList<QString>> mustForce;
    std::optional<bool> webCheckUpdate;
    std::optional<bool> webForceUpdate;
    std::optional<QString> pcClientVersion;
    std::optional<QString> pcClientDownload;
    std::optional<QString> pcClientWebVersion;
    std::optional<QString> pcClientWebDownload;
    std::optional<QString> pcClientUpdateContent;

    bool operator==(const ReleaseFields&) const = default;
};

// The coding keys of the release fields of a record built on them, read and written first.
template <typename Record>
auto releaseCodingKeys() {
    static_assert(std::is_base_of_v<ReleaseFields, Record>);
    return std::make_tuple(
        CodingKey<Record, qint64>{"ver", &Record::ver},
        CodingKey<Record, qint64>{"forceVer", &Record::forceVer},
        CodingKey<Record, qint64>{"noiceVer", &Record::noiceVer},
        CodingKey<Record, QList<ForceInfo>>{"forceInfo", &Record::forceInfo},
        CodingKey<Record, QList<QString>>{"mustForce", &Record::mustForce},
        CodingKey<Record, bool>{"webCheckUpdate", &Record::webCheckUpdate},
        CodingKey<Record, bool>{"webForceUpdate", &Record::webForceUpdate},
        CodingKey<Record, QString>{"pcClientVersion", &Record::pcClientVersion},
        CodingKey<Record, QString>{"pcClientDownload", &Record::pcClientDownload},
        CodingKey<Record, QString>{"pcClientWebVersion", &Record::pcClientWebVersion},
        CodingKey<Record, QString>{"pcClientWebDownload", &Record::pcClientWebDownload},
        CodingKey<Record, QString>{"pcClientUpdateContent", &Record::pcClientUpdateContent});
}
