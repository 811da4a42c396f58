#include "web/DeviceWindowDirectory.h"

#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowManager.h"

#include <QPointer>

namespace {

AspectRatioWindowController* controller(QObject* window) {
    return qobject_cast<AspectRatioWindowController*>(window);
}

class WindowManagerDirectory : public DeviceWindowDirectory {
public:
    QList<QObject*> windows() const override {
        QList<QObject*> windows;
        for (AspectRatioWindowController* window : WindowManager::shared().windows()) {
            windows << window;
        }
        return windows;
    }
    qint64 deviceID(const QObject* window) const override {
        const auto* found = qobject_cast<const AspectRatioWindowController*>(window);
        return found ? found->deviceID() : 0;
    }
    QObject* openWindow(qint64 deviceID, const QString& deviceName) override {
        return WindowManager::shared().openWindow(deviceID, deviceName);
    }
    bool bringWindowToFront(qint64 deviceID) override {
        return WindowManager::shared().bringWindowToFront(deviceID);
    }
    void closeAllWindows() override { WindowManager::shared().closeAllWindows(); }
    void closeWindows(const QList<qint64>& deviceIDs) override {
        WindowManager::shared().closeWindows(deviceIDs);
    }
    void closeOtherWindows(qint64 keepingDeviceID) override {
        WindowManager::shared().closeOtherWindows(keepingDeviceID);
    }
    void tileWindows(const QList<QObject*>& windows) override {
        QList<AspectRatioWindowController*> controllers;
        for (QObject* window : windows) {
            if (AspectRatioWindowController* found = controller(window)) {
                controllers << found;
            }
        }
        WindowManager::shared().tileWindows(controllers);
    }
    void switchToDevice(QObject* window, qint64 deviceID, const QString& deviceName) override {
        if (AspectRatioWindowController* found = controller(window)) {
            found->switchToDevice(deviceID, deviceName);
        }
    }
    void updateInputSyncToolbarItem(QObject* window) override {
        if (AspectRatioWindowController* found = controller(window)) {
            found->updateInputSyncToolbarItem();
        }
    }
};

}  // namespace

DeviceWindowDirectory& DeviceWindowDirectory::shared() {
    static WindowManagerDirectory directory;
    return directory;
}

void DeviceWindowDirectory::updateInputSyncToolbarItems() {
    // Walk the list as it was: a refresh must not skip or repeat a window.
    QList<QPointer<QObject>> listed;
    for (QObject* window : windows()) {
        listed << window;
    }
    for (const QPointer<QObject>& window : listed) {
        if (window) {
            updateInputSyncToolbarItem(window);
        }
    }
}
