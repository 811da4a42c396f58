#include "app/WebViewPopupManager.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleOutput.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

void bringToFront(QWidget* window) {
    window->show();
    window->showNormal();
    window->raise();
    window->activateWindow();
}

}  // namespace

WebViewPopupManager& WebViewPopupManager::shared() {
    // Never destroyed: its windows must go before the application object, at shutdown.
    static auto* const manager = new WebViewPopupManager;
    return *manager;
}

WebViewPopupManager::~WebViewPopupManager() {
    closeAll();
}

void WebViewPopupManager::setWebViewFactory(WebViewPopupController::WebViewFactory factory) {
    m_factory = std::move(factory);
}

WebViewPopupController* WebViewPopupManager::openPopup(const QString& id, const QString& path,
                                                       const WebViewPopupConfig& config,
                                                       std::function<void()> onClose) {
    if (WebViewPopupController* existing = popup(id)) {
        ConsoleOutput::print(QStringLiteral("⚠️ 弹窗已存在，不重复打开"));
        ConsoleOutput::print(QStringLiteral("   标识符: ") + id);
        ConsoleOutput::print(QStringLiteral("   路径: ") + path);
        MainQueue::async(existing, [existing] {
            if (existing->window()) {
                bringToFront(existing->window());
            }
        });
        return existing;
    }

    auto* controller = new WebViewPopupController(config, m_factory);
    m_activePopups.insert(id, controller);
    controller->onClose = [this, id, controller, callerClose = std::move(onClose)] {
        // Only this very popup leaves the registry; a newer one under the id stays.
        if (m_activePopups.value(id) == controller) {
            removePopup(id);
        }
        if (callerClose) {
            callerClose();
        }
    };
    MainQueue::async(controller, [controller] {
        QWidget* window = controller->window();
        if (!window) {
            return;
        }
        if (const QScreen* screen = window->screen()) {
            window->move(screen->availableGeometry().center() -
                         QPoint(window->width() / 2, window->height() / 2));
        }
        bringToFront(window);
    });
    ConsoleOutput::print(QStringLiteral("✅ 新建弹窗"));
    ConsoleOutput::print(QStringLiteral("   标识符: ") + id);
    ConsoleOutput::print(QStringLiteral("   路径: ") + path);
    return controller;
}

void WebViewPopupManager::removePopup(const QString& id) {
    const QPointer<WebViewPopupController> controller = m_activePopups.take(id);
    if (controller) {
        controller->deleteLater();
    }
    ConsoleOutput::print(QStringLiteral("🚪 弹窗已关闭并移除"));
    ConsoleOutput::print(QStringLiteral("   标识符: ") + id);
}

WebViewPopupController* WebViewPopupManager::popup(const QString& id) const {
    return m_activePopups.value(id).data();
}

void WebViewPopupManager::closeAll() {
    const QList<QString> ids = m_activePopups.keys();
    for (const QString& id : ids) {
        if (const QPointer<WebViewPopupController> controller = m_activePopups.take(id)) {
            controller->onClose = {};
            delete controller.data();
        }
    }
}
