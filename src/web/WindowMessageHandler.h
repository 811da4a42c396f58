#pragma once

#include "web/PageUploadFlow.h"
#include "web/Web2NativeMessageHandler.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class Native2WebMessageSender;
class NotificationCenter;
struct PopupWindowRequest;

// The page's window, update, upload-control, popup and window-to-window messages, and the repair
// of the web package. The web package, the popup windows and the update check are reached
// through the interfaces the application installs (WebContentService, PopupWindowOpener,
// ClientUpdateRequester). GUI thread only.
class WindowMessageHandler : public Web2NativeMessageHandler {
public:
    struct Environment {
        Native2WebMessageSender* sender = nullptr;
        NotificationCenter* notifications = nullptr;
        // Device ids of the open device windows, oldest first.
        std::function<QList<qint64>()> openDeviceIDs;
        // Hands an address to the desktop's default handler.
        std::function<bool(const QUrl& url)> openURL;
        // The modal folder chooser of a repair; nothing when cancelled.
        std::function<std::optional<QString>()> chooseDocumentsFolder;
        // Made when the page first uses the upload flow.
        std::function<PageUploadFlow::Environment()> uploadEnvironment;

        static Environment shared();
    };

    static constexpr int kMaximumOpenPreviews = 10;

    explicit WindowMessageHandler(Environment environment = Environment::shared());
    ~WindowMessageHandler() override;

    void handle(const Web2NativeMessage& message) override;

    void repairWebContent();
    // "response-show-message-box" titled "修复成功" or "修复失败"; a success also posts
    // "webContentDidRepair", on which the main window reloads its page.
    static void sendMessageBoxResponse(Native2WebMessageSender& sender,
                                       NotificationCenter& notifications, bool success,
                                       const QString& message);

    // The popup's id: the route after the first "#" (up to the next "#"), or the whole text,
    // cut before the first "?".
    static QString popupRoute(const QString& localFilePath);
    // Only web and mail addresses go to the desktop: http and https with a host, mailto with an
    // address.
    static std::optional<QUrl> browsableURL(const QString& text);

    // QFileDialog for a folder, starting in the Documents folder.
    static std::optional<QString> chooseFolderWithDialog();

private:
    void answerOpenDevices(const Web2NativeMessage& message);
    void openBrowser(const Web2NativeMessage& message);
    void openPopupWindow(const Web2NativeMessage& message);
    void relay(const Web2NativeMessage& message, bool toMain);
    void answerFileExists(const Web2NativeMessage& message);
    void sendMessageBox(const QString& title, const QString& message);
    void finishRepair(bool success, const QString& message);
    PageUploadFlow& uploadFlow();

    Environment m_environment;
    std::unique_ptr<PageUploadFlow> m_uploadFlow;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
