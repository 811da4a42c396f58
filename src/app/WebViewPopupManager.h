#pragma once

#include "app/WebViewPopupConfig.h"
#include "app/WebViewPopupController.h"

#include <QHash>
#include <QPointer>
#include <QString>

#include <functional>

// The open popup web windows by id (the page uses the popup's route): one window per id, brought
// to the front when opened again, forgotten when it closes. The registry lives on the GUI thread;
// a closed popup's controller is deleted later by the event loop, never while its own close runs.
class WebViewPopupManager {
public:
    static WebViewPopupManager& shared();

    WebViewPopupManager() = default;
    ~WebViewPopupManager();
    WebViewPopupManager(const WebViewPopupManager&) = delete;
    WebViewPopupManager& operator=(const WebViewPopupManager&) = delete;

    // Tests give their own web views.
    void setWebViewFactory(WebViewPopupController::WebViewFactory factory);

    // The popup open under `id`, raised; or a new one built from `config`, registered and shown.
    WebViewPopupController* openPopup(const QString& id, const QString& path,
                                      const WebViewPopupConfig& config,
                                      std::function<void()> onClose = {});
    void removePopup(const QString& id);

    WebViewPopupController* popup(const QString& id) const;
    int popupCount() const { return static_cast<int>(m_activePopups.size()); }
    // Closes every open popup (at shutdown).
    void closeAll();

private:
    QHash<QString, QPointer<WebViewPopupController>> m_activePopups;
    WebViewPopupController::WebViewFactory m_factory;
};
