#pragma once

#include <QWebEngineView>

#include <functional>

// The web view of every native web view: its context menu appears only while developer tools
// are allowed.
class ControlledContextMenuWebView : public QWebEngineView {
    Q_OBJECT
public:
    using QWebEngineView::QWebEngineView;

    // Asked each time a menu is about to open; without it no menu opens.
    void setMenuAllowed(std::function<bool()> allowed) { m_menuAllowed = std::move(allowed); }
    bool isMenuAllowed() const { return m_menuAllowed && m_menuAllowed(); }

    // How many menus were refused, for diagnostics.
    int refusedMenuCount() const { return m_refusedMenus; }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::function<bool()> m_menuAllowed;
    int m_refusedMenus = 0;
};
