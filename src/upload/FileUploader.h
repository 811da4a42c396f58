#pragma once

#include "foundation/json/Result.h"
#include "upload/FileDigests.h"
#include "upload/OBSConfig.h"
#include "upload/OBSRequestSigner.h"
#include "upload/UploadMetricsTracker.h"
#include "upload/UploadProgressRelay.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class SerialQueue;
class StoreTransferSession;

// Puts one local file into the object store with a single signed PUT streamed from the file,
// reporting progress, speed and remaining time on the GUI thread (the newest report, with at most
// one waiting there). Also keeps the store's short-lived credential, fetched from the service
// when the caller asks and it has expired. Lives on the GUI thread; uploads may start on any
// thread.
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
        // Authorities trusted for the store besides the system's (a local store's own
        // certificate); certificate checks themselves are never relaxed.
        QList<QSslCertificate> extraCaCertificates;
    };

    // One transfer, touched only on the transfer thread; its progress reaches the GUI thread
    // through the relay.
    struct UploadTaskContext {
        QString filePath;
        QString successURL;
        UploadProgressRelay progressHandler;
        std::function<void(const QByteArray& body, const std::optional<int>& httpStatus,
                           const std::optional<Error>& error)>
            completionHandler;
        UploadMetricsTracker metricsTracker;
        QByteArray responseData;
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
    // With the file's digests already at hand the file is read only to be sent; the request is
    // then signed and started on the caller's thread.
    void uploadFile(const QString& fileName, const QString& filePath,
                    const std::optional<FileMD5AndSHA256>& digests, ProgressHandler progress,
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
    // The key as it stands in the URL path and in the signature: unreserved characters and "/"
    // stay, every other UTF-8 byte becomes %XX in upper case.
    static QString encodedObjectKey(const QString& rawKey);

private:
    enum class Kind { chosenFile, logFile };
    using Finish = std::function<void(const std::optional<Error>& error, const QString& url)>;
    struct ObjectRequest;

    void upload(Kind kind, const QString& fileName, const QString& filePath,
                const std::optional<FileMD5AndSHA256>& digests, ProgressHandler progress,
                const Finish& finish);
    Result<ObjectRequest> describeRequest(Kind kind, const QString& fileName,
                                          const QString& filePath) const;
    Result<QString> objectKey(Kind kind, const QString& fileName, const QString& extension) const;
    void hashAndSend(const ObjectRequest& request, ProgressHandler progress, const Finish& finish,
                     const Finish& earlyFailure);
    void send(const ObjectRequest& request, const FileMD5AndSHA256& digests,
              ProgressHandler progress, const Finish& finish);
    static HeaderList signedHeaders(const ObjectRequest& request, const FileMD5AndSHA256& digests,
                                    const QDateTime& now);
    QUrl storeTarget(const QUrl& objectURL, HeaderList& headers) const;
    static std::shared_ptr<UploadTaskContext> makeTaskContext(const ObjectRequest& request,
                                                              ProgressHandler progress,
                                                              const Finish& finish);
    static void handleProgress(UploadTaskContext& context, qint64 sent, qint64 expected);
    QNetworkAccessManager* session();
    void console(const QString& line) const;
    QDateTime now() const;

    Configuration m_configuration;
    mutable std::mutex m_mutex;
    std::optional<QString> m_authDomain;
    std::optional<OBSConfig> m_credentialConfig;
    std::unique_ptr<SerialQueue> m_serialQueue;
    std::unique_ptr<StoreTransferSession> m_transfers;
    QNetworkAccessManager* m_session = nullptr;
    std::atomic<bool> m_stopping{false};
};
