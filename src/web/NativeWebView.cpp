#include "web/NativeWebView.h"

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/SettingsManager.h"
#include "web/ControlledContextMenuWebView.h"
#include "web/LocalFileAccessInterceptor.h"
#include "web/MessageHandlerTable.h"
#include "web/Native2WebMessage.h"
#include "web/Native2WebMessageSender.h"
#include "web/NativeWebPage.h"
#include "web/NativeWebViewDelegate.h"
#include "web/PageBridgeScript.h"
#include "web/ScriptMessageEndpoint.h"
#include "web/Web2NativeMessageProcessor.h"
#include "web/WebInspectorPolicy.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeySequence>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include <atomic>
#include <cstdlib>

namespace {

void logInfo(const QString& text) {
    KXLog(text, LogTag::web, LogLevel::info);
}

void logError(const QString& text) {
    KXLog(text, LogTag::web, LogLevel::error);
}

void logWarning(const QString& text) {
    KXLog(text, LogTag::web, LogLevel::warning);
}

// The web engine ends the process itself, with exit(), when it cannot start (as root with its
// sandbox on, for one); the window would then just vanish. While it starts, an exit says why, on
// standard error as every line that ends the client does.
enum class EngineStart { notYet, starting, started };
std::atomic<EngineStart> g_engineStart{EngineStart::notYet};

void reportEngineStartFailure() {
    if (g_engineStart.load() == EngineStart::starting) {
        ConsoleOutput::printError(
            QStringLiteral("❌ Web 引擎未能启动，应用退出。若系统不支持其沙箱，可设置环境变量 "
                           "QTWEBENGINE_DISABLE_SANDBOX=1 后重试"));
    }
}

QWebEngineProfile* newOffTheRecordProfile() {
    if (g_engineStart.load() == EngineStart::notYet) {
        g_engineStart = EngineStart::starting;
        std::atexit(reportEngineStartFailure);
    }
    // The first profile starts the engine.
    auto* profile = new QWebEngineProfile();
    g_engineStart = EngineStart::started;
    return profile;
}

// How a warning names a page: its origin, a file page by its path.
QString pageName(const QUrl& url) {
    if (url.isLocalFile()) {
        return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
    }
    const QString origin = TrustedPageOrigins::originOf(url);
    return origin != QLatin1String("null") ? origin : url.scheme() + QLatin1Char(':');
}

}  // namespace

NativeWebView::NativeWebView(QWidget* parent)
    : NativeWebView(WebInspectorPolicy::isEnabledInBundle(), &SettingsManager::shared(), parent) {}

NativeWebView::NativeWebView(bool inspectorEnabledInBundle, SettingsManager* settings,
                             QWidget* parent)
    : QWidget(parent), m_inspectorEnabledInBundle(inspectorEnabledInBundle), m_settings(settings) {
    setupWebView();
    registerMessageHandlers();
}

NativeWebView::~NativeWebView() {
    NotificationCenter::defaultCenter().removeObserver(this);
    delete m_inspectorView.data();
    // Pages must go before the profile they were made with.
    delete m_webView;
    m_webView = nullptr;
    delete m_channel;
    delete m_profile;
}

NativeWebView* NativeWebView::owning(QWebEngineView* webView) {
    return webView != nullptr ? qobject_cast<NativeWebView*>(webView->parentWidget()) : nullptr;
}

void NativeWebView::setDelegate(NativeWebViewDelegate* delegate) {
    m_delegate = delegate;
    m_delegateObject = dynamic_cast<QObject*>(delegate);
    m_delegateIsObject = !m_delegateObject.isNull();
}

NativeWebViewDelegate* NativeWebView::delegate() const {
    // A delegate that is a QObject is forgotten when it is destroyed.
    if (m_delegateIsObject && m_delegateObject.isNull()) {
        return nullptr;
    }
    return m_delegate;
}

bool NativeWebView::inspectorRule() const {
    return WebInspectorPolicy::evaluate(m_inspectorEnabledInBundle,
                                        m_settings->string(SettingKey::closeWebviewDebugMode),
                                        m_settings->string(SettingKey::webviewDebugMode));
}

