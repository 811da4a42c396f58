#pragma once

#include "web/PageTrust.h"

#include <QWebEnginePage>

#include <memory>

class JavaScriptPanelPrompter;

// The page of a native web view: its alert, confirm and prompt panels go to the prompter, what
// its scripts write to the console is announced and logged ("js: …", ForeignLogLines), and so is
// every navigation of its main frame before it goes ahead (every one does). Whether an address is
// one of the client's own pages it decides once per navigation (`PageTrust` over
// `TrustedPageOrigins::shared()`).
class NativeWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    NativeWebPage(QWebEngineProfile* profile, QObject* parent);

    void setPrompter(std::shared_ptr<JavaScriptPanelPrompter> prompter);

    // Whether `address` (the page shown, or one that posted before it was left) is one of the
    // client's own pages.
    bool isTrustedAddress(const QUrl& address);
    bool showsTrustedPage() { return isTrustedAddress(url()); }

Q_SIGNALS:
    void consoleMessage(int level, const QString& message);
    void mainFrameNavigationRequested(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& message) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& message) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& message,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceId) override;

private:
    QWidget* panelParent() const;

    std::shared_ptr<JavaScriptPanelPrompter> m_prompter;
    PageTrust m_trust;
};
