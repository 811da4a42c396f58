#pragma once

#include "foundation/json/Result.h"
#include "sdk/DeviceControl.h"
#include "sdk/DeviceEvent.h"
#include "sdk/DeviceRequest.h"
#include "sdk/KXImageObc.h"
#include "sdk/KXMediaParamsObc.h"
#include "sdk/TouchRecord.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>

class VideoFrameSlot;

// The receiving end of a connection: a device object. Called on the transport's own threads.
class DeviceLinkListener {
public:
    virtual ~DeviceLinkListener() = default;
    virtual void linkEvent(const DeviceEvent& event) = 0;
    virtual void linkAudio(const QByteArray& samples) = 0;
};

// Where a stream's pictures go: the video view's frame slot, for one stream of it.
struct StreamTarget {
    std::shared_ptr<VideoFrameSlot> slot;
    quint64 generation = 0;
};

using PreviewCompletion =
    std::function<void(const std::optional<KXImageObc>&, const std::optional<Error>&)>;

// One connection to a remote device, as a transport provides it. Every call may come from any
// thread; after `close` the link ignores everything and reports nothing more.
class DeviceLink {
public:
    virtual ~DeviceLink() = default;

    virtual void startStream(const KXMediaParamsObc& params, const StreamTarget& target) = 0;
    virtual void stopStream() = 0;
    virtual void sendTouch(const TouchRecord& touch) = 0;
    virtual void sendControl(const DeviceControl& control) = 0;
    virtual void refreshToken(const QString& token) = 0;
    virtual void kickoutOther() = 0;
    // Answers on the transport's thread, never before returning.
    virtual void requestPreview(const KXSizeObc& size, qint32 quality, quint8 format,
                                PreviewCompletion completion) = 0;
    // Answers on the transport's thread, never before returning.
    virtual void request(const DeviceRequest& request, DeviceReplyCompletion completion) = 0;
    virtual void close() = 0;
};
