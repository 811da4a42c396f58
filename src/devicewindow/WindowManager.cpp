#include "devicewindow/WindowManager.h"

#include "devicewindow/AspectRatioWindowController.h"

WindowManager& WindowManager::shared() {
    static WindowManager instance;
    return instance;
}

AspectRatioWindowController* WindowManager::openWindow(qint64 deviceID,
                                                       const QString& deviceName) {
    ++m_windowCounter;
    auto* controller = new AspectRatioWindowController(deviceID, deviceName);
    m_windows.append(controller);
    controller->showWindow();
    return controller;
}

void WindowManager::removeWindow(const AspectRatioWindowController* controller) {
    m_windows.removeAll(controller);
}
