#include "app/WebViewController.h"

#include "api/ActiveForceInfo.h"
#include "app/RelayedPageMessage.h"
#include "app/WebContentManager.h"
#include "app/WebErrorPage.h"
#include "devicewindow/ConnectionSpinner.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/logging/KXLog.h"
#include "web/ControlledContextMenuWebView.h"
#include "web/NativeWebView.h"
#include "web/Web2NativeMessage.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonObject>
#include <QScreen>
#include <QWebEngineView>

namespace {

constexpr QSize kSpinnerSize{32, 32};

}  // namespace

WebViewController::WebViewController(WebViewFactory factory, WebContentManager* manager,
                                     QWidget* parent)
    : QWidget(parent), m_factory(std::move(factory)), m_manager(manager) {
    resize(kInitialViewSize);
    LogInfo(QStringLiteral("✅ WebViewController viewDidLoad"), LogTag::web);
    setupLoadingIndicator();
    setupWebView();
}

WebViewController::~WebViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (m_webView) {
        m_webView->setDelegate(nullptr);
    }
    LogInfo(QStringLiteral("🗑️ WebViewController 已释放"), LogTag::web);
}

WebContentManager& WebViewController::manager() const {
    return m_manager ? *m_manager : WebContentManager::shared();
}

void WebViewController::setupLoadingIndicator() {
    m_loadingIndicator = new ConnectionSpinner(this);
    m_loadingIndicator->resize(kSpinnerSize);
}

void WebViewController::setupWebView() {
    LogInfo(QStringLiteral("🔧 初始化 WebView..."), LogTag::web);
    m_loadingIndicator->startAnimation();
    createWebView();
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(
        this, NotificationNames::childToMainMessage,
        [this](const Notification& notification) { handleWebViewMessage(notification); });
    center.addObserver(this, NotificationNames::webContentDidRepair,
                       [this](const Notification&) { reloadAfterWebRepair(); });
}

void WebViewController::createWebView() {
    m_webView = m_factory ? m_factory(this) : new NativeWebView(this);
    m_webView->setParent(this);
    m_webView->setGeometry(rect());
    m_webView->setDelegate(this);
    m_loadingIndicator->raise();
    LogInfo(QStringLiteral("✅ WebView 已创建"), LogTag::web);
    MainQueue::asyncAfter(kFirstLoadDelay, this, [this] { loadWebContent(); });
}

void WebViewController::loadWebContent() {
    if (!m_webView) {
        return;
    }
    WebContentManager& content = manager();
    std::optional<QUrl> entry;
    if (const std::optional<QString> version = content.resolveActiveWebVersion()) {
        entry = content.pathManager().webPathEntryFor(*version);
    }
    if (!entry) {
        LogError(QStringLiteral("❌ 无法获取 HTML 路径"), LogTag::web);
        const std::optional<Error> error = content.progress().error;
        showErrorPage(error ? error->message
                            : QStringLiteral("未找到 Web 入口文件 web/index.html"));
        return;
    }
    // A plain file-system path: folders with blanks or non-ASCII names stay as they are.
    const QString path = entry->toLocalFile();
    LogInfo(QStringLiteral("📂 加载路径: ") + path, LogTag::web);
    if (!QFileInfo(path).isFile()) {
        LogInfo(QStringLiteral("⚠️ 文件不存在，显示错误页面"), LogTag::web);
        showErrorPage(QStringLiteral("Web 入口文件不存在：") + path);
        return;
    }
    m_webView->loadLocalFile(path);
}

void WebViewController::reloadAfterWebRepair() {
    MainQueue::async(this, [this] { loadWebContent(); });
}

void WebViewController::showErrorPage(const QString& message) {
    WebContentManager& content = manager();
    const QString address =
        WebErrorPage::manualDownloadAddress(content.downloadURL(), ActiveForceInfo::get());
    const QString folder = content.expectedWebPackageFolder().value_or(QString());
    if (m_webView) {
        m_webView->loadHTMLString(WebErrorPage::html(message, address, folder));
    }
}

void WebViewController::handleWebViewMessage(const Notification& notification) {
    const std::optional<Web2NativeMessage> message = relayedPageMessage(notification);
    if (!message) {
        LogError(QStringLiteral("❌ 无法解析通知数据"), LogTag::web);
        return;
    }
    if (m_webView) {
        m_webView->sendNative2Web(
            message->type, message->data.isObject() ? message->data.toObject() : QJsonObject());
    }
}

void WebViewController::nativeWebViewDidFinishLoading(NativeWebView* view,
                                                      const std::optional<QString>&) {
    m_loadingIndicator->stopAnimation();
    LogInfo(QStringLiteral("✅ 页面加载完成"), LogTag::web);
    const QString title = view && view->webView() ? view->webView()->title() : QString();
    if (!title.isEmpty()) {
        LogInfo(QStringLiteral("   标题: ") + title, LogTag::window);
    }
}

void WebViewController::nativeWebViewDidFail(NativeWebView*, const Error& error) {
    m_loadingIndicator->stopAnimation();
    LogInfo(QStringLiteral("❌ 加载失败: ") + error.message, LogTag::web);
    showErrorPage(error.message);
}

void WebViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window takes its final size when first shown, whatever its creator gave it.
    if (m_windowSized || !window() || window() == this) {
        return;
    }
    m_windowSized = true;
    QWidget* host = window();
    host->resize(kWindowSize);
    if (const QScreen* screen = host->screen()) {
        const QRect area = screen->availableGeometry();
        host->move(area.center() - QPoint(host->width() / 2, host->height() / 2));
    }
}

void WebViewController::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_webView) {
        m_webView->setGeometry(rect());
    }
    m_loadingIndicator->move((width() - kSpinnerSize.width()) / 2,
                             (height() - kSpinnerSize.height()) / 2);
}