void NativeWebView::setupWebView() {
    // Off the record: cookies and page storage last only as long as the process.
    m_profile = newOffTheRecordProfile();
    m_fileAccess = new LocalFileAccessInterceptor(m_profile);
    m_profile->setUrlRequestInterceptor(m_fileAccess);
    refreshBridgeScripts();

    const bool developerTools = inspectorRule();
    if (developerTools) {
        logInfo(QStringLiteral("✅ 已启用开发者工具"));
    }

    m_webView = new ControlledContextMenuWebView(this);
    m_page = new NativeWebPage(m_profile, m_webView);
    QWebEngineSettings* settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // Lets the page ask for new windows, which then open in this view.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    // A page opened from its package folder still loads screenshots from the loopback server.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);

    m_channel = new QWebChannel();
    m_endpoint = new ScriptMessageEndpoint(
        [this](const QString& name, const QString& body, const QString& address) {
            receiveScriptMessage(name, body, address);
        },
        m_channel);
    m_channel->registerObject(ScriptMessageEndpoint::kChannelName, m_endpoint);
    // Out of the page's own world: its scripts cannot reach the channel, only the bridge can.
    m_page->setWebChannel(m_channel, PageBridgeScript::kChannelWorld);

    m_webView->setPage(m_page);
    m_webView->setZoomFactor(1.0);
    m_webView->setMenuAllowed([this] { return inspectorRule(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_webView);

    connect(m_page, &QWebEnginePage::loadingChanged, this, &NativeWebView::handleLoadingChanged);
    connect(m_page, &NativeWebPage::mainFrameNavigationRequested, this,
            &NativeWebView::refreshBridgeScripts);
    connect(m_page, &QWebEnginePage::urlChanged, this, &NativeWebView::handleUrlChanged);
    connect(m_page, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
                handleNewWindowRequest(request.requestedUrl());
            });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                if (status != QWebEnginePage::NormalTerminationStatus) {
                    logError(QStringLiteral("❌ 网页渲染进程异常退出，退出码: ") +
                             QString::number(exitCode));
                }
            });

    m_requestTimer.setSingleShot(true);
    connect(&m_requestTimer, &QTimer::timeout, this, [this] {
        m_requestTimedOut = true;
        m_page->triggerAction(QWebEnginePage::Stop);
    });

    auto* inspectorShortcut = new QShortcut(QKeySequence(Qt::Key_F12), this, nullptr, nullptr,
                                            Qt::WidgetWithChildrenShortcut);
    connect(inspectorShortcut, &QShortcut::activated, this, [this] { openInspector(); });

    setInspectable(developerTools);

    NotificationCenter::defaultCenter().addObserver(
        this, NotificationNames::webViewDebugModeDidChange,
        [this](const Notification&) { handleWebViewDebugModeDidChange(); });
    logInfo(QStringLiteral("✅ WKWebView 创建成功"));
}

void NativeWebView::registerMessageHandlers() {
    Web2NativeMessageProcessor::shared().registerTableOnce(messageHandlerTable());
    Native2WebMessageSender& sender = Native2WebMessageSender::shared();
    sender.bindWebView(m_webView);
    if (DeviceWindowPageLink::installed() == nullptr) {
        sender.installAsDeviceWindowPageLink();
    }
}

void NativeWebView::refreshBridgeScripts() {
    TrustedPageOrigins::Snapshot trusted = TrustedPageOrigins::shared().snapshot();
    if (m_bridgeTrust == trusted) {
        return;
    }
    QWebEngineScriptCollection* scripts = m_profile->scripts();
    scripts->clear();
    for (const QWebEngineScript& script : PageBridgeScript::make(trusted)) {
        scripts->insert(script);
    }
    m_bridgeTrust = std::move(trusted);
}

bool NativeWebView::showsTrustedPage() const {
    return m_page->showsTrustedPage();
}

