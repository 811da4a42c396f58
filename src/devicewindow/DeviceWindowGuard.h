#pragma once

class IdlePolicy;
class WindowActiveManager;
struct DeviceIdentity;

// Whether a device window may act on the device it shows, asked by every part of the window at
// the moment it acts: the window is the active device window (its device is the one
// `WindowActiveManager` marks, the window the user works in), and for what reaches the device
// also connected (its stream was not stopped for idleness). The device is read from the
// window's identity at each question, so a window switched to another device is judged by the
// device it shows now. GUI thread only.
class DeviceWindowGuard {
public:
    DeviceWindowGuard(const DeviceIdentity& identity, const WindowActiveManager& activeManager,
                      const IdlePolicy& idlePolicy);

    bool isActiveDeviceWindow() const;
    bool isDisconnectedForIdle() const;
    // Active and connected: keys, text, touches and the device's buttons may reach the device.
    bool isActiveAndConnected() const;

private:
    const DeviceIdentity& m_identity;
    const WindowActiveManager& m_activeManager;
    const IdlePolicy& m_idlePolicy;
};
