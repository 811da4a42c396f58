#include "devicewindow/WindowManager.h"

#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowPlacement.h"
#include "foundation/settings/SettingsManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>

namespace {

QRect screenArea(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen ? screen->availableGeometry() : QRect();
}

QSize frameMargins(const QWidget* window) {
    return window->frameGeometry().size() - window->geometry().size();
}

}  // namespace

WindowManager& WindowManager::shared() {
    static WindowManager instance;
    return instance;
}

void WindowManager::setWindowEnvironment(DeviceWindowEnvironment environment) {
    m_windowEnvironment = std::move(environment);
}

AspectRatioWindowController* WindowManager::makeWindow(qint64 deviceID, const QString& deviceName) {
    ++m_windowCounter;
    auto* controller = new AspectRatioWindowController(
        deviceID, deviceName, m_windowEnvironment.value_or(DeviceWindowEnvironment::standard()));
    m_windows.append(controller);
    return controller;
}

AspectRatioWindowController* WindowManager::newWindow() {
    AspectRatioWindowController* controller = makeWindow(0, QStringLiteral("null"));
    if (QMainWindow* window = controller->window()) {
        const QRect area = screenArea(window);
        if (area.isValid()) {
            const QRectF frame = WindowPlacement::centredFrame(frameSizeOf(window), area);
            window->move(frame.topLeft().toPoint());
        }
    }
    controller->showWindow();
    return controller;
}

AspectRatioWindowController* WindowManager::openWindow(qint64 deviceID, const QString& deviceName) {
    if (AspectRatioWindowController* existing = firstWindow(deviceID)) {
        bringWindowToFront(deviceID);
        return existing;
    }
    QWidget* anchor = nullptr;
    for (auto it = m_windows.crbegin(); it != m_windows.crend(); ++it) {
        QMainWindow* window = (*it)->window();
        if (window && window->isVisible()) {
            anchor = window;
            break;
        }
    }
    AspectRatioWindowController* controller = makeWindow(deviceID, deviceName);
    placeNewWindow(controller, anchor);
    controller->showWindow();
    return controller;
}

bool WindowManager::bringWindowToFront(qint64 deviceID) {
    AspectRatioWindowController* controller = firstWindow(deviceID);
    QMainWindow* window = controller ? controller->window() : nullptr;
    if (!window) {
        return false;
    }
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
        return true;
    }
    // Dropping a hidden window without closing it would leave its stream playing into it, and
    // the device could never be opened again.
    closeThroughManager(controller);
    return false;
}

void WindowManager::closeAllWindows() {
    closeWindowsWhere([](const AspectRatioWindowController*) { return true; });
}

void WindowManager::closeOtherWindows(qint64 keepingDeviceID) {
    closeWindowsWhere([keepingDeviceID](const AspectRatioWindowController* controller) {
        return controller->deviceID() != keepingDeviceID;
    });
}

void WindowManager::closeWindows(const QList<qint64>& deviceIDs) {
    closeWindowsWhere([&deviceIDs](const AspectRatioWindowController* controller) {
        return deviceIDs.contains(controller->deviceID());
    });
}

void WindowManager::closeWindowsWhere(
    const std::function<bool(const AspectRatioWindowController*)>& selected) {
    // Each close takes its window out of the list, so the walk goes over a copy.
    QList<QPointer<AspectRatioWindowController>> closing;
    for (AspectRatioWindowController* controller : std::as_const(m_windows)) {
        if (selected(controller)) {
            closing.append(controller);
        }
    }
    for (const QPointer<AspectRatioWindowController>& controller : closing) {
        if (controller) {
            closeThroughManager(controller);
        }
    }
}

void WindowManager::closeThroughManager(AspectRatioWindowController* controller) {
    controller->environment().communicator->stopRealTimePlay(controller->deviceKey());
    controller->closeSkippingCloseSequence();
    // A window that heard no close event still must not stay listed or alive.
    if (m_windows.contains(controller)) {
        m_windows.removeAll(controller);
        controller->deleteLater();
    }
}

void WindowManager::tileWindows(const QList<AspectRatioWindowController*>& controllers) {
    QList<QMainWindow*> windows;
    for (AspectRatioWindowController* controller : controllers) {
        // Compared before use: a controller closed since it was handed out may be gone.
        if (m_windows.contains(controller) && controller->window()) {
            windows.append(controller->window());
        }
    }
    if (windows.isEmpty()) {
        return;
    }
    const QScreen* screen = windows.first()->screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen && !QGuiApplication::screens().isEmpty()) {
        screen = QGuiApplication::screens().first();
    }
    if (!screen) {
        return;
    }
    QList<QSizeF> sizes;
    for (const QMainWindow* window : std::as_const(windows)) {
        sizes.append(QSizeF(window->frameGeometry().size()));
    }
    const QList<QPointF> origins =
        WindowPlacement::tiledOrigins(sizes, QRectF(screen->availableGeometry()));
    for (qsizetype i = 0; i < windows.size(); ++i) {
        windows[i]->move(origins[i].toPoint());
    }
}

void WindowManager::placeNewWindow(AspectRatioWindowController* controller, QWidget* anchor) {
    QMainWindow* window = controller->window();
    if (!window) {
        return;
    }
    const bool centre =
        controller->environment().settings->boolean(TypedSettings::centreNewWindows);
    const QSizeF size = frameSizeOf(window);
    QRectF frame;
    if (WindowPlacement::newWindowPlacement(centre, anchor != nullptr) ==
        WindowPlacement::Placement::cascade) {
        const QRect area = screenArea(anchor);
        frame = WindowPlacement::cascadedFrame(
            QRectF(anchor->frameGeometry()), size,
            area.isValid() ? std::optional<QRectF>(area) : std::nullopt);
    } else {
        const QRect area = screenArea(window);
        if (!area.isValid()) {
            return;
        }
        frame = WindowPlacement::centredFrame(size, area);
    }
    window->move(frame.topLeft().toPoint());
}

QSizeF WindowManager::frameSizeOf(const QWidget* window) const {
    // The decorations of a window that was never shown are unknown; all device windows share
    // the same style, so a shown one tells them.
    QSize margins = frameMargins(window);
    for (const AspectRatioWindowController* other : m_windows) {
        if (margins != QSize(0, 0)) {
            break;
        }
        if (other->window() && other->window() != window) {
            margins = frameMargins(other->window());
        }
    }
    return QSizeF(window->geometry().size() + margins.expandedTo(QSize(0, 0)));
}

AspectRatioWindowController* WindowManager::firstWindow(qint64 deviceID) const {
    for (AspectRatioWindowController* controller : m_windows) {
        if (controller->deviceID() == deviceID) {
            return controller;
        }
    }
    return nullptr;
}

void WindowManager::removeWindow(const AspectRatioWindowController* controller) {
    m_windows.removeAll(controller);
}
