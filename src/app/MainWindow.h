#pragma once

#include <QMainWindow>

#include <functional>

class WebViewController;

// The main window: the web user interface under a menu bar with the update check, a new device
// window and the aspect-ratio commands. Its close button never closes it; what happens instead
// is the owner's close policy.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QSize kContentSize{1325, 740};
    static constexpr QSize kMinimumSize{800, 600};

    struct Actions {
        std::function<void()> checkForUpdates;
        std::function<void()> newWindow;
        std::function<void(const QVariant& representedObject)> setAspectRatio;
        // Asked when the close button is pressed; the window stays open whatever it answers.
        std::function<bool()> windowShouldClose;
    };

    MainWindow(Actions actions, WebViewController* content);

    WebViewController* webViewController() const { return m_content; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupMenus();

    Actions m_actions;
    WebViewController* m_content;
};
