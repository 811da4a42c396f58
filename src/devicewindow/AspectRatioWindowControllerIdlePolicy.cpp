#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/ConnectionSpinner.h"
#include "devicewindow/LocalEventMonitor.h"
#include "foundation/settings/SettingsManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// The stream's own no-operation timeout in disconnect mode, in seconds.
constexpr int kDisconnectModeOperationTimeout = 180;

AspectRatioWindowController::Clock& installedClock() {
    static AspectRatioWindowController::Clock clock;
    return clock;
}

}  // namespace

void AspectRatioWindowController::setClock(Clock clock) {
    installedClock() = std::move(clock);
}

std::chrono::steady_clock::time_point AspectRatioWindowController::now() {
    const Clock& clock = installedClock();
    return clock ? clock() : std::chrono::steady_clock::now();
}

bool AspectRatioWindowController::isReduceBitrateModeEnabled() {
    const QString value = SettingsManager::shared()
                              .string(SettingKey::reduceBitrateMode)
                              .value_or(QString())
                              .trimmed()
                              .toLower();
    return value == QLatin1String("on") || value == QLatin1String("true") ||
           value == QLatin1String("1");
}

void AspectRatioWindowController::applyIdlePolicy() {
    m_isCloudPhoneIdleDisconnectEnabled = !isReduceBitrateModeEnabled();
    realTimeOptions().operationTimeout =
        m_isCloudPhoneIdleDisconnectEnabled ? kDisconnectModeOperationTimeout : 0;
    restoreVideoQualityAfterIdle();
    // A change of mode brings back a window that idled out.
    if (m_isCloudPhoneDisconnectedForIdle) {
        m_isCloudPhoneDisconnectedForIdle = false;
        m_shouldSyncCloudPhoneRotationAfterReconnect = true;
        startCloudPhoneConnection();
    }
    m_lastCloudPhoneInteractionDate = now();
    scheduleIdleCheckTimer();
}

void AspectRatioWindowController::scheduleIdleCheckTimer() {
    delete m_idleDisconnectTimer;
    auto* timer = new QTimer(this);
    timer->setInterval(std::chrono::milliseconds(qint64(m_cloudPhoneIdleCheckInterval * 1000)));
    connect(timer, &QTimer::timeout, this, &AspectRatioWindowController::idleCheckTick);
    timer->start();
    m_idleDisconnectTimer = timer;
}

QTimer* AspectRatioWindowController::idleDisconnectTimer() const {
    return m_idleDisconnectTimer;
}

void AspectRatioWindowController::idleCheckTick() {
    if (m_isCloudPhoneDisconnectedForIdle || m_isVideoQualityReducedForIdle) {
        return;
    }
    const double elapsed =
        std::chrono::duration<double>(now() - m_lastCloudPhoneInteractionDate).count();
    if (elapsed < m_cloudPhoneIdleTimeout) {
        return;
    }
    if (isReduceBitrateModeEnabled()) {
        reduceVideoQualityForIdle();
    } else {
        disconnectForIdle();
    }
}

void AspectRatioWindowController::handleLocalInteractionEvent(QObject* receiver, QEvent*) {
    // Input reaches a window's native surface first and then its widgets; both are this window.
    const QWidget* widget = qobject_cast<const QWidget*>(receiver);
    const bool inThisWindow = widget
                                  ? widget->window() == m_window.get()
                                  : (receiver && m_window && receiver == m_window->windowHandle());
    if (!inThisWindow || m_isCloudPhoneDisconnectedForIdle) {
        return;
    }
    restoreVideoQualityAfterIdle();
    m_lastCloudPhoneInteractionDate = now();
}

void AspectRatioWindowController::reduceVideoQualityForIdle() {
    if (m_isVideoQualityReducedForIdle || m_isCloudPhoneDisconnectedForIdle) {
        return;
    }
    auto& communicator = CloudPhoneCommunicator::shared();
    // Without a stream there is nothing to lower; the next tick tries again.
    if (!communicator.playerView(deviceKey())) {
        return;
    }
    m_isVideoQualityReducedForIdle = true;
    communicator.setVideoQuality(VideoQuality::p240, deviceKey());
}

void AspectRatioWindowController::restoreVideoQualityAfterIdle() {
    if (!m_isVideoQualityReducedForIdle) {
        return;
    }
    m_isVideoQualityReducedForIdle = false;
    auto& communicator = CloudPhoneCommunicator::shared();
    if (!m_isCloudPhoneDisconnectedForIdle && communicator.playerView(deviceKey())) {
        communicator.setVideoQuality(m_selectedVideoQuality, deviceKey());
    }
}

void AspectRatioWindowController::disconnectForIdle() {
    if (!m_isCloudPhoneIdleDisconnectEnabled || m_isCloudPhoneDisconnectedForIdle) {
        return;
    }
    m_isCloudPhoneDisconnectedForIdle = true;
    stopAllTapKeyMappingTimers();
    exitMouseLook();
    releaseAllMoveKeyMappings();
    CloudPhoneCommunicator::shared().stopRealTimePlay(deviceKey());
    if (m_cloudPhoneConnectionOverlay) {
        m_cloudPhoneConnectionOverlay->show();
        m_cloudPhoneConnectionOverlay->raise();
        m_reconnectCloudPhoneButton->show();
        m_cloudPhoneLoadingIndicator->stopAnimation();
    }
}

void AspectRatioWindowController::reconnectCloudPhoneClick() {
    reconnectCloudPhone();
}

void AspectRatioWindowController::reconnectCloudPhone() {
    m_isCloudPhoneDisconnectedForIdle = false;
    // The device's next orientation is applied even when it looks unchanged.
    m_shouldSyncCloudPhoneRotationAfterReconnect = true;
    m_lastCloudPhoneInteractionDate = now();
    startCloudPhoneConnection();
    if (m_contentView) {
        m_contentView->setFocus(Qt::OtherFocusReason);
    }
}

void AspectRatioWindowController::stopIdleMonitor() {
    delete m_idleDisconnectTimer;
    m_cloudPhoneEventMonitor.reset();
}
