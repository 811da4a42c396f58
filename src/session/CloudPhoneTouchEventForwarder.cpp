#include "session/CloudPhoneTouchEventForwarder.h"

#include "sdk/KXDevice.h"

CloudPhoneTouchEventForwarder::CloudPhoneTouchEventForwarder(Send send) : m_send(std::move(send)) {}

void CloudPhoneTouchEventForwarder::touchBegin() {
    m_send([](const std::shared_ptr<KXDevice>& device) { device->touchBegin(); });
}

void CloudPhoneTouchEventForwarder::touchMove(const QList<KXTouchObc>& touches) {
    m_send([touches](const std::shared_ptr<KXDevice>& device) { device->touchMove(touches); });
}

void CloudPhoneTouchEventForwarder::touchEnd() {
    m_send([](const std::shared_ptr<KXDevice>& device) { device->touchEnd(); });
}
