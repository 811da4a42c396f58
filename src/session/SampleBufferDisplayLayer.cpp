#include "session/SampleBufferDisplayLayer.h"

#include "session/ControlTimebase.h"

#include <QPainter>

#include <cmath>

namespace {

QImage decode(const VideoSampleBuffer& buffer) {
    switch (buffer.formatDescription().codec()) {
        case VideoCodec::decoded:
            return buffer.image();
        case VideoCodec::jpeg:
            return QImage::fromData(buffer.data(), "JPG");
        case VideoCodec::png:
            return QImage::fromData(buffer.data(), "PNG");
    }
    return {};
}

}  // namespace

void SampleBufferDisplayLayer::setDisplayTarget(QObject* target,
                                                std::function<void()> onNeedsDisplay) {
    std::lock_guard lock(m_mutex);
    m_target = target;
    m_onNeedsDisplay = std::move(onNeedsDisplay);
    m_notifyPending = false;
}

void SampleBufferDisplayLayer::notifyLocked() {
    if (m_notifyPending || !m_target || !m_onNeedsDisplay) {
        return;
    }
    m_notifyPending = true;
    // Posted under the lock: the target clears itself under the same lock before it dies, and
    // a dying QObject drops the calls still queued for it.
    QMetaObject::invokeMethod(
        m_target,
        [this, notify = m_onNeedsDisplay] {
            {
                std::lock_guard lock(m_mutex);
                m_notifyPending = false;
            }
            notify();
        },
        Qt::QueuedConnection);
}

QRectF SampleBufferDisplayLayer::frame() const {
    std::lock_guard lock(m_mutex);
    return m_frame;
}

void SampleBufferDisplayLayer::setFrame(const QRectF& frame) {
    std::lock_guard lock(m_mutex);
    m_frame = frame;
}

QColor SampleBufferDisplayLayer::backgroundColor() const {
    std::lock_guard lock(m_mutex);
    return m_backgroundColor;
}

void SampleBufferDisplayLayer::setBackgroundColor(const QColor& color) {
    std::lock_guard lock(m_mutex);
    m_backgroundColor = color;
}

std::shared_ptr<ControlTimebase> SampleBufferDisplayLayer::controlTimebase() const {
    std::lock_guard lock(m_mutex);
    return m_timebase;
}

void SampleBufferDisplayLayer::setControlTimebase(std::shared_ptr<ControlTimebase> timebase) {
    std::lock_guard lock(m_mutex);
    m_timebase = std::move(timebase);
}

SampleBufferDisplayLayer::Status SampleBufferDisplayLayer::status() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}

std::optional<Error> SampleBufferDisplayLayer::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

bool SampleBufferDisplayLayer::isReadyForMoreMediaData() const {
    std::lock_guard lock(m_mutex);
    return m_status != Status::failed && m_pending.size() < kMaxPendingFrames;
}

void SampleBufferDisplayLayer::enqueue(const std::shared_ptr<const VideoSampleBuffer>& buffer) {
    if (!buffer) {
        return;
    }
    QImage image = decode(*buffer);
    std::lock_guard lock(m_mutex);
    if (m_status == Status::failed) {
        return;
    }
    if (image.isNull()) {
        m_status = Status::failed;
        m_error =
            Error{QStringLiteral("SampleBufferDisplayLayer"), -1,
                  QStringLiteral("视频帧无法解码：") + buffer->formatDescription().description()};
        return;
    }
    const MediaTime time = buffer->presentationTimeStamp();
    m_pending.push_back({std::move(image), time.seconds(), !time.isValid()});
    m_status = Status::rendering;
    ++m_enqueued;
    notifyLocked();
}

void SampleBufferDisplayLayer::flush() {
    std::lock_guard lock(m_mutex);
    m_pending.clear();
    if (m_status == Status::failed) {
        m_status = Status::unknown;
        m_error.reset();
    }
}

void SampleBufferDisplayLayer::flushAndRemoveImage() {
    flush();
    std::lock_guard lock(m_mutex);
    m_image = QImage();
    notifyLocked();
}

bool SampleBufferDisplayLayer::advance() {
    std::shared_ptr<ControlTimebase> timebase = controlTimebase();
    const double now = timebase ? timebase->seconds() : INFINITY;
    std::lock_guard lock(m_mutex);
    bool changed = false;
    while (!m_pending.empty() &&
           (m_pending.front().due || m_pending.front().presentationSeconds <= now)) {
        m_image = std::move(m_pending.front().image);
        m_pending.pop_front();
        changed = true;
    }
    return changed;
}

bool SampleBufferDisplayLayer::hasPendingFrames() const {
    std::lock_guard lock(m_mutex);
    return !m_pending.empty();
}

QImage SampleBufferDisplayLayer::image() const {
    std::lock_guard lock(m_mutex);
    return m_image;
}

quint64 SampleBufferDisplayLayer::enqueuedFrameCount() const {
    std::lock_guard lock(m_mutex);
    return m_enqueued;
}

void SampleBufferDisplayLayer::paint(QPainter& painter) const {
    std::lock_guard lock(m_mutex);
    if (m_backgroundColor.isValid()) {
        painter.fillRect(m_frame, m_backgroundColor);
    }
    if (!m_image.isNull()) {
        painter.drawImage(m_frame, m_image);
    }
}
