#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

class QObject;

// The device windows as the page's handlers reach them: a window is the QObject of its
// controller, and every operation goes through here, so handlers can be exercised without real
// windows. `shared()` forwards to the window manager. GUI thread only.
class DeviceWindowDirectory {
public:
    virtual ~DeviceWindowDirectory() = default;

    static DeviceWindowDirectory& shared();

    // The open windows, oldest first.
    virtual QList<QObject*> windows() const = 0;
    virtual qint64 deviceID(const QObject* window) const = 0;
    // Raises an existing window of the device or makes one; returns it.
    virtual QObject* openWindow(qint64 deviceID, const QString& deviceName) = 0;
    // True when a visible window of the device came to the front.
    virtual bool bringWindowToFront(qint64 deviceID) = 0;
    virtual void closeAllWindows() = 0;
    virtual void closeWindows(const QList<qint64>& deviceIDs) = 0;
    virtual void closeOtherWindows(qint64 keepingDeviceID) = 0;
    virtual void tileWindows(const QList<QObject*>& windows) = 0;
    // The window drops its device's stream and shows the other device.
    virtual void switchToDevice(QObject* window, qint64 deviceID, const QString& deviceName) = 0;
    virtual void updateInputSyncToolbarItem(QObject* window) = 0;

    // Every window's input-sync toolbar item, in list order.
    void updateInputSyncToolbarItems();
};
