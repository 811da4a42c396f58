#include "devicewindow/DeviceWindowGuard.h"

#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/WindowActiveManager.h"

DeviceWindowGuard::DeviceWindowGuard(const DeviceIdentity& identity,
                                     const WindowActiveManager& activeManager,
                                     const IdlePolicy& idlePolicy)
    : m_identity(identity), m_activeManager(activeManager), m_idlePolicy(idlePolicy) {}

bool DeviceWindowGuard::isActiveDeviceWindow() const {
    return m_activeManager.isActive(m_identity.deviceID);
}

bool DeviceWindowGuard::isDisconnectedForIdle() const {
    return m_idlePolicy.isCloudPhoneDisconnectedForIdle();
}

bool DeviceWindowGuard::isActiveAndConnected() const {
    return isActiveDeviceWindow() && !isDisconnectedForIdle();
}
