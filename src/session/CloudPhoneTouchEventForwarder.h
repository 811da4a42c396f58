#pragma once

#include "sdk/KXDeviceTouchDelegate.h"

#include <functional>
#include <memory>

class KXDevice;

// The touch view's delegate for one streaming device: turns each contact report into an action
// on a device and hands it to `send`, which decides which devices it reaches.
class CloudPhoneTouchEventForwarder : public KXDeviceTouchDelegate {
public:
    using DeviceAction = std::function<void(const std::shared_ptr<KXDevice>& device)>;
    using Send = std::function<void(const DeviceAction& action)>;

    explicit CloudPhoneTouchEventForwarder(Send send);
    CloudPhoneTouchEventForwarder() = delete;

    void touchBegin() override;
    void touchMove(const QList<KXTouchObc>& touches) override;
    void touchEnd() override;

private:
    Send m_send;
};
