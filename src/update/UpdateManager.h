#pragma once

#include "foundation/concurrency/SerialQueue.h"
#include "foundation/json/Result.h"
#include "update/UpdateInfo.h"
#include "update/UpdateState.h"
#include "update/UpdatesDirectory.h"

#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class UpdateProgressWindowController;

// Runs one client update at a time: holds the offer until the user accepts it, downloads the
// package over HTTPS, verifies and unpacks it, checks the application inside against the running
// one, hands the swap over to a helper copy of this executable and asks the application to quit.
// Every state is shown in the progress window on the GUI thread, in the order it was set.
//
// Offers, downloads and cancellation belong to the GUI thread; the install runs on its own
// serial queue.
class UpdateManager : public QObject {
    Q_OBJECT

public:
    static inline const QString kHelperSwitch = QStringLiteral("--kx-update-helper");

    // What the manager needs to know about the running application and may do to it.
    struct Environment {
        UpdatesDirectory updatesDirectory;
        std::optional<QString> bundleIdentifier;
        std::optional<QString> shortVersion;
        // The application folder that is replaced.
        QString applicationPath;
        // Started with the helper switch, the task file and `processId`.
        QString executablePath;
        qint64 processId = 0;
        // Certificate errors always fail the download; tests trust their own certificate here.
        QSslConfiguration sslConfiguration = QSslConfiguration::defaultConfiguration();
        // Starts a process without waiting for it.
        std::function<Result<void>(const QString& program, const QStringList& arguments)>
            startDetached;
        // Called on the GUI thread once the helper runs.
        std::function<void()> terminate;

        static Environment running();
    };
    using StateHandler = std::function<void(const UpdateState&)>;

    static UpdateManager& shared();

    UpdateManager();
    explicit UpdateManager(Environment environment, QObject* parent = nullptr);
    ~UpdateManager() override;

    UpdateState state() const;
    bool isRunning() const;
    // Called on the GUI thread after each state change, after the window has shown it.
    void setStateHandler(StateHandler handler) { m_stateHandler = std::move(handler); }
    const std::optional<UpdateInfo>& pendingUpdate() const { return m_pendingUpdate; }
    std::optional<UpdateInfo> takePendingUpdate();
    const UpdatesDirectory& updatesDirectory() const { return m_environment.updatesDirectory; }

    // Shows the offer, unless an update is running.
    void presentUpdate(const UpdateInfo& offer);
    void startDownload(const UpdateInfo& offer);
    // Stops a running download, or postpones the pending offer.
    void cancel();
    // May be called on any thread.
    void setState(const UpdateState& state);

    // Created on first use.
    UpdateProgressWindowController& progressWindow();

    // The first top-level folder (by name) that holds a bundle-info.json and the executable;
    // links are passed over.
    static std::optional<QString> findAppInVolume(const QString& volumePath,
                                                  const QString& executableName);

private:
    struct Download;

    void finishDownload();
    void installDownloadedPackage(const Result<QString>& downloaded, const UpdateInfo& offer,
                                  const QString& targetFile, quint64 run);
    Result<void> install(const QString& downloadedFile, const UpdateInfo& offer,
                         const QString& targetFile, std::optional<QString>& unpackedFolder);
    void fail(const Error& error, quint64 run);
    void publishLocked(const UpdateState& state);

    Environment m_environment;
    StateHandler m_stateHandler;
    std::optional<UpdateInfo> m_pendingUpdate;
    std::unique_ptr<UpdateProgressWindowController> m_progressWindow;
    QNetworkAccessManager* m_network = nullptr;
    std::unique_ptr<Download> m_download;

    // Written from the GUI thread and from the install queue.
    mutable std::mutex m_mutex;
    UpdateState m_state;
    bool m_isRunning = false;
    // Tells the endings of a cancelled run apart from those of a later one.
    quint64 m_run = 0;

    SerialQueue m_installQueue{QStringLiteral("com.brisca.update.install")};
};
