#include "api/XDYGlobalAPI.h"

#include "foundation/settings/ServiceEndpoints.h"

XDYGlobalAPI XDYGlobalAPI::fileCheck(QString md5) {
    XDYGlobalAPI endpoint(Case::fileCheck);
    endpoint.m_md5 = std::move(md5);
    return endpoint;
}

XDYGlobalAPI XDYGlobalAPI::fileUpload(QString md5, QString appName, QString path, qint32 size,
                                      FileType fileType, QString fileName) {
    XDYGlobalAPI endpoint(Case::fileUpload);
    endpoint.m_md5 = std::move(md5);
    endpoint.m_appName = std::move(appName);
    endpoint.m_path = std::move(path);
    endpoint.m_size = size;
    endpoint.m_fileType = fileType;
    endpoint.m_fileName = std::move(fileName);
    return endpoint;
}

XDYGlobalAPI XDYGlobalAPI::versionJson() {
    return XDYGlobalAPI(Case::versionJson);
}

QUrl XDYGlobalAPI::defaultBaseUrl() {
    return ServiceEndpoints::apiBaseUrl();
}

QByteArray XDYGlobalAPI::method() const {
    return m_case == Case::versionJson ? QByteArrayLiteral("GET") : QByteArrayLiteral("POST");
}

QString XDYGlobalAPI::path() const {
    switch (m_case) {
        case Case::fileCheck:
            return QStringLiteral("/rest/cph/user/file/check");
        case Case::fileUpload:
            return QStringLiteral("/rest/cph/user/file/upload");
        case Case::versionJson:
            break;
    }
    return QStringLiteral("/rest/sys/version-json");
}

QUrl XDYGlobalAPI::url(const QUrl& baseUrl) const {
    return QUrl::fromEncoded(baseUrl.toEncoded() + path().toUtf8(), QUrl::StrictMode);
}

QVariantMap XDYGlobalAPI::parameters(const UserCredentialsProvider& provider) const {
    if (m_case == Case::versionJson) {
        return {{QStringLiteral("system"), 4}};
    }
    const UserCredentials user = provider ? provider() : UserCredentials{};
    switch (m_case) {
        case Case::fileCheck:
            return {{QStringLiteral("md5"), m_md5},
                    {QStringLiteral("uid"), user.uid},
                    {QStringLiteral("token"), user.token}};
        case Case::fileUpload:
            return {{QStringLiteral("fileType"), rawValue(m_fileType)},
                    {QStringLiteral("fileName"), m_fileName},
                    {QStringLiteral("md5"), m_md5},
                    {QStringLiteral("appName"), m_appName},
                    {QStringLiteral("path"), m_path},
                    {QStringLiteral("size"), m_size},
                    {QStringLiteral("uid"), user.uid},
                    {QStringLiteral("token"), user.token}};
        case Case::versionJson:
            break;
    }
    return {};
}

QByteArray XDYGlobalAPI::encodeQuery(const QVariantMap& parameters) {
    // Like a form query, but "/" and "?" stay as they are: both are allowed in a query.
    const QByteArray keep = QByteArrayLiteral("/?");
    QByteArrayList pairs;
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it) {
        pairs << it.key().toUtf8().toPercentEncoding(keep) + '=' +
                     it.value().toString().toUtf8().toPercentEncoding(keep);
    }
    return pairs.join('&');
}

QUrl XDYGlobalAPI::urlWithQuery(const QUrl& url, const QVariantMap& parameters) {
    if (parameters.isEmpty()) {
        return url;
    }
    QByteArray encoded = url.toEncoded(QUrl::RemoveQuery | QUrl::RemoveFragment);
    return QUrl::fromEncoded(encoded + '?' + encodeQuery(parameters), QUrl::StrictMode);
}
