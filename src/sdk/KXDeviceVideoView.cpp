#include "sdk/KXDeviceVideoView.h"

#include "sdk/VideoFrameSlot.h"

#include <QPainter>

KXDeviceVideoView::KXDeviceVideoView(QWidget* parent)
    : QWidget(parent), m_slot(std::make_shared<VideoFrameSlot>()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_slot->setRepaintTarget(this, [this] { frameReady(); });
}

KXDeviceVideoView::~KXDeviceVideoView() {
    // A stream may outlive the view: its producer keeps the slot but can no longer reach us.
    m_slot->setRepaintTarget(nullptr, {});
    m_slot->setFirstFrameBlock({});
}

void KXDeviceVideoView::setOnFirstVideoFrame(std::function<void()> block) {
    m_slot->setFirstFrameBlock(std::move(block));
}

qint32 KXDeviceVideoView::fps() const {
    return m_slot->paintedPerSecond();
}

qint32 KXDeviceVideoView::netFps() const {
    return m_slot->receivedPerSecond();
}

QImage KXDeviceVideoView::currentFrame() const {
    return m_slot->latest();
}

quint64 KXDeviceVideoView::receivedFrameCount() const {
    return m_slot->receivedFrameCount();
}

quint64 KXDeviceVideoView::paintedFrameCount() const {
    return m_slot->paintedFrameCount();
}

quint64 KXDeviceVideoView::repaintRequestCount() const {
    return m_slot->repaintRequestCount();
}

void KXDeviceVideoView::frameReady() {
    m_slot->acknowledgeRepaint();
    update();
}

void KXDeviceVideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage frame = m_slot->latest();
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.drawImage(rect(), frame);
    m_slot->notePainted();
}
