#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/DeviceWindowInput.h"
#include "devicewindow/DeviceWindowPageLink.h"
#include "devicewindow/FileRevealer.h"
#include "devicewindow/IdlePolicy.h"
#include "devicewindow/ImageSaveManager.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowGeometryController.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/logging/KXLog.h"
#include "session/CloudPhoneCommunicator.h"

#include <QMainWindow>
#include <QPointer>

namespace {

// The snapshot a device is asked for when the user presses the snapshot button.
const SnapshotOptions kSnapshotOptions{QSizeF(720, 1280), 100, ImageFormat::webP};

QString describe(const std::optional<SnapshotInfo>& info) {
    if (!info) {
        return QStringLiteral("nil");
    }
    const QString data =
        info->data ? QStringLiteral("%1 bytes").arg(info->data->size()) : QStringLiteral("nil");
    return QStringLiteral(
               "SnapshotInfo(options: %1, data: %2, rotation: %3, "
               "deviceOrientation: %4)")
        .arg(info->options.description(), data)
        .arg(info->rotation)
        .arg(info->deviceOrientation);
}

}  // namespace

bool AspectRatioWindowController::isActiveDeviceWindow() const {
    return WindowActiveManager::shared().isActive(m_identity.deviceID);
}

void AspectRatioWindowController::sendDeviceButton(DeviceTouchName name) {
    CloudPhoneCommunicator::shared().sendTouchEvent(name, DeviceTouchEvent::downAndUp, deviceKey());
}

void AspectRatioWindowController::openAdjacentDevice(bool previous) {
    if (DeviceWindowPageLink* link = DeviceWindowPageLink::installed()) {
        link->sendOpenNewCloudphone(static_cast<int>(m_identity.deviceID), previous);
    }
}

// Device buttons act only in the window the user works in, and not on a stream that was
// stopped for idleness.
bool AspectRatioWindowController::isActiveAndConnected() const {
    return isActiveDeviceWindow() && !m_idlePolicy->isCloudPhoneDisconnectedForIdle();
}

void AspectRatioWindowController::backBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::back);
}

void AspectRatioWindowController::homeBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::home);
}

void AspectRatioWindowController::switchBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::overview);
}

void AspectRatioWindowController::volumeUpBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::volumeUp);
}

void AspectRatioWindowController::volumeDownBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    sendDeviceButton(DeviceTouchName::volumeDown);
}

void AspectRatioWindowController::rotationBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    // Turning to landscape is a quarter turn, turning back is none; the player turns with it.
    const bool landscape = !m_geometry->isLandscape();
    m_geometry->setRotation(landscape, landscape ? 90 : 0, true);
}

void AspectRatioWindowController::previousBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    openAdjacentDevice(true);
}

void AspectRatioWindowController::nextBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    openAdjacentDevice(false);
}

void AspectRatioWindowController::snapshotBtnClick() {
    if (!isActiveAndConnected()) {
        return;
    }
    const QPointer<AspectRatioWindowController> weakSelf(this);
    CloudPhoneCommunicator::shared().captureSnapshot(
        deviceKey(), kSnapshotOptions,
        [weakSelf](const std::optional<SnapshotInfo>& info, const QString& deviceID,
                   const std::optional<Error>& error) {
            // A window closed meanwhile saves nothing.
            if (weakSelf) {
                weakSelf->snapshotDidArrive(info, deviceID, error);
            }
        });
}

void AspectRatioWindowController::snapshotDidArrive(const std::optional<SnapshotInfo>& info,
                                                    const QString& deviceID,
                                                    const std::optional<Error>& error) {
    if (error) {
        return;
    }
    KXLog(QStringLiteral("预览图： deviceID：") + deviceID + QStringLiteral(" image:") +
              describe(info),
          LogTag::video, LogLevel::info);
    if (!info || !info->data) {
        return;
    }
    ImageSaveManager::shared().saveWebPImage(
        *info->data, ImageSaveManager::snapshotFileName(static_cast<int>(m_identity.deviceID)),
        [](const ImageSaveManager::SaveResult& result) {
            if (!result) {
                KXLog(QStringLiteral("❌ 保存失败: ") + result.error().message, LogTag::video,
                      LogLevel::error);
                return;
            }
            KXLog(QStringLiteral("✅ 保存成功: ") + result.value().toLocalFile(), LogTag::video,
                  LogLevel::info);
            FileRevealer::reveal(result.value());
        });
}

void AspectRatioWindowController::switchToDevice(qint64 deviceID, const QString& deviceName) {
    if (deviceID == m_identity.deviceID) {
        return;
    }
    const bool wasActive = isActiveDeviceWindow();
    m_input->releaseKeyMappingContacts();

    const qint64 oldDeviceID = m_identity.deviceID;
    CloudPhoneCommunicator::shared().stopRealTimePlay(deviceKey());
    WindowActiveManager::shared().clearActiveDevice(oldDeviceID);
    SentryService::shared().clearActiveCloudDevice(oldDeviceID);

    m_identity.deviceID = deviceID;
    m_identity.deviceName = deviceName;
    m_window->setWindowTitle(deviceName);

    m_idlePolicy->deviceDidChange();
    m_geometry->setShouldSyncCloudPhoneRotationAfterReconnect();

    if (wasActive || m_window->isActiveWindow()) {
        WindowActiveManager::shared().setActiveDevice(deviceID);
        SentryService::shared().setActiveCloudDevice(deviceID, deviceName);
    }
    startCloudPhoneConnection();
    if (m_views.contentView) {
        m_views.contentView->setFocus(Qt::OtherFocusReason);
    }
    // The input-sync item belongs to the device that leads sync.
    updateInputSyncToolbarItem();
}

void AspectRatioWindowController::handleReduceBitrateMode() {
    m_idlePolicy->applyIdlePolicy();
}
