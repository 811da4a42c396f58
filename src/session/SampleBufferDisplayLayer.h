#pragma once

#include "foundation/json/Result.h"
#include "sdk/VideoSampleBuffer.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QRectF>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class ControlTimebase;
class QPainter;

// A surface that shows sample buffers at their presentation times on its control timebase
// (without one, each frame as soon as it arrives). It holds a few frames ahead; a frame it cannot
// decode puts it in the failed state, where it takes nothing until it is flushed. The picture
// fills the layer's frame, aspect not kept, over the background colour. Every member may be
// called from any thread; pictures are shown by the owner of the display target.
class SampleBufferDisplayLayer {
public:
    enum class Status {
        unknown,
        rendering,
        failed,
    };

    static constexpr int kMaxPendingFrames = 8;

    SampleBufferDisplayLayer() = default;
    SampleBufferDisplayLayer(const SampleBufferDisplayLayer&) = delete;
    SampleBufferDisplayLayer& operator=(const SampleBufferDisplayLayer&) = delete;

    // Told, queued on its own thread, that the layer has something new to show. Set and cleared
    // on the target's thread; cleared before the target dies.
    void setDisplayTarget(QObject* target, std::function<void()> onNeedsDisplay);

    QRectF frame() const;
    void setFrame(const QRectF& frame);
    QColor backgroundColor() const;
    void setBackgroundColor(const QColor& color);
    std::shared_ptr<ControlTimebase> controlTimebase() const;
    void setControlTimebase(std::shared_ptr<ControlTimebase> timebase);

    Status status() const;
    std::optional<Error> error() const;
    bool isReadyForMoreMediaData() const;

    // Ignored while failed.
    void enqueue(const std::shared_ptr<const VideoSampleBuffer>& buffer);
    // Drops the waiting frames and clears a failure; the picture shown stays.
    void flush();
    void flushAndRemoveImage();

    // Shows the newest waiting frame that is due. True when the picture changed.
    bool advance();
    bool hasPendingFrames() const;
    QImage image() const;
    quint64 enqueuedFrameCount() const;

    void paint(QPainter& painter) const;

private:
    struct PendingFrame {
        QImage image;
        double presentationSeconds = 0;
        bool due = false;
    };

    void notifyLocked();

    mutable std::mutex m_mutex;
    QObject* m_target = nullptr;
    std::function<void()> m_onNeedsDisplay;
    bool m_notifyPending = false;
    QRectF m_frame;
    QColor m_backgroundColor;
    std::shared_ptr<ControlTimebase> m_timebase;
    Status m_status = Status::unknown;
    std::optional<Error> m_error;
    std::deque<PendingFrame> m_pending;
    QImage m_image;
    quint64 m_enqueued = 0;
};
