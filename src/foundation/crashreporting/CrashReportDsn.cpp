#include "foundation/crashreporting/CrashReportDsn.h"

#include <QRegularExpression>

std::optional<CrashReportDsn> CrashReportDsn::parse(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.userName().isEmpty() || url.host().isEmpty()) {
        return std::nullopt;
    }
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString projectId = path.mid(slash + 1);
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (slash < 0 || !digits.match(projectId).hasMatch()) {
        return std::nullopt;
    }

    CrashReportDsn dsn;
    dsn.m_text = text.trimmed();
    dsn.m_publicKey = url.userName();
    dsn.m_projectId = projectId;
    QUrl endpoint;
    endpoint.setScheme(scheme);
    endpoint.setHost(url.host());
    endpoint.setPort(url.port());
    endpoint.setPath(path.left(slash) + QStringLiteral("/api/") + projectId +
                     QStringLiteral("/envelope/"));
    dsn.m_envelopeUrl = endpoint;
    return dsn;
}

QByteArray CrashReportDsn::authHeader() const {
    return QByteArrayLiteral("Sentry sentry_version=7, sentry_client=kx-crash-report/1.0, ") +
           QByteArrayLiteral("sentry_key=") + m_publicKey.toUtf8();
}
