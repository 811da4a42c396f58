#include "session/CloudPhoneRenderView.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/SerialQueue.h"
#include "foundation/logging/ConsoleFormat.h"
#include "session/SampleBufferDisplayLayer.h"
#include "session/ViewLayer.h"

#include <QEvent>
#include <QPainter>

namespace {

constexpr qint32 kTimebaseTimescale = 600;
constexpr int kDisplayIntervalMs = 8;

}  // namespace

CloudPhoneRenderView::CloudPhoneRenderView(QWidget* parent)
    : CloudPhoneRenderView(ControlTimebase::hostClock(), parent) {}

CloudPhoneRenderView::CloudPhoneRenderView(ControlTimebase::Clock timebaseClock, QWidget* parent)
    : QWidget(parent),
      m_state(std::make_shared<State>()),
      m_self(this),
      m_renderQueue(std::make_unique<SerialQueue>(QStringLiteral("cloudphone.render.queue"))) {
    m_state->displayLayer = std::make_shared<SampleBufferDisplayLayer>();
    m_state->displayLayer->setBackgroundColor(Qt::green);
    m_state->displayLayer->setDisplayTarget(this, [this] { displayLayerNeedsDisplay(); });

    ViewLayer::ensure(this)->setBackgroundColor(Qt::black);
    setFocusPolicy(Qt::ClickFocus);
    setupControlTimebase(timebaseClock);
    fitDisplayLayer();

    m_displayTimer.setInterval(kDisplayIntervalMs);
    connect(&m_displayTimer, &QTimer::timeout, this, [this] { showDueFrames(); });
}

CloudPhoneRenderView::~CloudPhoneRenderView() {
    SampleBufferDisplayLayer& layer = *m_state->displayLayer;
    layer.setDisplayTarget(nullptr, {});
    layer.flushAndRemoveImage();
}

void CloudPhoneRenderView::setupControlTimebase(const ControlTimebase::Clock& clock) {
    auto timebase = ControlTimebase::create(clock);
    if (!timebase) {
        ConsoleFormat::print(QStringLiteral("[Render][Error] Failed to create controlTimebase: ") +
                             QString::number(timebase.error().code));
        return;
    }
    m_state->displayLayer->setControlTimebase(timebase.value());
    ConsoleFormat::print(QStringLiteral("[Render] controlTimebase created"));
}

void CloudPhoneRenderView::setOnFirstFrameRendered(std::function<void()> callback) {
    m_onFirstFrameRendered = std::move(callback);
}

bool CloudPhoneRenderView::isFirstFrame() const {
    return m_state->isFirstFrame.load();
}

bool CloudPhoneRenderView::needSetTimeBase() const {
    return m_state->needSetTimeBase.load();
}

qint32 CloudPhoneRenderView::videoSampleBuffer(std::shared_ptr<const VideoSampleBuffer> buffer) {
    if (!buffer) {
        ConsoleFormat::print(QStringLiteral("[Render] videoSampleBuffer is nil"));
        return -1;
    }
    m_renderQueue->async(
        [state = std::weak_ptr<State>(m_state), self = m_self, buffer = std::move(buffer)] {
            if (!state.lock()) {
                return;
            }
            MainQueue::async([self, buffer] {
                if (self) {
                    self->renderSampleBuffer(buffer);
                }
            });
        });
    return 0;
}

void CloudPhoneRenderView::videoFormatDesc(const VideoFormatDescription& description) {
    ConsoleFormat::print(QStringLiteral("[Render] videoFormatDesc:") + description.description());
    // The timebase keeps running: only the next frame counts as a first one again.
    m_renderQueue->async([weakState = std::weak_ptr<State>(m_state)] {
        if (const auto state = weakState.lock()) {
            state->isFirstFrame = true;
            state->displayLayer->flushAndRemoveImage();
        }
    });
}

void CloudPhoneRenderView::renderSampleBuffer(
    const std::shared_ptr<const VideoSampleBuffer>& buffer) {
    SampleBufferDisplayLayer& layer = *m_state->displayLayer;
    if (!buffer->isValid() || !buffer->dataIsReady()) {
        ConsoleFormat::print(QStringLiteral("[Render] Invalid or not ready sampleBuffer"));
        return;
    }
    if (layer.status() == SampleBufferDisplayLayer::Status::failed) {
        ConsoleFormat::print(
            QStringLiteral("[Render] Layer is in a failed state, attempting to reset."));
        layer.flushAndRemoveImage();
        m_state->isFirstFrame = true;
        m_state->needSetTimeBase = true;
        return;
    }
    const MediaTime presentationTime = buffer->presentationTimeStamp();
    const QString seconds = ConsoleFormat::number(presentationTime.seconds());
    const QString keyFrame = ConsoleFormat::boolean(buffer->isKeyFrame());
    if (!layer.isReadyForMoreMediaData()) {
        ConsoleFormat::print(QStringLiteral("[Render] layer not ready, skip frame with PTS: ") +
                             seconds + QStringLiteral(",isKeyFrame:") + keyFrame);
        return;
    }
    if (m_state->needSetTimeBase.exchange(false)) {
        if (const auto timebase = layer.controlTimebase()) {
            timebase->setTime(
                MediaTime::fromSeconds(presentationTime.seconds(), kTimebaseTimescale));
            timebase->setRate(1.0);
            ConsoleFormat::print(QStringLiteral("[Render] Timebase started at PTS: ") + seconds);
        }
    }
    if (m_state->isFirstFrame.exchange(false) && m_onFirstFrameRendered) {
        m_onFirstFrameRendered();
    }
    layer.enqueue(buffer);
    ConsoleFormat::print(QStringLiteral("[Render] Successfully enqueued frame with PTS: ") +
                         seconds + QStringLiteral(",isKeyFrame:") + keyFrame);
}

void CloudPhoneRenderView::displayLayerNeedsDisplay() {
    update();
    showDueFrames();
}

void CloudPhoneRenderView::showDueFrames() {
    SampleBufferDisplayLayer& layer = *m_state->displayLayer;
    if (layer.advance()) {
        update();
    }
    if (layer.hasPendingFrames()) {
        if (!m_displayTimer.isActive()) {
            m_displayTimer.start();
        }
    } else {
        m_displayTimer.stop();
    }
}

void CloudPhoneRenderView::fitDisplayLayer() {
    m_state->displayLayer->setFrame(rect());
}

bool CloudPhoneRenderView::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange && parentWidget()) {
        fitDisplayLayer();
    }
    return QWidget::event(event);
}

void CloudPhoneRenderView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitDisplayLayer();
}

void CloudPhoneRenderView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_state->displayLayer->paint(painter);
}
