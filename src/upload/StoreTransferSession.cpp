#include "upload/StoreTransferSession.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QThread>

StoreTransferSession::StoreTransferSession(QList<QSslCertificate> extraCaCertificates)
    : m_extraCaCertificates(std::move(extraCaCertificates)),
      m_thread(std::make_unique<QThread>()),
      m_context(new QObject()) {
    m_thread->setObjectName(QStringLiteral("FileUploader.session.delegate"));
    m_context->moveToThread(m_thread.get());
    // Deferred deletions run as the thread finishes, so the replies go with their thread.
    QObject::connect(m_thread.get(), &QThread::finished, m_context, &QObject::deleteLater);
    m_thread->start();
}

StoreTransferSession::~StoreTransferSession() {
    shutdown();
}

void StoreTransferSession::shutdown() {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return;
        }
        m_closed = true;
    }
    m_thread->quit();
    m_thread->wait();
}

void StoreTransferSession::put(const QUrl& target, const HeaderList& headers,
                               const QString& filePath, Callbacks callbacks) {
    QNetworkRequest request(target);
    request.setTransferTimeout(60000);
    for (const auto& [name, value] : headers) {
        request.setRawHeader(name.toUtf8(), value.toUtf8());
    }
    if (!m_extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = request.sslConfiguration();
        tls.addCaCertificates(m_extraCaCertificates);
        request.setSslConfiguration(tls);
    }
    std::lock_guard lock(m_mutex);
    if (m_closed) {
        return;
    }
    QMetaObject::invokeMethod(
        m_context,
        [this, request, filePath, callbacks = std::move(callbacks)] {
            start(request, filePath, callbacks);
        },
        Qt::QueuedConnection);
}

void StoreTransferSession::start(const QNetworkRequest& request, const QString& filePath,
                                 const Callbacks& callbacks) {
    if (!m_network) {
        m_network = new QNetworkAccessManager(m_context);
    }
    auto* file = new QFile(filePath);
    if (!file->open(QIODevice::ReadOnly)) {
        const Error error{QStringLiteral("FileDigest"), static_cast<int>(file->error()),
                          file->errorString()};
        delete file;
        callbacks.finished(std::nullopt, error);
        return;
    }
    const bool emptyBody = file->size() == 0;
    QNetworkReply* reply = m_network->put(request, file);
    file->setParent(reply);
    QObject::connect(reply, &QNetworkReply::uploadProgress, m_context,
                     [callbacks](qint64 sent, qint64 expected) {
                         // The reply also reports (0, 0) when it ends; that is no body data.
                         if (sent > 0) {
                             callbacks.progress(sent, expected);
                         }
                     });
    QObject::connect(reply, &QNetworkReply::readyRead, m_context,
                     [callbacks, reply] { callbacks.responseData(reply->readAll()); });
    QObject::connect(reply, &QNetworkReply::finished, m_context, [callbacks, reply, emptyBody] {
        callbacks.responseData(reply->readAll());
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            if (emptyBody) {
                callbacks.progress(0, 0);
            }
            callbacks.finished(status.toInt(), std::nullopt);
        } else if (reply->error() != QNetworkReply::NoError) {
            callbacks.finished(std::nullopt,
                               Error{QStringLiteral("NetworkError"),
                                     static_cast<int>(reply->error()), reply->errorString()});
        } else {
            callbacks.finished(std::nullopt, std::nullopt);
        }
        reply->deleteLater();
    });
}
