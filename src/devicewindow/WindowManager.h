#pragma once

#include "devicewindow/DeviceWindowEnvironment.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class AspectRatioWindowController;
class QWidget;

// The open device windows, oldest first: the one way the rest of the client opens, finds,
// raises, arranges and closes them. A window leaves the list when it closes. Several entries may
// carry the same device id (every empty window has id 0); lookups take the first. GUI thread
// only.
class WindowManager {
public:
    static WindowManager& shared();

    WindowManager() = default;
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // What the windows made from now on work with; the client's shared services unless set.
    void setWindowEnvironment(DeviceWindowEnvironment environment);

    const QList<AspectRatioWindowController*>& windows() const { return m_windows; }
    int windowCounter() const { return m_windowCounter; }

    // An empty window (device 0, "null"), centred and shown.
    AspectRatioWindowController* newWindow();
    // The device's window: an existing one is raised (or dropped when it was hidden, see
    // bringWindowToFront) and returned as it is; else a new one is made, placed and shown.
    AspectRatioWindowController* openWindow(qint64 deviceID, const QString& deviceName);
    // True when a visible window of the device came to the front. A listed window that is no
    // longer visible is closed with its stream stopped, so the next open starts afresh.
    bool bringWindowToFront(qint64 deviceID);
    void closeAllWindows();
    // Leaves exactly the kept device's windows open.
    void closeOtherWindows(qint64 keepingDeviceID);
    void closeWindows(const QList<qint64>& deviceIDs);
    // Rows from the top-left of the first window's screen, in the order given; controllers that
    // are no longer listed are skipped.
    void tileWindows(const QList<AspectRatioWindowController*>& controllers);

    // Every entry that is this very controller.
    void removeWindow(const AspectRatioWindowController* controller);

private:
    AspectRatioWindowController* makeWindow(qint64 deviceID, const QString& deviceName);
    AspectRatioWindowController* firstWindow(qint64 deviceID) const;
    QSizeF frameSizeOf(const QWidget* window) const;
    void placeNewWindow(AspectRatioWindowController* controller, QWidget* anchor);
    void closeWindowsWhere(const std::function<bool(const AspectRatioWindowController*)>& selected);
    // Stops the stream, then closes without the window's own close sequence.
    void closeThroughManager(AspectRatioWindowController* controller);

    std::optional<DeviceWindowEnvironment> m_windowEnvironment;
    QList<AspectRatioWindowController*> m_windows;
    int m_windowCounter = 0;
};
