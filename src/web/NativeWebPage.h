#pragma once

#include <QWebEnginePage>

#include <memory>

class JavaScriptPanelPrompter;

// The page of a native web view: its alert, confirm and prompt panels go to the prompter, and
// what its scripts write to the console is announced.
class NativeWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    NativeWebPage(QWebEngineProfile* profile, QObject* parent);

    void setPrompter(std::shared_ptr<JavaScriptPanelPrompter> prompter);

Q_SIGNALS:
    void consoleMessage(int level, const QString& message);

protected:
    void javaScriptAlert(const QUrl& securityOrigin, const QString& message) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& message) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& message,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceId) override;

private:
    QWidget* panelParent() const;

    std::shared_ptr<JavaScriptPanelPrompter> m_prompter;
};
