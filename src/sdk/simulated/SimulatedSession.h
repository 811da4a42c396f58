#pragma once

#include "sdk/DeviceLink.h"
#include "sdk/KXDeviceParamsObc.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class SimulatedDevice;

// One connection to a simulated device: the transport's link behind a `KXDevice`. A running
// stream has its own thread that renders the device's picture at the asked size and rate into
// the video view's frame slot.
class SimulatedSession : public DeviceLink, public std::enable_shared_from_this<SimulatedSession> {
public:
    SimulatedSession(std::weak_ptr<SimulatedDevice> device,
                     std::weak_ptr<DeviceLinkListener> listener);
    ~SimulatedSession() override;

    bool isOpen() const;
    bool isStreaming() const;
    // On the device's thread: hands a report to the device object while the session is open.
    void deliver(const DeviceEvent& event);

    void startStream(const KXMediaParamsObc& params, const StreamTarget& target) override;
    void stopStream() override;
    void sendTouch(const TouchRecord& touch) override;
    void sendControl(const DeviceControl& control) override;
    void refreshToken(const QString& token) override;
    void kickoutOther() override;
    void requestPreview(const KXSizeObc& size, qint32 quality, quint8 format,
                        PreviewCompletion completion) override;
    void request(const DeviceRequest& request, DeviceReplyCompletion completion) override;
    void close() override;

private:
    struct Stream;

    static void renderLoop(const std::shared_ptr<Stream>& stream);

    const std::weak_ptr<SimulatedDevice> m_device;
    const std::weak_ptr<DeviceLinkListener> m_listener;
    mutable std::mutex m_mutex;
    bool m_open = true;
    std::shared_ptr<Stream> m_stream;
};
