#pragma once

#include <QJsonValue>
#include <QString>

// How a page value is written into a log or console line: texts quoted, dictionaries as
// ["key": value, …], arrays in brackets, JSON null as "<null>".
QString describeJson(const QJsonValue& value);

// What log lines show of the data of a page message of `type`, in either direction: the values
// of hidden keys masked at any depth (LogRedaction); nothing of the protected values ("encrypt",
// "decrypt"), every string and number hidden; the texts of a paste to devices and of the
// clipboard message by their length only.
QJsonValue loggedPageData(const QString& type, const QJsonValue& data);
// describeJson(loggedPageData(type, data)).
QString describePageData(const QString& type, const QJsonValue& data);

struct Web2NativeMessage;

// Web2NativeMessage(type: "set", macrequestid: nil, data: [...]), its data as loggedPageData
// shows it.
QString describeMessage(const Web2NativeMessage& message);
