#pragma once

#include "app/WebViewPopupConfig.h"
#include "web/PopupWindowOpener.h"

class WebViewPopupManager;

// Opens the page's popup windows through the shell's popup manager: one window per id.
class ManagedPopupWindowOpener : public PopupWindowOpener {
public:
    explicit ManagedPopupWindowOpener(WebViewPopupManager& manager);
    ~ManagedPopupWindowOpener() override;

    void openOrFocusPopup(const QString& id, const PopupWindowRequest& request) override;

    static WebViewPopupConfig popupConfig(const PopupWindowRequest& request);

private:
    WebViewPopupManager& m_manager;
};
