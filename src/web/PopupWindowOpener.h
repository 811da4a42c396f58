#pragma once

#include <QColor>
#include <QString>

// A popup web window the page asks for with "request-open-new-window".
struct PopupWindowRequest {
    QString title;
    double width = 800;
    double height = 600;
    // The entry file's plain path followed by the page's suffix ("#/route?query").
    QString localFilePath;
    bool resizable = true;
    bool showTitleBar = true;
    QColor backgroundColor = Qt::white;
};

// Opens the page's popup windows: one per id, brought to the front when asked for again. The
// popup windows belong to the application shell, which installs its opener here at start-up;
// until then the request is dropped. Called on the GUI thread.
class PopupWindowOpener {
public:
    virtual ~PopupWindowOpener() = default;

    virtual void openOrFocusPopup(const QString& id, const PopupWindowRequest& request) = 0;

    // The installed opener, or nullptr. The caller keeps ownership and uninstalls before it dies.
    static PopupWindowOpener* installed() { return current(); }
    static void install(PopupWindowOpener* opener) { current() = opener; }

private:
    static PopupWindowOpener*& current() {
        static PopupWindowOpener* opener = nullptr;
        return opener;
    }
};
