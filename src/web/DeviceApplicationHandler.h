#pragma once

#include "web/Web2NativeMessageHandler.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// The page's requests to list and control the applications of devices. The client only notes
// them; no device is called and nothing is answered.
class DeviceApplicationHandler : public Web2NativeMessageHandler {
public:
    void handle(const Web2NativeMessage& message) override;

    // The label of an action code (0 stop, 1 start, 2 uninstall, 3 screenshot), else none.
    static std::optional<QString> actionLabel(qint64 code);
};
