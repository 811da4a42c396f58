#include "app/WebPackageDownloader.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QTimer>

namespace {

Error httpStatusError(int status) {
    return Error{QStringLiteral("WebContentManager"), status,
                 QStringLiteral("服务器返回 HTTP ") + QString::number(status)};
}

Error transportError(QNetworkReply::NetworkError code, const QString& message) {
    return Error{QStringLiteral("QNetworkReply"), static_cast<int>(code), message};
}

}  // namespace

WebPackageDownloader::WebPackageDownloader(QObject* parent)
    : QObject(parent),
      m_temporaryFolder(QDir::tempPath()),
      m_network(new QNetworkAccessManager(this)),
      m_inactivityTimer(new QTimer(this)),
      m_overallTimer(new QTimer(this)),
      m_retryTimer(new QTimer(this)) {
    m_inactivityTimer->setSingleShot(true);
    m_inactivityTimer->setInterval(kTransferTimeout);
    m_overallTimer->setSingleShot(true);
    m_overallTimer->setInterval(kOverallTimeout);
    m_retryTimer->setSingleShot(true);
    connect(m_inactivityTimer, &QTimer::timeout, this, [this] {
        onTimedOut(QStringLiteral("no data received for %1 s").arg(kTransferTimeout.count()));
    });
    connect(m_overallTimer, &QTimer::timeout, this, [this] {
        onTimedOut(
            QStringLiteral("download not finished within %1 s").arg(kOverallTimeout.count()));
    });
    connect(m_retryTimer, &QTimer::timeout, this, &WebPackageDownloader::startAttempt);
}

WebPackageDownloader::~WebPackageDownloader() {
    dropReply();
}

void WebPackageDownloader::start(const QUrl& url) {
    cancel();
    m_url = url;
    m_retryCount = 0;
    startAttempt();
}

void WebPackageDownloader::cancel() {
    m_retryTimer->stop();
    dropReply();
}

bool WebPackageDownloader::isActive() const {
    return m_reply || m_retryTimer->isActive();
}

void WebPackageDownloader::dropReply() {
    m_inactivityTimer->stop();
    m_overallTimer->stop();
    if (m_reply) {
        // Disconnected first: a dropped transfer reports nothing.
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    m_reply = nullptr;
    m_file.reset();
}

void WebPackageDownloader::startAttempt() {
    dropReply();
    m_writeFailed = false;
    m_timeoutReason.clear();
    if (m_callbacks.attemptStarted) {
        m_callbacks.attemptStarted(m_retryCount);
    }
    m_file = std::make_unique<QTemporaryFile>(
        QDir(m_temporaryFolder).filePath(QStringLiteral("KXVWebContent_download_XXXXXX.part")));
    if (!m_file->open()) {
        const Error error{QStringLiteral("WebContentManager"), -4,
                          QStringLiteral("无法创建下载临时文件: ") + m_file->errorString()};
        m_file.reset();
        retryOrFail(error);
        return;
    }

    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_network->get(request);
    connect(m_reply, &QIODevice::readyRead, this, &WebPackageDownloader::onReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        m_inactivityTimer->start();
        if (m_callbacks.progressed) {
            m_callbacks.progressed(received, total);
        }
    });
    connect(m_reply, &QNetworkReply::finished, this, &WebPackageDownloader::onReplyFinished);
    m_inactivityTimer->start();
    m_overallTimer->start();
}

void WebPackageDownloader::onReadyRead() {
    m_inactivityTimer->start();
    const QByteArray bytes = m_reply->readAll();
    if (!m_writeFailed && m_file->write(bytes) != bytes.size()) {
        m_writeFailed = true;
        m_reply->abort();
    }
}

void WebPackageDownloader::onTimedOut(const QString& reason) {
    if (!m_reply) {
        return;
    }
    m_timeoutReason = reason;
    m_reply->abort();
}

void WebPackageDownloader::onReplyFinished() {
    m_inactivityTimer->stop();
    m_overallTimer->stop();
    QNetworkReply* reply = m_reply;
    if (!reply) {
        return;
    }
    if (!m_writeFailed && reply->bytesAvailable() > 0) {
        onReadyRead();
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError networkError = reply->error();
    const QString errorText = reply->errorString();
    // The MIME type alone, without parameters such as the charset.
    const QString mimeType = reply->header(QNetworkRequest::ContentTypeHeader)
                                 .toString()
                                 .section(QLatin1Char(';'), 0, 0)
                                 .trimmed();

    if (m_writeFailed) {
        const QString message = m_file->errorString();
        dropReply();
        retryOrFail(Error{QStringLiteral("WebContentManager"), -4,
                          QStringLiteral("无法写入下载临时文件: ") + message});
        return;
    }
    if (!m_timeoutReason.isEmpty()) {
        const QString reason = m_timeoutReason;
        dropReply();
        retryOrFail(transportError(QNetworkReply::TimeoutError, reason));
        return;
    }
    if (status != 0 && (status < 200 || status > 299)) {
        dropReply();
        retryOrFail(httpStatusError(status));
        return;
    }
    if (networkError == QNetworkReply::OperationCanceledError) {
        // Cancelled by someone other than us: ends quietly.
        dropReply();
        return;
    }
    if (networkError != QNetworkReply::NoError) {
        dropReply();
        retryOrFail(transportError(networkError, errorText));
        return;
    }

    if (!m_file->flush()) {
        const QString message = m_file->errorString();
        dropReply();
        retryOrFail(Error{QStringLiteral("WebContentManager"), -4,
                          QStringLiteral("无法写入下载临时文件: ") + message});
        return;
    }
    m_file->setAutoRemove(false);
    const QString downloaded = m_file->fileName();
    m_file->close();
    m_file.reset();
    reply->disconnect(this);
    reply->deleteLater();
    m_reply = nullptr;
    if (m_callbacks.finished) {
        m_callbacks.finished(downloaded, status, mimeType);
    }
}

void WebPackageDownloader::retryOrFail(const Error& error) {
    if (m_retryCount < kMaxAttempts - 1) {
        ++m_retryCount;
        if (m_callbacks.retryScheduled) {
            m_callbacks.retryScheduled(m_retryCount, error);
        }
        m_retryTimer->start(m_retryUnit * m_retryCount);
        return;
    }
    if (m_callbacks.failed) {
        m_callbacks.failed(error);
    }
}
