#pragma once

#include "upload/OBSConfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

using HeaderList = QList<std::pair<QString, QString>>;

// "Tue, 08 Dec 2026 20:38:27 GMT" (RFC 1123, always GMT, English names).
class RFC1123DateFormatter {
public:
    static QString string(const QDateTime& time);
};

// "20261208T203827Z", the compact form the Version 4 signature uses.
class LocalISO8601DateFormatter {
public:
    static QString string(const QDateTime& time);
};

// Authorization for one PUT to the store: the store's own header signature (HMAC-SHA1) for a
// credential without a security token, AWS Signature Version 4 for one with a token.
class OBSRequestSigner {
public:
    struct V2Input {
        QString ak;
        QString sk;
        QString bucket;
        QString key;  // as written in the URL path, without the leading "/"
        QString contentType;
        QString contentMD5;  // Base64, may be empty
        QString date;        // RFC 1123
    };
    static QString stringToSignV2(const V2Input& input);
    // "Date" and "Authorization", in this order.
    static HeaderList signV2(const V2Input& input);

    // The whole header set of the request, "Host" and "Authorization" included, sorted by
    // lower-cased name.
    static HeaderList signRequestV4(const QString& method, const QString& key,
                                    const QString& contentType, const QString& contentMD5,
                                    const std::optional<QString>& payloadHash,
                                    const OBSConfig& credential, const QString& amzDate);
    static QString canonicalRequestV4(const QString& method, const QString& key,
                                      const HeaderList& headers, const QString& payloadHash);

    // Lower-case hex signature of a canonical request for service "s3".
    static QString signatureV4(const QString& secretKey, const QString& amzDate,
                               const QString& region, const QString& canonicalRequest);

    // The second label of the endpoint, or "cn-north-4" when it has no dot.
    static QString regionFromEndpoint(const QString& endPoint);

    static QByteArray hmacSHA256(const QByteArray& key, const QByteArray& message);
    static QByteArray hmacSHA1(const QByteArray& key, const QByteArray& message);

    // The header set as a log line may show it: credentials and signatures read "***".
    static QString maskedHeaders(const HeaderList& headers);
};
