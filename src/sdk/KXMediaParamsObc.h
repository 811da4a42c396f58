#pragma once

#include "sdk/KXSizeObc.h"

#include <QtGlobal>

#include <optional>

// What a live stream is asked for. A time-out that was never set keeps the SDK's default
// (no time-out).
class KXMediaParamsObc {
public:
    void setVideoType(int videoType) { m_videoType = videoType; }
    int videoType() const { return m_videoType; }

    void setBitrateKbps(quint32 bitrateKbps) { m_bitrateKbps = bitrateKbps; }
    quint32 bitrateKbps() const { return m_bitrateKbps; }

    void setFps(qint32 fps) { m_fps = fps; }
    qint32 fps() const { return m_fps; }

    void setCaptureSize(const KXSizeObc& size) { m_captureSize = size; }
    const KXSizeObc& captureSize() const { return m_captureSize; }

    void setClientSize(const KXSizeObc& size) { m_clientSize = size; }
    const KXSizeObc& clientSize() const { return m_clientSize; }

    void setMute(bool mute) { m_mute = mute; }
    bool mute() const { return m_mute; }

    void setNoOpTimeout(qint32 seconds) { m_noOpTimeout = seconds; }
    std::optional<qint32> noOpTimeout() const { return m_noOpTimeout; }

    void setNoStreamTimeout(qint32 seconds) { m_noStreamTimeout = seconds; }
    std::optional<qint32> noStreamTimeout() const { return m_noStreamTimeout; }

    bool operator==(const KXMediaParamsObc&) const = default;

private:
    int m_videoType = 0;
    quint32 m_bitrateKbps = 0;
    qint32 m_fps = 30;
    KXSizeObc m_captureSize;
    KXSizeObc m_clientSize;
    bool m_mute = false;
    std::optional<qint32> m_noOpTimeout;
    std::optional<qint32> m_noStreamTimeout;
};
