#pragma once

#include "web/NativeWebViewDelegate.h"

#include <QSize>
#include <QWidget>

#include <chrono>
#include <functional>

class ConnectionSpinner;
class NativeWebView;
class WebContentManager;
struct Notification;

// The main window's content: the installed web package's entry page in a native web view, a
// spinner until the first page has loaded, a local error page with a repair button when the
// package cannot be shown, a reload after a repair, and messages from popup pages relayed to the
// main page. GUI thread only.
class WebViewController : public QWidget, public NativeWebViewDelegate {
    Q_OBJECT

public:
    // Tests hand in a web view of their own; the manager is the shared one unless given.
    using WebViewFactory = std::function<NativeWebView*(QWidget* parent)>;

    static constexpr QSize kInitialViewSize{1325, 740};
    static constexpr QSize kWindowSize{1425, 840};
    static constexpr std::chrono::milliseconds kFirstLoadDelay{300};

    explicit WebViewController(WebViewFactory factory = {}, WebContentManager* manager = nullptr,
                               QWidget* parent = nullptr);
    ~WebViewController() override;

    NativeWebView* webView() const { return m_webView; }
    ConnectionSpinner* loadingIndicator() const { return m_loadingIndicator; }

    void loadWebContent();
    void reloadAfterWebRepair();
    void showErrorPage(const QString& message);
    void handleWebViewMessage(const Notification& notification);

    void nativeWebViewDidFinishLoading(NativeWebView* view,
                                       const std::optional<QString>& url) override;
    void nativeWebViewDidFail(NativeWebView* view, const Error& error) override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setupLoadingIndicator();
    void setupWebView();
    void createWebView();
    WebContentManager& manager() const;

    WebViewFactory m_factory;
    WebContentManager* m_manager;
    NativeWebView* m_webView = nullptr;
    ConnectionSpinner* m_loadingIndicator = nullptr;
    bool m_windowSized = false;
};
