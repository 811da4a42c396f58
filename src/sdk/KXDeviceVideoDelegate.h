#pragma once

#include "sdk/VideoFormatDescription.h"
#include "sdk/VideoSampleBuffer.h"

#include <QtGlobal>

#include <memory>

// A frame sink for a device's stream: the format of the frames that follow, then the frames.
// Either call may come on any thread.
class KXDeviceVideoDelegate {
public:
    virtual ~KXDeviceVideoDelegate() = default;

    virtual void videoFormatDesc(const VideoFormatDescription& description) = 0;
    // 0 when the frame was taken, -1 when there was none.
    virtual qint32 videoSampleBuffer(std::shared_ptr<const VideoSampleBuffer> buffer) = 0;
};
