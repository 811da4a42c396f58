#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/DeviceWindowPageLink.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/LocalEventMonitor.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/logging/KXLog.h"
#include "session/CloudPhoneCommunicator.h"

#include <QMainWindow>

void AspectRatioWindowController::windowDidBecomeKey() {
    WindowActiveManager::shared().setActiveDevice(m_identity.deviceID);
    SentryService::shared().setActiveCloudDevice(m_identity.deviceID, m_identity.deviceName);
    KXLog(QStringLiteral("✅ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 成为激活窗口"),
          LogTag::window, LogLevel::info);
    m_input->activateTextInput();
}

void AspectRatioWindowController::windowDidBecomeMain() {
    WindowActiveManager::shared().setActiveDevice(m_identity.deviceID);
    SentryService::shared().setActiveCloudDevice(m_identity.deviceID, m_identity.deviceName);
    KXLog(QStringLiteral("✅ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 成为主窗口"),
          LogTag::window, LogLevel::info);
}

void AspectRatioWindowController::windowDidResignKey() {
    // No simulated key may stay pressed on the device while the user works elsewhere.
    m_input->releaseKeyMappingContacts();
    KXLog(QStringLiteral("⚠️ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 失去激活状态"),
          LogTag::window, LogLevel::info);
}

void AspectRatioWindowController::windowDidResignMain() {
    KXLog(QStringLiteral("⚠️ 窗口 ") + QString::number(m_identity.deviceID) +
              QStringLiteral(" 失去主窗口状态"),
          LogTag::window, LogLevel::info);
}

bool AspectRatioWindowController::prepareForClose() {
    m_idlePolicy->stopIdleMonitor();
    m_cloudPhoneEventMonitor.reset();
    m_input->releaseKeyMappingContacts();

    auto& communicator = CloudPhoneCommunicator::shared();
    if (communicator.inputSyncMainDeviceID() == deviceKey()) {
        // The page hears that sync ended before the session ends it.
        if (DeviceWindowPageLink* link = DeviceWindowPageLink::installed()) {
            link->sendBatchControlStatus(2);
        }
        communicator.disableInputSync();
        for (AspectRatioWindowController* other : WindowManager::shared().windows()) {
            if (other != this) {
                other->updateInputSyncToolbarItem();
            }
        }
    }
    communicator.stopRealTimePlay(deviceKey());
    WindowActiveManager::shared().clearActiveDevice(m_identity.deviceID);
    SentryService::shared().clearActiveCloudDevice(m_identity.deviceID);
    m_input->deactivateTextInput();
    return true;
}

void AspectRatioWindowController::windowWillClose() {
    m_didClose = true;
    WindowManager::shared().removeWindow(this);
    NotificationCenter::defaultCenter().removeObserver(this);
    m_cloudPhoneEventMonitor.reset();
    deleteLater();
}
