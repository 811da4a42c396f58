#pragma once

#include "session/DeviceRealTimeOptions.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

class QTimer;
class SettingsManager;

// What the idle policy does to its window's stream.
class IdlePolicyHost {
public:
    virtual ~IdlePolicyHost() = default;

    // The stream shows a picture: its player exists.
    virtual bool hasPlayer() const = 0;
    // The quality the user chose for the window.
    virtual VideoQuality selectedVideoQuality() const = 0;
    virtual void setVideoQuality(VideoQuality quality) = 0;
    // The stream's own no-operation timeout in seconds, 0 for none.
    virtual void setOperationTimeout(int seconds) = 0;
    // Ends simulated input, stops the stream and offers Reconnect.
    virtual void disconnect() = 0;
    // Starts the stream again; the device's next orientation is applied even when unchanged.
    virtual void reconnect() = 0;
};

// A device window nobody used for 180 s either lowers its stream to the lowest quality (the
// "reduce-bitrate-mode" setting on) or stops it and offers Reconnect (off); use restores the
// quality, Reconnect the stream. A repeating check sees the idle time, so the action comes up to
// one interval late. Its decisions depend on nothing but its clock, its settings and what it was
// told; their effects go to the host. GUI thread only.
class IdlePolicy : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr double kCloudPhoneIdleTimeout = 180;  // seconds
    // The stream's own no-operation timeout in disconnect mode, in seconds.
    static constexpr int kDisconnectModeOperationTimeout = 180;

    // An empty clock is the monotonic one. Watching starts with `applyIdlePolicy`.
    IdlePolicy(IdlePolicyHost& host, const SettingsManager& settings, Clock clock,
               std::chrono::milliseconds checkInterval, QObject* parent = nullptr);
    ~IdlePolicy() override;

    // The setting, trimmed and lower-cased, is "on", "true" or "1".
    bool isReduceBitrateModeEnabled() const;
    // Reads the setting again and restarts the watch; a window that idled out comes back.
    void applyIdlePolicy();
    // The user worked in this window.
    void handleLocalInteractionEvent();
    // The user asked for the stream again.
    void reconnectCloudPhone();
    // The window shows another device: connected, at the chosen quality, used just now.
    void deviceDidChange();
    // The window closes: no check runs any more.
    void stopIdleMonitor();

    bool isCloudPhoneIdleDisconnectEnabled() const { return m_isCloudPhoneIdleDisconnectEnabled; }
    bool isCloudPhoneDisconnectedForIdle() const { return m_isCloudPhoneDisconnectedForIdle; }
    bool isVideoQualityReducedForIdle() const { return m_isVideoQualityReducedForIdle; }
    std::chrono::steady_clock::time_point lastCloudPhoneInteractionDate() const {
        return m_lastCloudPhoneInteractionDate;
    }
    // The repeating check while the window watches, else nullptr.
    const QTimer* idleDisconnectTimer() const;

private Q_SLOTS:
    void idleCheckTick();

private:
    std::chrono::steady_clock::time_point now() const;
    void scheduleIdleCheckTimer();
    void reduceVideoQualityForIdle();
    void restoreVideoQualityAfterIdle();
    void disconnectForIdle();

    IdlePolicyHost& m_host;
    const SettingsManager& m_settings;
    Clock m_clock;
    std::chrono::milliseconds m_cloudPhoneIdleCheckInterval;
    std::chrono::steady_clock::time_point m_lastCloudPhoneInteractionDate;
    QPointer<QTimer> m_idleDisconnectTimer;
    bool m_isCloudPhoneIdleDisconnectEnabled = false;
    bool m_isCloudPhoneDisconnectedForIdle = false;
    bool m_isVideoQualityReducedForIdle = false;
};
