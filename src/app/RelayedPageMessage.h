#pragma once

#include "foundation/concurrency/NotificationCenter.h"
#include "web/Web2NativeMessage.h"

#include <QString>

#include <optional>

class QObject;

// The printed form of an object in log lines: its class and address.
QString describeObject(const QObject* object);

// A page message that another window relayed by notification: logs who sent it and rebuilds the
// message from the notification's user info; none when that is empty or not a message (the
// caller reports it in its own way).
std::optional<Web2NativeMessage> relayedPageMessage(const Notification& notification);
