#pragma once

#include "sdk/KXDeviceVideoDelegate.h"
#include "session/ControlTimebase.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class SampleBufferDisplayLayer;
class SerialQueue;

// A frame sink that shows a stream's sample buffers on a display layer driven by its own
// timebase. The first frame after creation, after a format change and after a layer failure is a
// first frame: `onFirstFrameRendered` runs (GUI thread) just before it is enqueued. The timebase
// starts at the presentation time of the first frame after creation or after a failure and runs
// on through format changes. Buffers and format changes may come on any thread; buffers are shown
// on the GUI thread in arrival order. Console lines start with "[Render]".
class CloudPhoneRenderView : public QWidget, public KXDeviceVideoDelegate {
    Q_OBJECT

public:
    explicit CloudPhoneRenderView(QWidget* parent = nullptr);
    // With the source clock of the display layer's timebase; an empty clock leaves the layer
    // without a timebase, showing every frame as it comes.
    explicit CloudPhoneRenderView(ControlTimebase::Clock timebaseClock, QWidget* parent = nullptr);
    ~CloudPhoneRenderView() override;

    void setOnFirstFrameRendered(std::function<void()> callback);

    bool isFirstFrame() const;
    bool needSetTimeBase() const;
    SampleBufferDisplayLayer& displayLayer() const { return *m_state->displayLayer; }

    void videoFormatDesc(const VideoFormatDescription& description) override;
    qint32 videoSampleBuffer(std::shared_ptr<const VideoSampleBuffer> buffer) override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // What the render queue shares with the view; it outlives neither's need of it.
    struct State {
        std::atomic<bool> isFirstFrame{true};
        std::atomic<bool> needSetTimeBase{true};
        std::shared_ptr<SampleBufferDisplayLayer> displayLayer;
    };

    void setupControlTimebase(const ControlTimebase::Clock& clock);
    void renderSampleBuffer(const std::shared_ptr<const VideoSampleBuffer>& buffer);
    void displayLayerNeedsDisplay();
    // Frames wait on the layer until the timebase reaches them.
    void showDueFrames();
    void fitDisplayLayer();

    std::function<void()> m_onFirstFrameRendered;
    std::shared_ptr<State> m_state;
    QPointer<CloudPhoneRenderView> m_self;
    QTimer m_displayTimer;
    // Last: destroyed first, finishing the work it still holds while the view is whole.
    std::unique_ptr<SerialQueue> m_renderQueue;
};
