#include "sdk/VideoFrameSlot.h"

void VideoFrameSlot::RateCounter::tick(Clock::time_point now) {
    const auto second = std::chrono::seconds(1);
    if (now - bucketStart >= second) {
        previous = now - bucketStart < 2 * second ? current : 0;
        bucketStart = now;
        current = 0;
    }
    ++current;
}

qint32 VideoFrameSlot::RateCounter::value(Clock::time_point now) const {
    const auto second = std::chrono::seconds(1);
    if (now - bucketStart < second) {
        return previous;
    }
    return now - bucketStart < 2 * second ? current : 0;
}

void VideoFrameSlot::setRepaintTarget(QObject* target, std::function<void()> onFrameReady) {
    std::lock_guard lock(m_mutex);
    m_target = target;
    m_onFrameReady = std::move(onFrameReady);
    m_repaintPending = false;
}

void VideoFrameSlot::setFirstFrameBlock(std::function<void()> block) {
    std::lock_guard lock(m_mutex);
    m_firstFrameBlock = std::move(block);
}

quint64 VideoFrameSlot::beginStream() {
    std::lock_guard lock(m_mutex);
    m_streaming = true;
    m_firstFrameSeen = false;
    return ++m_generation;
}

void VideoFrameSlot::endStream(quint64 generation) {
    std::lock_guard lock(m_mutex);
    if (generation == m_generation) {
        m_streaming = false;
    }
}

bool VideoFrameSlot::publish(quint64 generation, QImage frame) {
    std::function<void()> firstFrameBlock;
    {
        std::lock_guard lock(m_mutex);
        if (!m_streaming || generation != m_generation) {
            return false;
        }
        m_latest = std::move(frame);
        m_received.fetch_add(1);
        m_receivedRate.tick(Clock::now());
        if (!m_repaintPending && m_target && m_onFrameReady) {
            m_repaintPending = true;
            m_repaintRequests.fetch_add(1);
            // Posted under the lock: the target clears itself under the same lock before it
            // dies, and a dying QObject drops the calls still queued for it.
            QMetaObject::invokeMethod(m_target, m_onFrameReady, Qt::QueuedConnection);
        }
        if (!m_firstFrameSeen) {
            m_firstFrameSeen = true;
            firstFrameBlock = m_firstFrameBlock;
        }
    }
    if (firstFrameBlock) {
        firstFrameBlock();
    }
    return true;
}

void VideoFrameSlot::acknowledgeRepaint() {
    std::lock_guard lock(m_mutex);
    m_repaintPending = false;
}

void VideoFrameSlot::notePainted() {
    std::lock_guard lock(m_mutex);
    m_painted.fetch_add(1);
    m_paintedRate.tick(Clock::now());
}

QImage VideoFrameSlot::latest() const {
    std::lock_guard lock(m_mutex);
    return m_latest;
}

qint32 VideoFrameSlot::receivedPerSecond() const {
    std::lock_guard lock(m_mutex);
    return m_receivedRate.value(Clock::now());
}

qint32 VideoFrameSlot::paintedPerSecond() const {
    std::lock_guard lock(m_mutex);
    return m_paintedRate.value(Clock::now());
}
