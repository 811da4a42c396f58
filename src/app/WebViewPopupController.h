#pragma once

#include "app/WebViewPopupConfig.h"
#include "web/NativeWebViewDelegate.h"

#include <QObject>
#include <QPointer>

#include <functional>

class NativeWebView;
class QWidget;
struct Notification;

// One popup web window: its own native web view beside the main window, speaking the same bridge
// as the main page and hearing the main page's messages for popups. GUI thread only.
class WebViewPopupController : public QObject, public NativeWebViewDelegate {
    Q_OBJECT

public:
    using WebViewFactory = std::function<NativeWebView*(QWidget* parent)>;
    // The server address of a local web file, when the loopback server can serve it.
    using WebContentURLResolver = std::function<std::optional<QString>(const QString& path)>;

    // Builds the window and the view and starts loading; the window is shown by the caller.
    explicit WebViewPopupController(WebViewPopupConfig config, WebViewFactory factory = {},
                                    WebContentURLResolver resolver = {});
    ~WebViewPopupController() override;

    const WebViewPopupConfig& config() const { return m_config; }
    QWidget* window() const { return m_window; }
    NativeWebView* webView() const { return m_webView; }

    // Run when the window is about to close.
    std::function<void()> onClose;

    void close();
    void handleWebViewMessage(const Notification& notification);
    // Called by the window as it closes.
    void windowWillClose();

    void nativeWebViewDidFinishLoading(NativeWebView* view,
                                       const std::optional<QString>& url) override;
    void nativeWebViewDidFail(NativeWebView* view, const Error& error) override;

private:
    void setupWindow();
    void setupWebView(const WebViewFactory& factory);
    void loadContent();

    WebViewPopupConfig m_config;
    WebContentURLResolver m_resolver;
    QPointer<QWidget> m_window;
    NativeWebView* m_webView = nullptr;
};
