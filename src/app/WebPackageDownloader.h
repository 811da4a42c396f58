#pragma once

#include "foundation/Result.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryFile;
class QTimer;

// Fetches one web package into a temporary file, making up to three attempts: a failed attempt
// (HTTP status outside 2xx, a transport error or a time-out) is retried after n × the retry unit
// for the n-th retry. One transfer at a time: a new start or a cancel drops the running attempt
// and any pending retry without a word. Lives on the GUI thread; every callback runs there.
class WebPackageDownloader : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxAttempts = 3;
    static constexpr std::chrono::seconds kTransferTimeout{30};
    static constexpr std::chrono::seconds kOverallTimeout{180};

    struct Callbacks {
        // `retryCount` 0 for the first attempt.
        std::function<void(int retryCount)> attemptStarted;
        // `expectedBytes` is 0 or less when the server did not say.
        std::function<void(qint64 writtenBytes, qint64 expectedBytes)> progressed;
        // The n-th retry (1 or 2) will start after n retry units.
        std::function<void(int retryNumber, const Error& cause)> retryScheduled;
        // A complete 2xx body, now in `downloadedFile`, which the receiver takes over.
        std::function<void(const QString& downloadedFile, int httpStatus, const QString& mimeType)>
            finished;
        // The last attempt failed.
        std::function<void(const Error& error)> failed;
    };

    explicit WebPackageDownloader(QObject* parent = nullptr);
    ~WebPackageDownloader() override;

    void setCallbacks(Callbacks callbacks) { m_callbacks = std::move(callbacks); }
    // One second in production; tests shorten it.
    void setRetryUnit(std::chrono::milliseconds unit) { m_retryUnit = unit; }
    // Where the partial files are written; the system's temporary folder by default.
    void setTemporaryFolder(const QString& folder) { m_temporaryFolder = folder; }

    void start(const QUrl& url);
    void cancel();
    bool isActive() const;

private:
    void startAttempt();
    void onReadyRead();
    void onReplyFinished();
    void onTimedOut(const QString& reason);
    void retryOrFail(const Error& error);
    void dropReply();

    Callbacks m_callbacks;
    std::chrono::milliseconds m_retryUnit{1000};
    QString m_temporaryFolder;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QTemporaryFile> m_file;
    QTimer* m_inactivityTimer = nullptr;
    QTimer* m_overallTimer = nullptr;
    QTimer* m_retryTimer = nullptr;
    QUrl m_url;
    int m_retryCount = 0;
    bool m_writeFailed = false;
    QString m_timeoutReason;
};
