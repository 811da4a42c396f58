#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// Where and as whom reports are sent: "<scheme>://<public key>@<host>[:port][/path]/<project id>".
class CrashReportDsn {
public:
    // Nothing for an empty text or one that does not have that form (http or https only).
    static std::optional<CrashReportDsn> parse(const QString& text);

    const QString& text() const { return m_text; }
    const QString& publicKey() const { return m_publicKey; }
    const QString& projectId() const { return m_projectId; }
    // "<scheme>://<host>[:port][/path]/api/<project id>/envelope/"
    QUrl envelopeUrl() const { return m_envelopeUrl; }
    // The authentication header value that goes with every upload.
    QByteArray authHeader() const;

private:
    QString m_text;
    QString m_publicKey;
    QString m_projectId;
    QUrl m_envelopeUrl;
};
