#pragma once

#include "app/DownloadProgress.h"
#include "app/WebContentPathManager.h"
#include "foundation/json/Result.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class SerialQueue;
class SettingsManager;
class WebPackageDownloader;

// Injection points of the web content manager; the defaults are the production values.
struct WebContentManagerOptions {
    // The built-in package; "pc" beside the executable when empty.
    QString builtInPackageFolder;
    // The desktop's Documents folder to migrate from; the path manager's default when absent.
    std::optional<QString> sandboxDocumentsPath;
    // Where downloads are written; the system's temporary folder when empty.
    QString temporaryFolder;
    // A retry after the n-th failed attempt waits n units.
    std::chrono::milliseconds retryUnit{1000};
    // The shared store when null.
    SettingsManager* settings = nullptr;
};

// The one owner of the web user-interface package on disk: the versioned folders, the built-in
// copy, the choice of version, downloading and installing a package, and the fallbacks when the
// network package cannot be had. Belongs to the GUI thread; `updateProgress`, `pathManager` and
// `webContentRootPath` may be called from any thread.
class WebContentManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(DownloadProgress progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(bool isProcessing READ isProcessing NOTIFY isProcessingChanged)
    Q_PROPERTY(bool isReady READ isReady NOTIFY isReadyChanged)
    Q_PROPERTY(double downloadProgress READ downloadProgress NOTIFY downloadProgressChanged)
    Q_PROPERTY(bool isDownloading READ isDownloading NOTIFY isDownloadingChanged)
    Q_PROPERTY(bool isExtracting READ isExtracting NOTIFY isExtractingChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)

public:
    // The package shipped with the client.
    static inline const QString builtInWebVersion = QStringLiteral("0.6.87");

    using Options = WebContentManagerOptions;

    static WebContentManager& shared();

    // Runs the start-up work: the folder, the built-in copy and the first readiness check.
    explicit WebContentManager(Options options = {}, QObject* parent = nullptr);
    ~WebContentManager() override;

    const QString logPrefix = QStringLiteral("[WebPath]");

    DownloadProgress progress() const { return m_progress; }
    bool isProcessing() const { return m_isProcessing; }
    bool isReady() const { return m_isReady; }
    double downloadProgress() const { return m_downloadProgress; }
    bool isDownloading() const { return m_isDownloading; }
    bool isExtracting() const { return m_isExtracting; }
    QString statusMessage() const { return m_statusMessage; }

    // A copy, safe to use on any thread.
    WebContentPathManager pathManager() const;
    // <documents root>/"KXVWebContent"; the loopback server's web-content root.
    QString webContentRootPath() const;

    QString activeWebVersion() const { return m_activeWebVersion; }
    std::optional<QUrl> downloadURL() const { return m_downloadURL; }
    int retryCount() const { return m_retryCount; }
    int totalFileCount() const { return m_totalFileCount; }
    int extractedFileCount() const { return m_extractedFileCount; }

    void ensureWebContentFolder();
    void migrateLegacyWebContent();
    // Whether the built-in version has its entry file afterwards.
    bool installBuiltInWebPackage();
    std::optional<QString> resolveActiveWebVersion();
    void prepareWebContent();
    // Absent values leave the published ones as they are. Applied on the GUI thread, in order.
    void updateProgress(DownloadStep step, std::optional<double> downloadFraction = std::nullopt,
                        std::optional<double> extractionFraction = std::nullopt,
                        std::optional<QString> message = std::nullopt);
    void logProgress() const;
    static Result<void> validateDownloadedZip(const QString& filePath, int httpStatus = -1,
                                              const QString& mimeType = QStringLiteral("-"));

    // Installs `version` from `urlString` unless it is on disk already. Replaces the callbacks
    // of an earlier start and drops its transfer; an installation already unpacking finishes
    // quietly for its own version.
    void startWebPackageDownload(const QString& urlString, const QString& version,
                                 DownloadCompletion completion);
    // Unpacks a validated zip into the active version's folder, in the background.
    void extractWebPackage(const QString& zipPath);
    void removeOtherWebVersions(const QString& keptVersion);

    // The built-in package's entry, made the active version; nothing when it cannot be had.
    std::optional<QUrl> useBuiltInWebContent();
    // A folder the user picked; its "Documents" subfolder unless it is one. False when unreadable.
    bool setAuthorizedDocumentsFolder(const QString& folder);
    // Where a hand-installed package of the active version belongs; nothing for a version that
    // names no folder.
    std::optional<QString> expectedWebPackageFolder();
    void fallBackToBuiltInAfterFailure(const Error& downloadError,
                                       const std::function<void(bool, const QString&)>& callback);

Q_SIGNALS:
    void progressChanged(const DownloadProgress& progress);
    void isProcessingChanged(bool isProcessing);
    void isReadyChanged(bool isReady);
    void downloadProgressChanged(double downloadProgress);
    void isDownloadingChanged(bool isDownloading);
    void isExtractingChanged(bool isExtracting);
    void statusMessageChanged(const QString& statusMessage);

private:
    struct InstallRequest;

    SettingsManager& settings() const;
    void setReady(bool ready);
    void setProgressRecord(const DownloadProgress& progress);
    void publish(quint64 generation, DownloadStep step, std::optional<double> downloadFraction,
                 std::optional<double> extractionFraction, std::optional<QString> message);
    void applyProgress(DownloadStep step, std::optional<double> downloadFraction,
                       std::optional<double> extractionFraction,
                       const std::optional<QString>& message);
    void failAtOnce(const Error& error, const DownloadCompletion& completion);
    void reportDownloadFailure(const Error& error);
    void notifyDownloadCompleted(const QUrl& entry);
    void connectDownloader();
    void queueInstall(const InstallRequest& request);
    void finishExtraction(const QString& version);
    void failInstall(bool handlingDownload, const Error& error);
    QString temporaryZipPath() const;

    Options m_options;
    mutable std::mutex m_pathMutex;
    WebContentPathManager m_pathManager;

    DownloadProgress m_progress;
    bool m_isProcessing = false;
    bool m_isReady = false;
    double m_downloadProgress = 0.0;
    bool m_isDownloading = false;
    bool m_isExtracting = false;
    QString m_statusMessage;

    WebPackageDownloader* m_downloader = nullptr;
    std::optional<QUrl> m_downloadURL;
    int m_retryCount = 0;
    QString m_activeWebVersion;
    DownloadCompletion m_completion;
    int m_extractedFileCount = 0;
    int m_totalFileCount = 0;
    // Each start opens a generation; results of an older one are dropped.
    std::atomic<quint64> m_generation{0};
    std::unique_ptr<SerialQueue> m_installQueue;
};
