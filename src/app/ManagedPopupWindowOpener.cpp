#include "app/ManagedPopupWindowOpener.h"

#include "app/WebViewPopupManager.h"

#include <QWidget>

ManagedPopupWindowOpener::ManagedPopupWindowOpener(WebViewPopupManager& manager)
    : m_manager(manager) {}

ManagedPopupWindowOpener::~ManagedPopupWindowOpener() {
    if (PopupWindowOpener::installed() == this) {
        PopupWindowOpener::install(nullptr);
    }
}

WebViewPopupConfig ManagedPopupWindowOpener::popupConfig(const PopupWindowRequest& request) {
    WebViewPopupConfig config;
    config.title = request.title;
    config.width = request.width;
    config.height = request.height;
    config.localFilePath = request.localFilePath;
    config.resizable = request.resizable;
    config.showTitleBar = request.showTitleBar;
    config.backgroundColor = request.backgroundColor;
    return config;
}

void ManagedPopupWindowOpener::openOrFocusPopup(const QString& id,
                                                const PopupWindowRequest& request) {
    m_manager.openPopup(id, request.localFilePath, popupConfig(request));
}
