#pragma once

#include "web/TrustedPageOrigins.h"

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

class ControlledContextMenuWebView;
class JavaScriptPanelPrompter;
class LocalFileAccessInterceptor;
class NativeWebPage;
class NativeWebViewDelegate;
class QWebChannel;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;
class ScriptMessageEndpoint;
class SettingsManager;

// The view every web window of the client embeds. It owns a web view with a private, in-memory
// profile, gives the client's own pages (`TrustedPageOrigins`) the native message handlers, hands
// what they post to the shared message processor, binds the shared native-to-page sender to
// itself, loads addresses, local files and HTML text, shows the page's panels natively, reports
// loads to its delegate and opens developer tools only when the deployment and the page's debug
// settings allow it. Any other page loads as well, without the bridge.
class NativeWebView : public QWidget {
    Q_OBJECT
public:
    // A request to a web address that has not finished by then is stopped and reported failed.
    static constexpr std::chrono::seconds kRequestTimeout{60};

    explicit NativeWebView(QWidget* parent = nullptr);
    // Bundle switch and settings store given (tests); the shared store otherwise.
    NativeWebView(bool inspectorEnabledInBundle, SettingsManager* settings,
                  QWidget* parent = nullptr);
    ~NativeWebView() override;

    // The native web view that embeds this web view, if any.
    static NativeWebView* owning(QWebEngineView* webView);

    // Held weakly when the delegate is a QObject; otherwise the owner clears it before it dies.
    void setDelegate(NativeWebViewDelegate* delegate);
    NativeWebViewDelegate* delegate() const;

    ControlledContextMenuWebView* webView() const { return m_webView; }
    NativeWebPage* page() const { return m_page; }
    QWebEngineProfile* profile() const { return m_profile; }
    // Answers the page's alert, confirm and prompt; message boxes unless replaced.
    void setPanelPrompter(std::shared_ptr<JavaScriptPanelPrompter> prompter);

    virtual void loadURL(const QString& text);
    virtual void loadLocalFile(const QString& path);
    // A path that may carry "#<route>"; anything after a second "#" is dropped.
    void loadLocalFileBody(const QString& pathAndFragment);
    virtual void loadHTMLString(const QString& html,
                                const std::optional<QString>& baseURL = std::nullopt);
    // To this view's page, whichever view the shared sender is bound to.
    virtual void sendNative2Web(const QString& type, const QJsonObject& payload);

    // Whether the page shown now is one of the client's own.
    bool showsTrustedPage() const;

    bool isInspectable() const { return m_inspectable; }
    // The folder this view's page may read files from, if any.
    std::optional<QString> readableFolder() const;
    // Opens the developer tools when they are allowed; says whether they opened.
    bool openInspector();

private:
    void setupWebView();
    // Every view shares the one set of handlers; each view binds the sender to itself.
    void registerMessageHandlers();
    void setInspectable(bool inspectable);
    bool inspectorRule() const;
    void handleWebViewDebugModeDidChange();
    // Each main-frame document gets the scripts of the trust in force when it was asked for.
    void refreshBridgeScripts();
    void receiveScriptMessage(const QString& handlerName, const QString& bodyJson,
                              const QString& pageAddress);
    void handleUrlChanged(const QUrl& url);
    void handleNewWindowRequest(const QUrl& url);
    void handleLoadingChanged(const QWebEngineLoadingInfo& info);
    void loadFile(const QUrl& fileURL, const QString& folder);
    void reportFailure(const QString& logPrefix, int code, const QString& description);

    bool m_inspectorEnabledInBundle;
    SettingsManager* m_settings;
    QPointer<QObject> m_delegateObject;
    NativeWebViewDelegate* m_delegate = nullptr;
    bool m_delegateIsObject = false;
    QWebEngineProfile* m_profile = nullptr;
    LocalFileAccessInterceptor* m_fileAccess = nullptr;
    ControlledContextMenuWebView* m_webView = nullptr;
    NativeWebPage* m_page = nullptr;
    QWebChannel* m_channel = nullptr;
    ScriptMessageEndpoint* m_endpoint = nullptr;
    QPointer<QWebEngineView> m_inspectorView;
    std::optional<TrustedPageOrigins::Snapshot> m_bridgeTrust;
    QString m_warnedOrigin;
    QTimer m_requestTimer;
    bool m_requestTimedOut = false;
    bool m_inspectable = false;
};
