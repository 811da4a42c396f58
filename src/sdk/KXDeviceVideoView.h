#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

class VideoFrameSlot;

// The surface a device's live stream is drawn into. The SDK hands each decoded picture to the
// view's frame slot from its own thread; the view paints the newest one on the GUI thread.
class KXDeviceVideoView : public QWidget {
    Q_OBJECT

public:
    explicit KXDeviceVideoView(QWidget* parent = nullptr);
    ~KXDeviceVideoView() override;

    // Called once per stream, after its first picture reached the view, on an SDK thread.
    void setOnFirstVideoFrame(std::function<void()> block);

    // Pictures painted and pictures received during the last whole second.
    qint32 fps() const;
    qint32 netFps() const;

    QImage currentFrame() const;
    quint64 receivedFrameCount() const;
    quint64 paintedFrameCount() const;
    // Repaint calls queued to the GUI thread; at most one is pending at any time.
    quint64 repaintRequestCount() const;

    // For the SDK's device object.
    std::shared_ptr<VideoFrameSlot> frameSlot() const { return m_slot; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void frameReady();

    std::shared_ptr<VideoFrameSlot> m_slot;
};
