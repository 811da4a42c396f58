#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>

// How a page value is written into a log or console line: texts quoted, dictionaries as
// ["key": value, …], arrays in brackets, JSON null as "<null>". The strings and numbers held by a
// hidden key (LogRedaction), and the value of a setting {"key": <a hidden key>, "value": …}, read
// "***"; the line's last pass masks what texts hold.
QString describeJson(const QJsonValue& value);

// What log lines show of the data of a page message of `type`, in either direction, where the
// type tells more than the data: nothing of the protected values ("encrypt", "decrypt"), every
// string and number hidden; the texts of a paste to devices and of the clipboard message by
// their length only. Nothing for every other type: lines show its data as it is.
std::optional<QJsonValue> shapedPageData(const QString& type, const QJsonValue& data);
// The shaped data, or the data itself.
QJsonValue loggedPageData(const QString& type, const QJsonValue& data);
// describeJson(loggedPageData(type, data)).
QString describePageData(const QString& type, const QJsonValue& data);

struct Web2NativeMessage;

// Web2NativeMessage(type: "set", macrequestid: nil, data: [...]), its data as loggedPageData
// shows it.
QString describeMessage(const Web2NativeMessage& message);
