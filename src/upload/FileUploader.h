#pragma once

#include "foundation/Result.h"
#include "upload/OBSConfig.h"
#include "upload/UploadMetricsTracker.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class SerialQueue;

// Puts one local file into the object store with a single signed PUT streamed from the file,
// reporting progress, speed and remaining time on the GUI thread. Also keeps the store's
// short-lived credential, fetched from the service when the caller asks and it has expired.
// Lives on the GUI thread; uploads may start on any thread.
class FileUploader : public QObject {
    Q_OBJECT

public:
    using ProgressHandler =
        std::function<void(float fraction, const QString& speed, const QString& remainingTime)>;
    using UploadCompletion =
        std::function<void(const QString& filePath, const std::optional<Error>& error,
                           const QString& objectURL, bool success)>;
    using LogUploadCompletion = std::function<void(const std::optional<Error>& error,
                                                   const QString& objectURL, bool success)>;
    using ConsoleSink = std::function<void(const QString& line)>;

    struct Configuration {
        // Where store requests are really sent (scheme, host, port); empty sends them to the
        // object URL itself. The object URL, "Host" and signatures never change.
        QUrl storeAddress;
        // The signed-in user's uid, nothing without a saved record.
        std::function<std::optional<QString>()> userID;
        std::function<QDateTime()> now;
        QString clientVersion;
        ConsoleSink console;
    };

    struct UploadTaskContext {
        QString filePath;
        QString successURL;
        ProgressHandler progressHandler;
        std::function<void(const std::optional<QByteArray>& body,
                           const std::optional<int>& httpStatus, const std::optional<Error>& error)>
            completionHandler;
        UploadMetricsTracker metricsTracker;
    };

    static FileUploader& shared();

    explicit FileUploader(Configuration configuration = {}, QObject* parent = nullptr);
    ~FileUploader() override;

    static inline const QString kErrorDomain = QStringLiteral("UploadError");
    static inline const QString kCredentialPath =
        QStringLiteral("/rest/user/file/obs/getCredential");
    static inline const QString kSignSalt = QStringLiteral("quembro964");

    // The API base URL; without it no credential can be fetched.
    std::optional<QString> authDomain() const;
    void setAuthDomain(std::optional<QString> domain);
    std::optional<OBSConfig> credentialConfig() const;
    void setCredentialConfig(std::optional<OBSConfig> config);

    void uploadFile(const QString& fileName, const QString& filePath, ProgressHandler progress,
                    UploadCompletion completion);
    void uploadLogFile(const QString& fileName, const QString& filePath, ProgressHandler progress,
                       LogUploadCompletion completion);

    // Called on the GUI thread; `completion` runs there in a later turn whether or not a
    // credential could be had.
    void updateAuthCredentialIfNeeded(std::function<void()> completion);
    void fetchUploadCredential(std::function<void(std::optional<OBSConfig>)> completion);
    void parseCredentialResponse(const std::optional<QByteArray>& body,
                                 const std::optional<Error>& error,
                                 const std::function<void(std::optional<OBSConfig>)>& completion);

    static QString formatSpeed(double bytesPerSecond);
    static QString formatTime(double seconds);
    static QString contentTypeForExtension(const QString& lowerCaseExtension);
    // Keys, secrets and tokens of a credential reply read "***".
    static QString maskedCredentialText(const QString& text);

private:
    enum class Kind { chosenFile, logFile };
    using Finish = std::function<void(const std::optional<Error>& error, const QString& url)>;

    void upload(Kind kind, const QString& fileName, const QString& filePath,
                ProgressHandler progress, const Finish& finish);
    void startTransfer(qint64 taskID, const QString& filePath, const QUrl& target,
                       const QList<std::pair<QString, QString>>& headers);
    void registerTaskContext(qint64 taskID, std::shared_ptr<UploadTaskContext> context);
    void handleProgress(qint64 taskID, std::function<void(UploadTaskContext&)> work);
    void appendResponseData(const QByteArray& bytes, qint64 taskID);
    void completeTask(qint64 taskID, std::optional<int> httpStatus, std::optional<Error> error);
    QNetworkAccessManager* session();
    void console(const QString& line) const;
    QDateTime now() const;

    Configuration m_configuration;
    mutable std::mutex m_mutex;
    std::optional<QString> m_authDomain;
    std::optional<OBSConfig> m_credentialConfig;
    std::unique_ptr<SerialQueue> m_serialQueue;
    QNetworkAccessManager* m_session = nullptr;
    std::atomic<qint64> m_nextTaskID{1};
    // Touched on the serial queue only.
    QHash<qint64, std::shared_ptr<UploadTaskContext>> m_taskContexts;
    QHash<qint64, QByteArray> m_taskResponseData;
};
