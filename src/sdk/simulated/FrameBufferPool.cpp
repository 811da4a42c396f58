#include "sdk/simulated/FrameBufferPool.h"

#include <atomic>

#if defined(Q_OS_UNIX)
#include <sys/mman.h>
#endif

namespace {

#if defined(Q_OS_UNIX)
struct Mapping {
    void* address;
    size_t length;
};

void unmap(void* info) {
    const auto* mapping = static_cast<Mapping*>(info);
    munmap(mapping->address, mapping->length);
    delete mapping;
}
#endif

// A picture whose pixels are a mapping of their own; on the heap where mappings are not to be
// had.
QImage mappedPicture(const QSize& size, QImage::Format format) {
    if (size.isEmpty()) {
        return {};
    }
#if defined(Q_OS_UNIX)
    const int bitsPerPixel = QImage::toPixelFormat(format).bitsPerPixel();
    // Lines padded to 32 bits, as QImage lays out its own.
    const qsizetype bytesPerLine = ((qsizetype(size.width()) * bitsPerPixel + 31) / 32) * 4;
    const auto length = size_t(bytesPerLine) * size_t(size.height());
    void* address =
        mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address != MAP_FAILED) {
        return QImage(static_cast<uchar*>(address), size.width(), size.height(), bytesPerLine,
                      format, &unmap, new Mapping{address, length});
    }
#endif
    return QImage(size, format);
}

}  // namespace

FrameBufferPool::FrameBufferPool(const QSize& size, QImage::Format format, int capacity)
    : m_size(size), m_format(format), m_capacity(capacity) {}

QImage& FrameBufferPool::next() {
    for (QImage& buffer : m_buffers) {
        if (buffer.isDetached()) {
            // What other threads read from the picture before they let go of it is done.
            std::atomic_thread_fence(std::memory_order_acquire);
            return buffer;
        }
    }
    if (m_buffers.size() < m_capacity) {
        m_buffers.append(mappedPicture(m_size, m_format));
        return m_buffers.last();
    }
    m_spare = mappedPicture(m_size, m_format);
    return m_spare;
}
