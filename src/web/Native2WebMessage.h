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
    // What log lines show in place of `data` where its type does not tell enough
    // (`loggedPageData`): a setting's value, whose key the reply does not carry. Never sent.
    std::optional<QJsonValue> loggedData;

    // Compact JSON of {"type", "data"} plus "macrequestid" and "deviceId" when set. Nothing when
    // `data` holds what JSON cannot carry (an undefined value, NaN or an infinity), which would
    // otherwise reach the page as a silent null.
    std::optional<QString> toJSONString() const;
};
