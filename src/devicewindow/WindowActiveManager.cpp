#include "devicewindow/WindowActiveManager.h"

#include "devicewindow/AspectRatioWindowController.h"
#include "foundation/logging/KXLog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

WindowActiveManager& WindowActiveManager::shared() {
    static WindowActiveManager* instance = new WindowActiveManager(qApp);
    return *instance;
}

WindowActiveManager::WindowActiveManager(QObject* parent) : QObject(parent) {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::focusWindowChanged, this,
                &WindowActiveManager::windowDidBecomeKey);
    }
}

void WindowActiveManager::setActiveDevice(qint64 deviceID) {
    m_activeDeviceID = deviceID;
    KXLog(QStringLiteral("✅ 当前活动设备: ") + QString::number(deviceID), LogTag::window,
          LogLevel::info);
}

void WindowActiveManager::clearActiveDevice(qint64 deviceID) {
    if (m_activeDeviceID != deviceID) {
        return;
    }
    m_activeDeviceID.reset();
    KXLog(QStringLiteral("⚠️ 清除活动设备: ") + QString::number(deviceID), LogTag::window,
          LogLevel::warning);
}

void WindowActiveManager::windowDidBecomeKey(QWindow* window) {
    if (!window) {
        return;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() != window) {
            continue;
        }
        if (const auto* controller = AspectRatioWindowController::controllerOf(widget)) {
            const qint64 deviceID = controller->deviceID();
            setActiveDevice(deviceID);
            KXLog(QStringLiteral("🔄 自动切换到设备: ") + QString::number(deviceID), LogTag::window,
                  LogLevel::info);
        }
        return;
    }
}
