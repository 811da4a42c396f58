#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A few buffers that one thread fills in turn and that consumers, each on a thread of its own,
// take in the same order: one read of a file feeds several digests at once. The filling thread
// runs ahead of the slowest consumer by up to the whole ring before it waits, so a consumer woken
// late does not stall the reading.
class PieceRing {
public:
    using Consumer = std::function<void(const char* data, std::size_t size)>;

    PieceRing(std::size_t pieceSize, std::size_t pieceCount, std::vector<Consumer> consumers);
    // Lets the consumers finish what was handed over, then ends their threads.
    ~PieceRing();
    PieceRing(const PieceRing&) = delete;
    PieceRing& operator=(const PieceRing&) = delete;

    // The buffer for the next piece, once every consumer is done with what it held before.
    char* nextPiece();
    // Hands the buffer of the last `nextPiece` to the consumers, `size` bytes of it. The filling
    // thread may go on reading it, never writing it.
    void handOver(std::size_t size);
    // Returns once every consumer has taken every piece handed over.
    void finish();

private:
    void consume(std::size_t consumer);
    std::uint64_t slowestConsumed() const;

    const std::size_t m_pieceSize;
    std::vector<std::unique_ptr<char[]>> m_pieces;
    std::vector<std::size_t> m_sizes;
    std::vector<Consumer> m_consumers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_handedOver = 0;
    std::vector<std::uint64_t> m_consumed;
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};
