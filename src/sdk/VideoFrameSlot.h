#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

// The one place where a stream's newest picture waits for the GUI thread: a producer on any
// thread replaces the picture and, unless one is already pending, queues one repaint call on the
// target. Frames that arrive faster than the GUI paints are overwritten, never queued.
class VideoFrameSlot {
public:
    using Clock = std::chrono::steady_clock;

    VideoFrameSlot() = default;
    VideoFrameSlot(const VideoFrameSlot&) = delete;
    VideoFrameSlot& operator=(const VideoFrameSlot&) = delete;

    // The object that is told, queued on its own thread, that a new picture waits. Set and
    // cleared on that object's thread; cleared before the object dies.
    void setRepaintTarget(QObject* target, std::function<void()> onFrameReady);

    void setFirstFrameBlock(std::function<void()> block);

    // A new stream: frames of earlier streams are refused from now on and the next accepted frame
    // is this stream's first one.
    quint64 beginStream();
    void endStream(quint64 generation);

    // Any thread. False when the frame belongs to a stream that is no longer current. The first
    // frame of a stream calls the first-frame block on the caller's thread.
    bool publish(quint64 generation, QImage frame);

    // Called by the target when its queued call runs: the next frame queues a new one.
    void acknowledgeRepaint();
    void notePainted();
    QImage latest() const;

    // Frames accepted and frames painted during the last whole second.
    qint32 receivedPerSecond() const;
    qint32 paintedPerSecond() const;
    quint64 receivedFrameCount() const { return m_received.load(); }
    quint64 paintedFrameCount() const { return m_painted.load(); }
    quint64 repaintRequestCount() const { return m_repaintRequests.load(); }

private:
    // Counts events per wall-clock second; reads the count of the last finished second.
    struct RateCounter {
        Clock::time_point bucketStart{};
        qint32 current = 0;
        qint32 previous = 0;
        void tick(Clock::time_point now);
        qint32 value(Clock::time_point now) const;
    };

    mutable std::mutex m_mutex;
    QImage m_latest;
    quint64 m_generation = 0;
    bool m_streaming = false;
    bool m_firstFrameSeen = false;
    bool m_repaintPending = false;
    QObject* m_target = nullptr;
    std::function<void()> m_onFrameReady;
    std::function<void()> m_firstFrameBlock;
    RateCounter m_receivedRate;
    RateCounter m_paintedRate;
    std::atomic<quint64> m_received{0};
    std::atomic<quint64> m_painted{0};
    std::atomic<quint64> m_repaintRequests{0};
};
