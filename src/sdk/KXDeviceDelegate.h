#pragma once

#include "foundation/json/Result.h"
#include "sdk/KXRotationObc.h"
#include "sdk/KXSizeObc.h"

#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

class KXDevice;

// What happens to a device. Called on the SDK's own threads, never on the GUI thread; the device
// object stays alive for the duration of a call. A delegate adopts the reports it needs.
class KXDeviceDelegate {
public:
    using Device = std::shared_ptr<KXDevice>;

    virtual ~KXDeviceDelegate() = default;

    // Another party took the device away; the reason is the service's code (0 to 4 are known).
    virtual void onKickout(const Device& /*device*/, int /*reason*/) {}
    virtual void onReady(const Device& /*device*/) {}
    virtual void onError(const Device& /*device*/, const std::optional<Error>& /*error*/) {}
    virtual void onExceptionStatus(const Device& /*device*/, int /*status*/,
                                   const std::optional<QString>& /*msg*/) {}
    virtual void onScreenSize(const Device& /*device*/, const std::optional<KXSizeObc>& /*size*/) {}
    virtual void onRotation(const Device& /*device*/, KXRotationObc /*rotation*/) {}
    virtual void onIMEStatus(const Device& /*device*/, const std::optional<QVariantMap>& /*ime*/) {}
    virtual void onClipData(const Device& /*device*/, const std::optional<QString>& /*text*/) {}
    virtual void onPushMsg(const Device& /*device*/, const std::optional<QString>& /*msg*/) {}
    virtual void onFrontPackage(const Device& /*device*/, const QString& /*package*/) {}
};
