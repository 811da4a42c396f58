#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// One message to the page: a notification (a native-to-page type, no request id) or a reply
// (the request's own page type and its request id).
struct Native2WebMessage {
    QString type;
    std::optional<QString> macrequestid;
    QJsonValue data = QJsonObject();
    std::optional<qint64> deviceId;

    // Compact JSON of {"type", "data"} plus "macrequestid" and "deviceId" when set. Nothing when
    // `data` holds what JSON cannot carry (an undefined value, NaN or an infinity), which would
    // otherwise reach the page as a silent null.
    std::optional<QString> toJSONString() const;
};
