#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariantMap>

#include <optional>

// One message posted by the page: {"type", "macrequestid", "data"}.
struct Web2NativeMessage {
    QString type;
    // Only a request id the page sent as a JSON string.
    std::optional<QString> macrequestid;
    // Any JSON value, null included; an empty object when the page sent no "data".
    QJsonValue data = QJsonObject();

    // Nothing when "type" is missing or not a string.
    static std::optional<Web2NativeMessage> fromDictionary(const QJsonObject& dictionary);
    // The structured form, as a page posts it or as it travels in a notification's user info.
    static std::optional<Web2NativeMessage> fromDictionary(const QVariantMap& dictionary);
    // Nothing when the text is not JSON, its top level is not an object, or the object is no
    // message. Callers log the failure.
    static std::optional<Web2NativeMessage> fromJSONString(const QString& text);

    // An integer under the key of an object `data` (a boolean reads as 1 or 0; a numeric text
    // does not count). "deviceId" and "deviceid" stand in for each other.
    std::optional<qint64> intValue(const QString& key) const;

    // {"type", "data"} plus "macrequestid" when set; fromDictionary() rebuilds the same message.
    QJsonObject toDictionary() const;
};
