#include "app/WebViewPopupController.h"

#include "app/LocalImageServer.h"
#include "app/RelayedPageMessage.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/KXLog.h"
#include "web/JsonDescription.h"
#include "web/NativeWebView.h"
#include "web/Web2NativeMessage.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QJsonObject>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// The popup's top-level window; its close button always closes it and tells the controller.
class PopupWindow : public QWidget {
public:
    explicit PopupWindow(WebViewPopupController* controller) : m_controller(controller) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        if (m_controller) {
            m_controller->windowWillClose();
        }
    }

private:
    QPointer<WebViewPopupController> m_controller;
};

}  // namespace

WebViewPopupController::WebViewPopupController(WebViewPopupConfig config, WebViewFactory factory,
                                               WebContentURLResolver resolver)
    : m_config(std::move(config)), m_resolver(std::move(resolver)) {
    auto* window = new PopupWindow(this);
    Qt::WindowFlags flags =
        Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint;
    if (m_config.resizable) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    window->setWindowFlags(flags);
    const QSize size(qRound(m_config.width), qRound(m_config.height));
    window->resize(size);
    if (!m_config.resizable) {
        window->setFixedSize(size);
    }
    m_window = window;
    setupWindow();
    setupWebView(factory);
    loadContent();
}

WebViewPopupController::~WebViewPopupController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (m_webView) {
        m_webView->setDelegate(nullptr);
    }
    delete m_window.data();
}

void WebViewPopupController::setupWindow() {
    m_window->setWindowTitle(m_config.title);
    QPalette palette = m_window->palette();
    palette.setColor(QPalette::Window, m_config.backgroundColor);
    m_window->setPalette(palette);
    m_window->setAutoFillBackground(true);
    if (!m_config.showTitleBar) {
        // No title bar: the content reaches the window's top edge.
        m_window->setWindowFlag(Qt::FramelessWindowHint, true);
    }
    if (const QScreen* screen = m_window->screen()) {
        m_window->move(screen->availableGeometry().center() -
                       QPoint(m_window->width() / 2, m_window->height() / 2));
    }
}

void WebViewPopupController::setupWebView(const WebViewFactory& factory) {
    m_webView = factory ? factory(m_window) : new NativeWebView(m_window);
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_webView);
    m_webView->setDelegate(this);
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationNames::mainToChildMessage,
        [this](const Notification& notification) { handleWebViewMessage(notification); });
}

void WebViewPopupController::loadContent() {
    if (m_config.url) {
        m_webView->loadURL(*m_config.url);
    } else if (m_config.htmlString) {
        m_webView->loadHTMLString(*m_config.htmlString);
    } else if (m_config.localFilePath) {
        const std::optional<QString> served =
            m_resolver ? m_resolver(*m_config.localFilePath)
                       : LocalImageServer::shared().webContentURL(*m_config.localFilePath);
        if (served) {
            m_webView->loadURL(*served);
        } else {
            m_webView->loadLocalFileBody(*m_config.localFilePath);
        }
    }
}

void WebViewPopupController::close() {
    if (m_window) {
        m_window->close();
    }
}

void WebViewPopupController::windowWillClose() {
    LogInfo(QStringLiteral("🚪 弹窗即将关闭"), LogTag::window);
    if (onClose) {
        onClose();
    }
}

void WebViewPopupController::handleWebViewMessage(const Notification& notification) {
    const std::optional<Web2NativeMessage> message = relayedPageMessage(notification);
    if (!message) {
        ConsoleOutput::print(QStringLiteral("❌ 无法解析通知数据"));
        return;
    }
    ConsoleOutput::print(QStringLiteral("handleWebViewMessage ") + describeObject(m_webView) +
                         QLatin1Char(' ') + describeMessage(*message));
    if (m_webView) {
        m_webView->sendNative2Web(
            message->type, message->data.isObject() ? message->data.toObject() : QJsonObject());
    }
}

void WebViewPopupController::nativeWebViewDidFinishLoading(NativeWebView*,
                                                           const std::optional<QString>& url) {
    ConsoleOutput::print(QStringLiteral("✅ 弹窗 WebView 加载完成: ") +
                         url.value_or(QStringLiteral("unknown")));
}

void WebViewPopupController::nativeWebViewDidFail(NativeWebView*, const Error& error) {
    ConsoleOutput::print(QStringLiteral("❌ 弹窗 WebView 加载失败: ") + error.message);
    MainQueue::async(this, [this, text = error.message] {
        auto* alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("加载失败"), text,
                                      QMessageBox::NoButton, m_window);
        alert->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        // Modal to its window without blocking the loop.
        alert->open();
    });
}