void NativeWebView::handleUrlChanged(const QUrl& url) {
    if (m_page->isTrustedAddress(url)) {
        m_warnedOrigin.clear();
        return;
    }
    // Once per foreign page, not for each of its own route changes.
    const QString name = pageName(url);
    if (name != m_warnedOrigin) {
        m_warnedOrigin = name;
        logWarning(QStringLiteral("⚠️ 页面来源不受信任，未开放原生桥接: ") +
                   name);
    }
}

void NativeWebView::handleNewWindowRequest(const QUrl& url) {
    // The engine never lets a page take its top frame to these addresses; a window request
    // loaded here must not either.
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("data") || scheme == QLatin1String("javascript")) {
        logWarning(QStringLiteral("⚠️ 已拒绝在本窗口打开页面请求的地址: ") +
                   scheme + QLatin1Char(':'));
        return;
    }
    m_page->load(url);
}

void NativeWebView::setPanelPrompter(std::shared_ptr<JavaScriptPanelPrompter> prompter) {
    m_page->setPrompter(std::move(prompter));
}

void NativeWebView::setInspectable(bool inspectable) {
    m_inspectable = inspectable;
    if (inspectable) {
        logInfo(QStringLiteral("✅ 已启用 Web Inspector"));
        return;
    }
    logInfo(QStringLiteral("✅ 已关闭 Web Inspector"));
    if (m_inspectorView) {
        m_page->setDevToolsPage(nullptr);
        m_inspectorView->deleteLater();
    }
}

void NativeWebView::handleWebViewDebugModeDidChange() {
    setInspectable(inspectorRule());
}

bool NativeWebView::openInspector() {
    if (!m_inspectable) {
        return false;
    }
    if (!m_inspectorView) {
        m_inspectorView = new QWebEngineView();
        m_inspectorView->setAttribute(Qt::WA_DeleteOnClose);
        m_inspectorView->resize(960, 640);
        m_page->setDevToolsPage(m_inspectorView->page());
    }
    m_inspectorView->show();
    m_inspectorView->raise();
    return true;
}

std::optional<QString> NativeWebView::readableFolder() const {
    return m_fileAccess->readableFolder();
}

void NativeWebView::receiveScriptMessage(const QString&, const QString& bodyJson,
                                         const QString& pageAddress) {
    // Judged by the page that posted it, which may already have been left.
    const QUrl page(pageAddress, QUrl::StrictMode);
    if (!m_page->isTrustedAddress(page)) {
        logWarning(QStringLiteral("⚠️ 已丢弃来源不受信任的页面消息: ") +
                   pageName(page));
        return;
    }
    // The page sent JSON.stringify(body); wrapping admits any top-level value.
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray("[") + bodyJson.toUtf8() + QByteArray("]"));
    const QJsonValue body = document.isArray() && document.array().size() == 1
                                ? document.array().first()
                                : QJsonValue(QJsonValue::Undefined);
    Web2NativeMessageProcessor& processor = Web2NativeMessageProcessor::shared();
    if (body.isString()) {
        processor.handleBody(body.toString());
    } else if (body.isObject()) {
        processor.handleDictionary(body.toObject());
    } else {
        KXLog(QStringLiteral("⚠️ 无效消息"), LogTag::web, LogLevel::warning);
    }
}

void NativeWebView::loadFile(const QUrl& fileURL, const QString& folder) {
    m_requestTimer.stop();
    m_fileAccess->setReadableFolder(folder);
    m_page->load(fileURL);
}

void NativeWebView::loadURL(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.isRelative()) {
        logError(QStringLiteral("❌ 无效的 URL: ") + text);
        return;
    }
    logInfo(QStringLiteral("🌐 加载 URL: ") + text);
    if (url.isLocalFile()) {
        loadFile(url, QFileInfo(url.toLocalFile()).absolutePath());
        return;
    }
    m_fileAccess->setReadableFolder(std::nullopt);
    m_requestTimedOut = false;
    m_requestTimer.start(kRequestTimeout);
    m_page->load(url);
}

