#include "api/XDYDeviceModel.h"

#include "api/KeyedEncoder.h"

namespace {

using Key = XDYDeviceModel;
// Coding order, which differs from the declaration order.
const auto kCodingKeys = std::make_tuple(
    CodingKey<Key, QString>{"note", &Key::note}, CodingKey<Key, bool>{"lock", &Key::lock},
    CodingKey<Key, qint64>{"cardType", &Key::cardType},
    CodingKey<Key, qint64>{"deviceId", &Key::deviceID},
    CodingKey<Key, qint64>{"deviceStatus", &Key::deviceStatus},
    CodingKey<Key, QString>{"deviceStatusDesc", &Key::deviceStatusDesc},
    CodingKey<Key, QString>{"endTime", &Key::endTime},
    CodingKey<Key, QString>{"expireTime", &Key::expireTime},
    CodingKey<Key, qint64>{"groupId", &Key::groupID}, CodingKey<Key, QString>{"alias", &Key::alias},
    CodingKey<Key, qint64>{"remainTime", &Key::remainTime},
    CodingKey<Key, QString>{"startTime", &Key::startTime},
    CodingKey<Key, QString>{"uid", &Key::uid},
    CodingKey<Key, QString>{"groupName", &Key::groupName},
    CodingKey<Key, QString>{"lenderUid", &Key::lenderUid},
    CodingKey<Key, qint64>{"useStatus", &Key::useStatus},
    CodingKey<Key, QString>{"maintainInfo", &Key::maintainInfo},
    CodingKey<Key, qint64>{"maintainStatus", &Key::maintainStatus},
    CodingKey<Key, qint64>{"maintainRenew", &Key::maintainRenew},
    CodingKey<Key, qint64>{"autopay", &Key::autopay}, CodingKey<Key, qint64>{"root", &Key::root},
    CodingKey<Key, QString>{"lendEndTime", &Key::lendEndTime},
    CodingKey<Key, QString>{"borrowEndTime", &Key::borrowEndTime},
    CodingKey<Key, qint64>{"borrowRemainTime", &Key::borrowRemainTime},
    CodingKey<Key, qint64>{"lendRemainTime", &Key::lendRemainTime},
    CodingKey<Key, qint64>{"msgId", &Key::msgId});

}  // namespace

Result<XDYDeviceModel> XDYDeviceModel::fromJson(const QJsonValue& json, const QString& codingPath) {
    // Decoding starts from a fresh record, so the local state is at its initial values.
    return decodeRecord<XDYDeviceModel>(json, codingPath, kCodingKeys);
}

QJsonObject XDYDeviceModel::toJson() const {
    return encodeRecord(*this, kCodingKeys);
}
