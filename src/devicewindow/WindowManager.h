#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

class AspectRatioWindowController;

// The open device windows, oldest first: the one way the rest of the client opens and finds
// them. A window leaves the list when it closes. GUI thread only.
class WindowManager {
public:
    static WindowManager& shared();

    WindowManager() = default;
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    const QList<AspectRatioWindowController*>& windows() const { return m_windows; }
    int windowCounter() const { return m_windowCounter; }

    // Makes the device's window, lists it and shows it.
    AspectRatioWindowController* openWindow(qint64 deviceID, const QString& deviceName);

    // Every entry that is this very controller.
    void removeWindow(const AspectRatioWindowController* controller);

private:
    QList<AspectRatioWindowController*> m_windows;
    int m_windowCounter = 0;
};
