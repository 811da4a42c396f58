#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>

// The sink for a stream's sound. Receives 16-bit stereo PCM at 48 kHz from the SDK's stream
// thread; one player may serve several streams.
class KXDeviceAudioPlayer {
public:
    void play(const QByteArray& samples) { m_receivedBytes.fetch_add(samples.size()); }

    quint64 receivedBytes() const { return m_receivedBytes.load(); }

private:
    std::atomic<quint64> m_receivedBytes{0};
};
