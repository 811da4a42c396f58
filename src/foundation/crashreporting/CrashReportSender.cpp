#include "foundation/crashreporting/CrashReportSender.h"

#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

constexpr int kTransferTimeoutMs = 30000;

}  // namespace

CrashReportSender::CrashReportSender(QString spoolDirectory, CrashReportDsn dsn, QObject* parent)
    : QObject(parent), m_spoolDirectory(std::move(spoolDirectory)), m_dsn(std::move(dsn)) {}

CrashReportSender::~CrashReportSender() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void CrashReportSender::flush() {
    if (m_reply) {
        m_flushAgain = true;
        return;
    }
    const QDir spool(m_spoolDirectory);
    for (const QString& name :
         spool.entryList({QLatin1Char('*') + kFileSuffix}, QDir::Files, QDir::Name)) {
        QFile file(spool.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray envelope = file.readAll();
        if (envelope.isEmpty()) {
            // A crash that left no bytes behind has nothing to tell.
            QFile::remove(file.fileName());
            continue;
        }
        QNetworkRequest request(m_dsn.envelopeUrl());
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-sentry-envelope"));
        request.setRawHeader(QByteArrayLiteral("X-Sentry-Auth"), m_dsn.authHeader());
        request.setTransferTimeout(kTransferTimeoutMs);
        m_currentFile = file.fileName();
        m_reply = m_network.post(request, envelope);
        connect(m_reply, &QNetworkReply::finished, this, &CrashReportSender::finished);
        return;
    }
    Q_EMIT idle();
}

void CrashReportSender::finished() {
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    if (reply == nullptr) {
        return;
    }
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool delivered = reply->error() == QNetworkReply::NoError && status / 100 == 2;
    // Any other client error means the service will never take this envelope.
    const bool refused = status / 100 == 4 && status != 429;
    if (delivered || refused) {
        QFile::remove(m_currentFile);
        m_flushAgain = false;
        flush();
        return;
    }
    if (std::exchange(m_flushAgain, false)) {
        flush();
        return;
    }
    Q_EMIT idle();
}
