#include "sdk/simulated/SimulatedSession.h"

#include "sdk/KXErrorCode.h"
#include "sdk/SdkRuntime.h"
#include "sdk/VideoFrameSlot.h"
#include "sdk/simulated/FrameBufferPool.h"
#include "sdk/simulated/SimulatedDevice.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <atomic>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAudioBytesPerSecond = 48000 * 2 * 2;
constexpr int kPooledFrames = 3;

// Absurd sizes are clamped rather than allocated.
QSize pictureSize(KXSizeObc asked, const KXSizeObc& screen) {
    if (asked.width() == 0 || asked.height() == 0) {
        asked = screen;
    }
    const auto side = [](quint32 value) {
        return static_cast<int>(std::clamp<quint32>(value, 16, 4096));
    };
    return {side(asked.width()), side(asked.height())};
}

std::optional<Clock::duration> timeout(std::optional<qint32> seconds) {
    if (!seconds || *seconds <= 0) {
        return std::nullopt;
    }
    return std::chrono::seconds(*seconds);
}

Error closedError() {
    return Error{KXErrorCode::deviceDomain, KXErrorCode::deviceClosed,
                 QStringLiteral("device is closed")};
}

Result<QByteArray> encode(const QImage& image, quint8 format, qint32 quality) {
    static const char* const formats[] = {"jpeg", "webp", "png"};
    if (format >= std::size(formats)) {
        return Error{KXErrorCode::deviceDomain, KXErrorCode::unsupportedFormat,
                     QStringLiteral("unsupported image format %1").arg(format)};
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, formats[format]);
    writer.setQuality(quality >= 0 && quality <= 100 ? quality : -1);
    if (!writer.write(image)) {
        return Error{KXErrorCode::deviceDomain, KXErrorCode::encodingFailed, writer.errorString()};
    }
    return data;
}

}  // namespace

struct SimulatedSession::Stream {
    KXMediaParamsObc params;
    StreamTarget target;
    std::weak_ptr<SimulatedDevice> device;
    std::weak_ptr<DeviceLinkListener> listener;
    std::weak_ptr<SimulatedSession> session;
    std::atomic<bool> readyDelivered{false};
    std::atomic<Clock::rep> lastInput{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;

    void halt() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
        // A stream stopped from its own thread (a delegate reacting to its first frame) cannot
        // wait for itself; it ends at its next tick.
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else if (thread.joinable()) {
            thread.join();
        }
    }
};

SimulatedSession::SimulatedSession(std::weak_ptr<SimulatedDevice> device,
                                   std::weak_ptr<DeviceLinkListener> listener)
    : m_device(std::move(device)), m_listener(std::move(listener)) {}

SimulatedSession::~SimulatedSession() {
    close();
}

bool SimulatedSession::isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

bool SimulatedSession::isStreaming() const {
    std::lock_guard lock(m_mutex);
    return m_stream != nullptr;
}

void SimulatedSession::deliver(const DeviceEvent& event) {
    if (!isOpen()) {
        return;
    }
    if (const auto listener = m_listener.lock()) {
        listener->linkEvent(event);
    }
    if (event.kind == DeviceEvent::Kind::kickout) {
        close();
    }
}

void SimulatedSession::startStream(const KXMediaParamsObc& params, const StreamTarget& target) {
    stopStream();
    const auto device = m_device.lock();
    if (!device || !target.slot || !isOpen()) {
        return;
    }
    auto stream = std::make_shared<Stream>();
    stream->params = params;
    stream->target = target;
    stream->device = m_device;
    stream->listener = m_listener;
    stream->session = weak_from_this();
    device->recordStreamStart(params);
    // The client hears that the stream is ready before the first picture arrives.
    device->runOnDeviceThread([stream] {
        if (const auto session = stream->session.lock()) {
            session->deliver(DeviceEvent::realPlayReady());
        }
        stream->readyDelivered = true;
    });
    stream->thread = std::thread([stream] { renderLoop(stream); });
    bool open = false;
    {
        std::lock_guard lock(m_mutex);
        open = m_open;
        if (open) {
            m_stream = stream;
        }
    }
    if (!open) {
        stream->halt();
    }
}

void SimulatedSession::stopStream() {
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard lock(m_mutex);
        stream = std::exchange(m_stream, nullptr);
    }
    if (stream) {
        stream->halt();
    }
}

void SimulatedSession::sendTouch(const TouchRecord& touch) {
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard lock(m_mutex);
        if (!m_open) {
            return;
        }
        stream = m_stream;
    }
    if (stream) {
        stream->lastInput = Clock::now().time_since_epoch().count();
    }
    if (const auto device = m_device.lock()) {
        device->recordTouch(touch);
    }
}

void SimulatedSession::sendControl(const DeviceControl& control) {
    const auto device = m_device.lock();
    if (device && isOpen()) {
        device->recordControl(control);
    }
}

void SimulatedSession::request(const DeviceRequest& request, DeviceReplyCompletion completion) {
    const auto device = m_device.lock();
    if (!device || !isOpen()) {
        SdkRuntime::instance().answer([completion = std::move(completion)] {
            completion(DeviceReply::failure(closedError()));
        });
        return;
    }
    device->runOnDeviceThread([weakDevice = m_device, request, completion = std::move(completion)] {
        const auto owner = weakDevice.lock();
        completion(owner ? owner->answer(request) : DeviceReply::failure(closedError()));
    });
}

