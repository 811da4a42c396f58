#pragma once

#include "foundation/crashreporting/CrashReportDsn.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkReply;

// Uploads the envelopes waiting in the spool folder to the service, oldest first, one at a time.
// A delivered envelope, or one the service refuses for good, leaves the folder; on a network
// failure, a server error or a rate limit the rest waits for the next flush. Lives on the thread
// that created it.
class CrashReportSender : public QObject {
    Q_OBJECT
public:
    static inline const QString kFileSuffix = QStringLiteral(".envelope");

    CrashReportSender(QString spoolDirectory, CrashReportDsn dsn, QObject* parent = nullptr);
    ~CrashReportSender() override;

    void flush();

Q_SIGNALS:
    // The folder is empty, or the rest waits for the next flush.
    void idle();

private:
    void finished();

    const QString m_spoolDirectory;
    const CrashReportDsn m_dsn;
    QNetworkAccessManager m_network;
    QPointer<QNetworkReply> m_reply;
    QString m_currentFile;
    bool m_flushAgain = false;
};
