#pragma once

#include "api/FileType.h"
#include "api/UserCredentials.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariantMap>

// The service's API endpoints and how each becomes a request.
class XDYGlobalAPI {
public:
    enum class Case { fileCheck, fileUpload, versionJson };

    static XDYGlobalAPI fileCheck(QString md5);
    static XDYGlobalAPI fileUpload(QString md5, QString appName, QString path, qint32 size,
                                   FileType fileType, QString fileName);
    static XDYGlobalAPI versionJson();

    // "https://" + the configured API host + "/api", without a trailing slash.
    static QUrl defaultBaseUrl();

    Case kind() const { return m_case; }
    // "GET" or "POST".
    QByteArray method() const;
    QString path() const;
    // The base followed directly by the path.
    QUrl url(const QUrl& baseUrl = defaultBaseUrl()) const;
    // Keys to values (text or integer). The endpoints that name the user ask `user` once, at
    // the moment the parameters are built.
    QVariantMap parameters(const UserCredentialsProvider& user) const;

    // Keys in ascending order, values percent-encoded, integers as decimal text.
    static QByteArray encodeQuery(const QVariantMap& parameters);
    // The URL with the parameters as its query: every method carries them there.
    static QUrl urlWithQuery(const QUrl& url, const QVariantMap& parameters);

private:
    explicit XDYGlobalAPI(Case kind) : m_case(kind) {}

    Case m_case;
    QString m_md5;
    QString m_appName;
    QString m_path;
    qint32 m_size = 0;
    FileType m_fileType = FileType::all;
    QString m_fileName;
};
