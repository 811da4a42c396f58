#include "devicewindow/IdlePolicy.h"

#include "foundation/settings/SettingsManager.h"

#include <QTimer>

IdlePolicy::IdlePolicy(IdlePolicyHost& host, const SettingsManager& settings, Clock clock,
                       std::chrono::milliseconds checkInterval, QObject* parent)
    : QObject(parent),
      m_host(host),
      m_settings(settings),
      m_clock(std::move(clock)),
      m_cloudPhoneIdleCheckInterval(checkInterval),
      m_lastCloudPhoneInteractionDate(now()) {}

IdlePolicy::~IdlePolicy() = default;

std::chrono::steady_clock::time_point IdlePolicy::now() const {
    return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

bool IdlePolicy::isReduceBitrateModeEnabled() const {
    return m_settings.boolean(TypedSettings::reduceBitrateMode);
}

void IdlePolicy::applyIdlePolicy() {
    m_isCloudPhoneIdleDisconnectEnabled = !isReduceBitrateModeEnabled();
    m_host.setOperationTimeout(m_isCloudPhoneIdleDisconnectEnabled ? kDisconnectModeOperationTimeout
                                                                   : 0);
    restoreVideoQualityAfterIdle();
    // A change of mode brings back a window that idled out.
    if (m_isCloudPhoneDisconnectedForIdle) {
        m_isCloudPhoneDisconnectedForIdle = false;
        m_host.reconnect();
    }
    m_lastCloudPhoneInteractionDate = now();
    scheduleIdleCheckTimer();
}

void IdlePolicy::scheduleIdleCheckTimer() {
    delete m_idleDisconnectTimer;
    auto* timer = new QTimer(this);
    timer->setInterval(m_cloudPhoneIdleCheckInterval);
    connect(timer, &QTimer::timeout, this, &IdlePolicy::idleCheckTick);
    timer->start();
    m_idleDisconnectTimer = timer;
}

const QTimer* IdlePolicy::idleDisconnectTimer() const {
    return m_idleDisconnectTimer;
}

void IdlePolicy::idleCheckTick() {
    if (m_isCloudPhoneDisconnectedForIdle || m_isVideoQualityReducedForIdle) {
        return;
    }
    const double elapsed =
        std::chrono::duration<double>(now() - m_lastCloudPhoneInteractionDate).count();
    if (elapsed < kCloudPhoneIdleTimeout) {
        return;
    }
    if (isReduceBitrateModeEnabled()) {
        reduceVideoQualityForIdle();
    } else {
        disconnectForIdle();
    }
}

void IdlePolicy::handleLocalInteractionEvent() {
    // Only Reconnect brings back a stream stopped for idleness.
    if (m_isCloudPhoneDisconnectedForIdle) {
        return;
    }
    restoreVideoQualityAfterIdle();
    m_lastCloudPhoneInteractionDate = now();
}

void IdlePolicy::reduceVideoQualityForIdle() {
    if (m_isVideoQualityReducedForIdle || m_isCloudPhoneDisconnectedForIdle) {
        return;
    }
    // Without a stream there is nothing to lower; the next tick tries again.
    if (!m_host.hasPlayer()) {
        return;
    }
    m_isVideoQualityReducedForIdle = true;
    m_host.setVideoQuality(VideoQuality::p240);
}

void IdlePolicy::restoreVideoQualityAfterIdle() {
    if (!m_isVideoQualityReducedForIdle) {
        return;
    }
    m_isVideoQualityReducedForIdle = false;
    if (!m_isCloudPhoneDisconnectedForIdle && m_host.hasPlayer()) {
        m_host.setVideoQuality(m_host.selectedVideoQuality());
    }
}

void IdlePolicy::disconnectForIdle() {
    if (!m_isCloudPhoneIdleDisconnectEnabled || m_isCloudPhoneDisconnectedForIdle) {
        return;
    }
    m_isCloudPhoneDisconnectedForIdle = true;
    m_host.disconnect();
}

void IdlePolicy::reconnectCloudPhone() {
    m_isCloudPhoneDisconnectedForIdle = false;
    m_lastCloudPhoneInteractionDate = now();
    m_host.reconnect();
}

void IdlePolicy::deviceDidChange() {
    m_isCloudPhoneDisconnectedForIdle = false;
    m_isVideoQualityReducedForIdle = false;
    m_lastCloudPhoneInteractionDate = now();
}

void IdlePolicy::stopIdleMonitor() {
    delete m_idleDisconnectTimer;
}
