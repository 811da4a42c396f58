#include "web/NativeWebPage.h"

#include "foundation/logging/ForeignLogLines.h"
#include "web/JavaScriptPanelPrompter.h"
#include "web/MessageBoxPanelPrompter.h"
#include "web/TrustedPageOrigins.h"

#include <QWebEngineView>

NativeWebPage::NativeWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent),
      m_prompter(std::make_shared<MessageBoxPanelPrompter>()),
      m_trust(TrustedPageOrigins::shared()) {
    // Connected before anyone else can: observers of these signals already get the new answer.
    connect(this, &QWebEnginePage::loadStarted, this, [this] { m_trust.navigated(); });
    connect(this, &QWebEnginePage::urlChanged, this, [this] { m_trust.navigated(); });
}

bool NativeWebPage::isTrustedAddress(const QUrl& address) {
    return m_trust.isTrusted(address);
}

void NativeWebPage::setPrompter(std::shared_ptr<JavaScriptPanelPrompter> prompter) {
    m_prompter = prompter ? std::move(prompter) : std::make_shared<MessageBoxPanelPrompter>();
}

QWidget* NativeWebPage::panelParent() const {
    QWidget* view = QWebEngineView::forPage(this);
    return view != nullptr ? view->window() : nullptr;
}

bool NativeWebPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    if (isMainFrame) {
        Q_EMIT mainFrameNavigationRequested(url);
    }
    return true;
}

void NativeWebPage::javaScriptAlert(const QUrl&, const QString& message) {
    // The prompter may outlive a replacement made while its panel is open.
    const std::shared_ptr<JavaScriptPanelPrompter> prompter = m_prompter;
    prompter->alert(panelParent(), message);
}

bool NativeWebPage::javaScriptConfirm(const QUrl&, const QString& message) {
    const std::shared_ptr<JavaScriptPanelPrompter> prompter = m_prompter;
    return prompter->confirm(panelParent(), message);
}

bool NativeWebPage::javaScriptPrompt(const QUrl&, const QString& message,
                                     const QString& defaultValue, QString* result) {
    const std::shared_ptr<JavaScriptPanelPrompter> prompter = m_prompter;
    const std::optional<QString> answer = prompter->prompt(panelParent(), message, defaultValue);
    if (!answer) {
        return false;
    }
    if (result != nullptr) {
        *result = *answer;
    }
    return true;
}

void NativeWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                             const QString& message, int, const QString&) {
    Q_EMIT consoleMessage(static_cast<int>(level), message);
    // Through the logger as every line, with the prefix Qt gives the page's lines.
    const LogLevel logLevel = level == ErrorMessageLevel     ? LogLevel::error
                              : level == WarningMessageLevel ? LogLevel::warning
                                                             : LogLevel::info;
    ForeignLogLines::write(logLevel, LogTag::web, QStringLiteral("js: ") + message);
}