void NativeWebView::loadLocalFile(const QString& path) {
    logInfo(QStringLiteral("📂 加载本地文件: ") + path);
    const QFileInfo info(path);
    loadFile(QUrl::fromLocalFile(info.absoluteFilePath()), info.absolutePath());
}

void NativeWebView::loadLocalFileBody(const QString& pathAndFragment) {
    const QStringList parts = pathAndFragment.split(QLatin1Char('#'));
    const QString path = parts.first();
    const QString fragment = parts.size() > 1 ? QLatin1Char('#') + parts.at(1) : QString();
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        logError(QStringLiteral("❌ 文件不存在: ") + path);
        return;
    }
    logInfo(QStringLiteral("📂 加载本地文件: ") + path + fragment);
    const QString urlText =
        QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) + fragment;
    const QUrl url(urlText, QUrl::StrictMode);
    if (!url.isValid()) {
        logError(QStringLiteral("❌ 无效的 URL: ") + urlText);
        return;
    }
    loadFile(url, info.absolutePath());
}

void NativeWebView::loadHTMLString(const QString& html, const std::optional<QString>& baseURL) {
    const QUrl base = baseURL ? QUrl(*baseURL, QUrl::StrictMode) : QUrl();
    const QUrl usable = base.isValid() ? base : QUrl();
    logInfo(QStringLiteral("📄 加载 HTML 字符串"));
    m_requestTimer.stop();
    if (usable.isLocalFile()) {
        const QString local = usable.toLocalFile();
        m_fileAccess->setReadableFolder(
            local.endsWith(QLatin1Char('/')) ? local : QFileInfo(local).absolutePath());
    } else {
        m_fileAccess->setReadableFolder(std::nullopt);
    }
    m_page->setHtml(html, usable);
}

void NativeWebView::sendNative2Web(const QString& type, const QJsonObject& payload) {
    if (!showsTrustedPage()) {
        logWarning(QStringLiteral("⚠️ 页面来源不受信任，消息未发送: ") + type);
        return;
    }
    const std::optional<QString> script = Native2WebMessageSender::pageScript(
        Native2WebMessage{type, std::nullopt, payload, std::nullopt});
    if (!script) {
        logError(QStringLiteral("❌ 消息序列化失败"));
        return;
    }
    m_page->runJavaScript(*script, [type](const QVariant&) {
        logInfo(QStringLiteral("✅ native2web 发送成功: ") + type);
    });
}

void NativeWebView::reportFailure(const QString& logPrefix, int code, const QString& description) {
    logError(logPrefix + description);
    if (NativeWebViewDelegate* target = delegate()) {
        target->nativeWebViewDidFail(this,
                                     Error{QStringLiteral("NativeWebView"), code, description});
    }
}

void NativeWebView::handleLoadingChanged(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            logInfo(QStringLiteral("🚀 开始加载"));
            return;
        case QWebEngineLoadingInfo::LoadSucceededStatus: {
            m_requestTimer.stop();
            const QUrl url = m_page->url();
            const std::optional<QString> text =
                url.isEmpty() ? std::nullopt
                              : std::optional<QString>(url.toString(QUrl::FullyEncoded));
            logInfo(QStringLiteral("✅ 加载完成: ") + text.value_or(QStringLiteral("unknown")));
            if (NativeWebViewDelegate* target = delegate()) {
                target->nativeWebViewDidFinishLoading(this, text);
            }
            return;
        }
        case QWebEngineLoadingInfo::LoadFailedStatus:
            m_requestTimer.stop();
            // Failures with an HTTP status came with a response; the others never got one.
            reportFailure(info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain
                              ? QStringLiteral("❌ 加载失败: ")
                              : QStringLiteral("❌ 临时加载失败: "),
                          info.errorCode(), info.errorString());
            return;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            m_requestTimer.stop();
            if (std::exchange(m_requestTimedOut, false)) {
                reportFailure(QStringLiteral("❌ 临时加载失败: "), -1001,
                              QStringLiteral("请求超时"));
            }
            return;
    }
}