void SimulatedSession::refreshToken(const QString& token) {
    const auto device = m_device.lock();
    if (device && isOpen()) {
        device->recordToken(token);
    }
}

void SimulatedSession::kickoutOther() {
    const auto device = m_device.lock();
    if (device && isOpen()) {
        device->kickOthers(this);
    }
}

void SimulatedSession::requestPreview(const KXSizeObc& size, qint32 quality, quint8 format,
                                      PreviewCompletion completion) {
    const auto device = m_device.lock();
    if (!device || !isOpen()) {
        SdkRuntime::instance().answer(
            [completion = std::move(completion)] { completion(std::nullopt, closedError()); });
        return;
    }
    device->recordPreview({size, quality, format});
    device->runOnDeviceThread(
        [weakDevice = m_device, size, quality, format, completion = std::move(completion)] {
            const auto owner = weakDevice.lock();
            if (!owner) {
                completion(std::nullopt, closedError());
                return;
            }
            if (const auto error = owner->previewError()) {
                completion(std::nullopt, error);
                return;
            }
            const QSize frameSize = pictureSize(size, owner->profile().screenSize);
            const auto data = encode(owner->picture().render(frameSize), format, quality);
            if (!data) {
                completion(std::nullopt, data.error());
                return;
            }
            KXImageObc image;
            image.setImageData(data.value());
            image.setSize(KXSizeObc(static_cast<quint32>(frameSize.width()),
                                    static_cast<quint32>(frameSize.height())));
            image.setFormat(format);
            image.setRotation(static_cast<int>(owner->rotation()));
            image.setDevice_rotation(static_cast<int>(owner->rotation()));
            completion(image, std::nullopt);
        });
}

void SimulatedSession::close() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_open) {
            return;
        }
        m_open = false;
    }
    stopStream();
    if (const auto device = m_device.lock()) {
        device->detach(this);
    }
}

void SimulatedSession::renderLoop(const std::shared_ptr<Stream>& stream) {
    const KXMediaParamsObc& params = stream->params;
    const int fps = std::clamp<qint32>(params.fps(), 1, 120);
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
    const auto noStreamTimeout = timeout(params.noStreamTimeout());
    const auto noOpTimeout = timeout(params.noOpTimeout());
    const QByteArray silence(kAudioBytesPerSecond / fps, '\0');
    QSize frameSize;
    if (const auto device = stream->device.lock()) {
        frameSize = pictureSize(params.captureSize(), device->profile().screenSize);
    } else {
        return;
    }

    // The slot holds the newest frame and the view may still paint the one before while the
    // next is drawn.
    FrameBufferPool frames(frameSize, QImage::Format_RGB32, kPooledFrames);

    const Clock::time_point started = Clock::now();
    Clock::time_point next = started;
    Clock::time_point lastFrame = started;
    Clock::time_point lastStat = started;
    Clock::time_point idleSince = started;
    bool streamTimeoutReported = false;
    bool noOpReported = false;
    int framesThisSecond = 0;
    quint64 frameNumber = 0;

    for (;;) {
        {
            std::unique_lock lock(stream->mutex);
            if (stream->wake.wait_until(lock, next, [&] { return stream->stop; })) {
                return;
            }
        }
        const Clock::time_point now = Clock::now();
        next += interval;
        if (next <= now) {
            next = now + interval;  // fell behind: drop the missed ticks rather than burst
        }
        const auto device = stream->device.lock();
        if (!device) {
            return;
        }
        if (!stream->readyDelivered) {
            lastFrame = now;
            continue;
        }

        if (device->isStalled(now)) {
            if (noStreamTimeout && !streamTimeoutReported && now - lastFrame >= *noStreamTimeout) {
                device->post(stream->session, DeviceEvent::streamTimeout());
                streamTimeoutReported = true;
            }
        } else {
            TestPicture picture = device->picture();
            picture.frameNumber = ++frameNumber;
            QImage& frame = frames.next();
            picture.drawInto(frame);
            stream->target.slot->publish(stream->target.generation, frame);
            device->noteFrameRendered();
            ++framesThisSecond;
            lastFrame = now;
            streamTimeoutReported = false;
            if (!params.mute()) {
                if (const auto listener = stream->listener.lock()) {
                    listener->linkAudio(silence);
                }
            }
        }

        const Clock::time_point lastInput{Clock::duration(stream->lastInput.load())};
        if (lastInput > idleSince) {
            idleSince = lastInput;
            noOpReported = false;
        }
        if (noOpTimeout && !noOpReported && now - idleSince >= *noOpTimeout) {
            device->post(stream->session, DeviceEvent::noOpTimeout());
            noOpReported = true;
        }

        if (now - lastStat >= std::chrono::seconds(1)) {
            const auto network = device->networkConditions();
            device->post(stream->session, DeviceEvent::netStat(QVariantMap{
                                              {QStringLiteral("fps"), framesThisSecond},
                                              {QStringLiteral("netFps"), framesThisSecond},
                                              {QStringLiteral("rtt"), network.rttMs},
                                              {QStringLiteral("loss"), network.lossPercent},
                                              {QStringLiteral("bitrate"), params.bitrateKbps()},
                                          }));
            framesThisSecond = 0;
            lastStat = now;
        }
    }
}
