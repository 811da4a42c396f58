#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// One cloud device as the service lists it. The four uncoded fields are local state that never
// reaches JSON.
struct XDYDeviceModel {
    std::optional<bool> lock;
    std::optional<QString> alias;
    std::optional<qint64> cardType;
    std::optional<qint64> deviceStatus;
    std::optional<qint64> deviceID;
    std::optional<QString> deviceStatusDesc;
    std::optional<QString> expireTime;
    std::optional<QString> endTime;
    std::optional<QString> note;
    std::optional<qint64> remainTime;
    std::optional<QString> startTime;
    std::optional<QString> uid;
    std::optional<qint64> groupID;
    std::optional<QString> groupName;
    std::optional<qint64> root;
    std::optional<QString> maintainInfo;
    std::optional<qint64> maintainStatus;
    std::optional<QString> lenderUid;
    std::optional<qint64> maintainRenew;
    std::optional<qint64> useStatus;
    qint64 pushStatus = 0;
    bool isSelected = false;
    bool beAuthorized = false;
    std::optional<QString> lendEndTime;
    std::optional<QString> borrowEndTime;
    std::optional<qint64> borrowRemainTime;
    std::optional<qint64> lendRemainTime;
    std::optional<qint64> msgId;
    bool delayLoadSnapshot = false;
    std::optional<qint64> autopay;

    static Result<XDYDeviceModel> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const XDYDeviceModel&) const = default;
};
