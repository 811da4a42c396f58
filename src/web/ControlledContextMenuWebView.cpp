#include "web/ControlledContextMenuWebView.h"

#include <QContextMenuEvent>

void ControlledContextMenuWebView::contextMenuEvent(QContextMenuEvent* event) {
    if (isMenuAllowed()) {
        QWebEngineView::contextMenuEvent(event);
        return;
    }
    ++m_refusedMenus;
    event->accept();
}
