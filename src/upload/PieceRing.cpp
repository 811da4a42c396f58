#include "upload/PieceRing.h"

#include <algorithm>

PieceRing::PieceRing(std::size_t pieceSize, std::size_t pieceCount, std::vector<Consumer> consumers)
    : m_pieceSize(pieceSize),
      m_sizes(std::max<std::size_t>(pieceCount, 1), 0),
      m_consumers(std::move(consumers)),
      m_consumed(m_consumers.size(), 0) {
    for (std::size_t i = 0; i < m_sizes.size(); ++i) {
        m_pieces.emplace_back(new char[m_pieceSize]);
    }
    for (std::size_t consumer = 0; consumer < m_consumers.size(); ++consumer) {
        m_threads.emplace_back([this, consumer] { consume(consumer); });
    }
}

PieceRing::~PieceRing() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

std::uint64_t PieceRing::slowestConsumed() const {
    return m_consumed.empty() ? m_handedOver
                              : *std::min_element(m_consumed.begin(), m_consumed.end());
}

char* PieceRing::nextPiece() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_handedOver - slowestConsumed() < m_pieces.size(); });
    return m_pieces[m_handedOver % m_pieces.size()].get();
}

void PieceRing::handOver(std::size_t size) {
    {
        std::lock_guard lock(m_mutex);
        m_sizes[m_handedOver % m_pieces.size()] = size;
        ++m_handedOver;
    }
    m_changed.notify_all();
}

void PieceRing::finish() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return slowestConsumed() == m_handedOver; });
}

void PieceRing::consume(std::size_t consumer) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(
            lock, [this, consumer] { return m_consumed[consumer] < m_handedOver || m_closing; });
        if (m_consumed[consumer] == m_handedOver) {
            return;
        }
        const std::size_t slot = m_consumed[consumer] % m_pieces.size();
        const char* data = m_pieces[slot].get();
        const std::size_t size = m_sizes[slot];
        lock.unlock();
        m_consumers[consumer](data, size);
        lock.lock();
        ++m_consumed[consumer];
        m_changed.notify_all();
    }
}
