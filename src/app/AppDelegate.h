#pragma once

#include "api/ForceInfo.h"
#include "api/NetworkError.h"
#include "api/VersionResponse.h"
#include "app/MainWindow.h"
#include "app/WebViewController.h"
#include "foundation/json/Result.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ClientUpdateRequester;
class PopupWindowOpener;
class QTimer;
class QWidget;
class WebContentService;

// The application's life: the services started in order, the choice of web package after the
// service's version reply, the launch window or the main window, the menu actions and the
// orderly shutdown. GUI thread only, except `forwardAuthenticationFailure`.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    using VersionResult = Result<VersionResponse, NetworkError>;

    // What start-up calls in the parts that plug in later (self-update, the page's log files),
    // and the seams tests use. Each may be empty.
    struct Options {
        // True when this process was started as the update helper and has done its work.
        std::function<bool(const QStringList& arguments)> runUpdateHelperIfNeeded;
        // Finishes or undoes an update that was interrupted while it replaced the application.
        std::function<void()> recoverApplicationFolder;
        // Creates the shared update manager, idle.
        std::function<void()> createUpdateManager;
        // The automatic client-update check on a version record.
        std::function<void(const VersionResponse&)> checkClientUpdate;
        // The menu's update check: alerts for a failure and for an up-to-date client.
        std::function<void(const VersionResult&)> handleClientVersionResult;
        // Removes the page's old daily log files.
        std::function<void()> cleanOldLogFiles;
        // The main page's web view (tests); a native web view otherwise.
        WebViewController::WebViewFactory mainWebViewFactory;
    };

    static inline const QString kDefaultWebVersion = QStringLiteral("0.7.09");
    static inline const QString kDefaultWebPackagePath =
        QStringLiteral("/pmz_website/kxorbcs/cloudphone_kxorb_web_pc/web-mac-zip/v0_7_09/pc.zip");
    static inline const QString kSavedVersionFallback = QStringLiteral("0.0.1");
    static inline const QString kRecordVersionFallback = QStringLiteral("1.0.0");
    static constexpr std::chrono::seconds kLogCleanupInterval{21600};
    static constexpr std::chrono::milliseconds kTransitionDelay{500};
    static constexpr std::chrono::milliseconds kFadeDuration{500};

    explicit AppDelegate(Options options = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The default package on the resource host.
    static QString defaultWebPackageURL();

    void applicationDidFinishLaunching(const QStringList& arguments);
    void applicationWillTerminate();
    void setupSDK();
    void seedStartupSettings();

    // Tells the page that the device's sign-in failed; from any thread.
    static void forwardAuthenticationFailure(const QString& deviceID);

    void handleVersionResult(const VersionResult& result);
    void openWithSavedWebVersion();
    // The entry of the running version, else the last entry; warns when none matches.
    static std::optional<ForceInfo> findForceInfo(const VersionResponse& response,
                                                  const QString& runningVersion);
    void applyForceInfo(const ForceInfo& info);

    // The main window at once, without a launch window.
    virtual void openMainWindow();
    virtual void showLaunchWindow(const QString& urlString, const QString& webVersion);
    void transitionToMainWindow();
    void performTransitionAnimation(MainWindow* mainWindow);
    void cleanupLaunchWindow();
    // The main window's close button: minimise when "close-panel" says "min", else quit.
    bool windowShouldClose();

    void checkForUpdates();
    void newWindow();
    void setAspectRatio(const QVariant& representedObject);

    MainWindow* window() const { return m_window; }
    QWidget* launchWindow() const { return m_launchWindow; }
    bool isTransitioning() const { return m_isTransitioning; }
    QTimer* logCleanupTimer() const { return m_logCleanupTimer; }

protected:
    virtual void requestTermination();

private:
    MainWindow* buildMainWindow();
    QWidget* buildLaunchWindow(const QString& urlString, const QString& webVersion);
    void startCrashReporting();
    // What the page's messages need of the shell: the web package, popups, the update check.
    void installPageServices();
    void uninstallPageServices();
    void requestVersion();

    Options m_options;
    QPointer<MainWindow> m_window;
    QPointer<QWidget> m_launchWindow;
    bool m_isTransitioning = false;
    QTimer* m_logCleanupTimer = nullptr;
    bool m_launched = false;
    bool m_terminated = false;
    std::unique_ptr<WebContentService> m_webContentService;
    std::unique_ptr<PopupWindowOpener> m_popupWindowOpener;
    std::unique_ptr<ClientUpdateRequester> m_clientUpdateRequester;
};
