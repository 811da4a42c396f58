#pragma once

// What the device windows tell the main page. The web bridge sits above this library, so it
// installs its sender here at start-up; until then, and in tests that install nothing, messages
// are dropped. All calls are made on the GUI thread.
class DeviceWindowPageLink {
public:
    virtual ~DeviceWindowPageLink() = default;

    // "notify-open-new-cloudphone": the user asked for the previous or next device.
    virtual void sendOpenNewCloudphone(int deviceId, bool previous) = 0;
    // "batch-control-status" with {"status": status}.
    virtual void sendBatchControlStatus(int status) = 0;

    // The installed link, or nullptr. The caller keeps ownership and uninstalls before it dies.
    static DeviceWindowPageLink* installed() { return current(); }
    static void install(DeviceWindowPageLink* link) { current() = link; }

private:
    static DeviceWindowPageLink*& current() {
        static DeviceWindowPageLink* link = nullptr;
        return link;
    }
};
