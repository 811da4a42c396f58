#pragma once

#include <QJsonValue>
#include <QString>

// How a page value is written into a log or console line: texts quoted, dictionaries as
// ["key": value, …], arrays in brackets, JSON null as "<null>".
QString describeJson(const QJsonValue& value);

struct Web2NativeMessage;

// Web2NativeMessage(type: "set", macrequestid: nil, data: [...]).
QString describeMessage(const Web2NativeMessage& message);
