#pragma once

#include <QImage>
#include <QList>
#include <QSize>

// The pictures a stream draws its frames into, reused from frame to frame as a decoder reuses its
// output buffers. Each buffer is a memory mapping of its own rather than heap memory: a mapping
// goes back to the system as soon as the last copy of its picture is released, whereas a freed
// heap block of a frame's size stays with the allocator arena of the thread that drew it, up to
// twice the largest block that arena freed. One thread draws; copies of the pictures it hands
// out may be read and released on any thread.
class FrameBufferPool {
public:
    FrameBufferPool(const QSize& size, QImage::Format format, int capacity);

    // The picture to draw the next frame into, before any copy of it is handed out: a kept one
    // that no copy refers to any more, else a new one, kept for reuse while fewer than
    // `capacity` are. Its content is whatever was drawn into it last.
    QImage& next();
    // Pictures kept for reuse.
    qsizetype size() const { return m_buffers.size(); }

private:
    QSize m_size;
    QImage::Format m_format;
    int m_capacity;
    QList<QImage> m_buffers;
    // A picture beyond the capacity, for a frame drawn while every kept one is still referred to.
    QImage m_spare;
};
