#include "upload/OBSRequestSigner.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString kDefaultRegion = QStringLiteral("cn-north-4");

QString trimmedValue(const QString& value) {
    qsizetype begin = 0;
    qsizetype end = value.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(value[begin])) {
        ++begin;
    }
    while (end > begin && blank(value[end - 1])) {
        --end;
    }
    return value.mid(begin, end - begin);
}

}  // namespace

QString RFC1123DateFormatter::string(const QDateTime& time) {
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
}

QString LocalISO8601DateFormatter::string(const QDateTime& time) {
    return QLocale::c().toString(time.toUTC(), QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QString OBSRequestSigner::stringToSignV2(const V2Input& input) {
    return QStringLiteral("PUT\n") + input.contentMD5 + u'\n' + input.contentType + u'\n' +
           input.date + u'\n' + u'/' + input.bucket + u'/' + input.key;
}

HeaderList OBSRequestSigner::signV2(const V2Input& input) {
    const QByteArray mac = hmacSHA1(input.sk.toUtf8(), stringToSignV2(input).toUtf8());
    const QString signature = QString::fromLatin1(mac.toBase64());
    return {
        {QStringLiteral("Date"), input.date},
        {QStringLiteral("Authorization"), QStringLiteral("OBS ") + input.ak + u':' + signature}};
}

QString OBSRequestSigner::regionFromEndpoint(const QString& endPoint) {
    const QStringList parts = endPoint.split(u'.');
    return parts.size() >= 2 ? parts[1] : kDefaultRegion;
}

QString OBSRequestSigner::canonicalRequestV4(const QString& method, const QString& key,
                                             const HeaderList& headers,
                                             const QString& payloadHash) {
    QStringList canonical;
    QStringList names;
    for (const auto& [name, value] : headers) {
        canonical << name.toLower() + u':' + trimmedValue(value);
        names << name.toLower();
    }
    return method + u'\n' + u'/' + key + u'\n' + u'\n' + canonical.join(u'\n') + u'\n' + u'\n' +
           names.join(u';') + u'\n' + payloadHash;
}

HeaderList OBSRequestSigner::signRequestV4(const QString& method, const QString& key,
                                           const QString& contentType, const QString& contentMD5,
                                           const std::optional<QString>& payloadHash,
                                           const OBSConfig& credential, const QString& amzDate) {
    const QString region = regionFromEndpoint(credential.endPoint);
    const QString dateStamp = amzDate.left(8);
    const QString scope = dateStamp + u'/' + region + QStringLiteral("/s3/aws4_request");
    const QString payload = payloadHash.value_or(QStringLiteral("UNSIGNED-PAYLOAD"));

    HeaderList headers{
        {QStringLiteral("Host"), credential.bucket + u'.' + credential.endPoint},
        {QStringLiteral("x-amz-date"), amzDate},
        {QStringLiteral("x-amz-content-sha256"), payload},
        {QStringLiteral("x-amz-security-token"), credential.token},
    };
    if (!contentType.isEmpty()) {
        headers.append({QStringLiteral("Content-Type"), contentType});
    }
    if (!contentMD5.isEmpty()) {
        headers.append({QStringLiteral("Content-MD5"), contentMD5});
    }
    std::stable_sort(headers.begin(), headers.end(), [](const auto& a, const auto& b) {
        return a.first.toLower() < b.first.toLower();
    });
    QStringList signedNames;
    for (const auto& header : headers) {
        signedNames << header.first.toLower();
    }

    const QString canonical = canonicalRequestV4(method, key, headers, payload);
    const QString signature = signatureV4(credential.sk, amzDate, region, canonical);
    const QString authorization = QStringLiteral("AWS4-HMAC-SHA256 Credential=") + credential.ak +
                                  u'/' + scope + QStringLiteral(", SignedHeaders=") +
                                  signedNames.join(u';') + QStringLiteral(", Signature=") +
                                  signature;
    headers.append({QStringLiteral("Authorization"), authorization});
    return headers;
}

QString OBSRequestSigner::signatureV4(const QString& secretKey, const QString& amzDate,
                                      const QString& region, const QString& canonicalRequest) {
    const QString dateStamp = amzDate.left(8);
    const QString scope = dateStamp + u'/' + region + QStringLiteral("/s3/aws4_request");
    const QString stringToSign =
        QStringLiteral("AWS4-HMAC-SHA256\n") + amzDate + u'\n' + scope + u'\n' +
        QString::fromLatin1(
            QCryptographicHash::hash(canonicalRequest.toUtf8(), QCryptographicHash::Sha256)
                .toHex());
    const QByteArray kDate =
        hmacSHA256((QStringLiteral("AWS4") + secretKey).toUtf8(), dateStamp.toUtf8());
    const QByteArray kRegion = hmacSHA256(kDate, region.toUtf8());
    const QByteArray kService = hmacSHA256(kRegion, "s3");
    const QByteArray kSigning = hmacSHA256(kService, "aws4_request");
    return QString::fromLatin1(hmacSHA256(kSigning, stringToSign.toUtf8()).toHex());
}

QByteArray OBSRequestSigner::hmacSHA256(const QByteArray& key, const QByteArray& message) {
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

QByteArray OBSRequestSigner::hmacSHA1(const QByteArray& key, const QByteArray& message) {
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha1);
}

QString OBSRequestSigner::maskedHeaders(const HeaderList& headers) {
    static const QRegularExpression credentialPart(QStringLiteral("Credential=[^/,]*"));
    static const QRegularExpression signaturePart(QStringLiteral("Signature=[0-9a-f]*"));
    QStringList parts;
    for (const auto& [name, value] : headers) {
        const QString lower = name.toLower();
        QString shown = value;
        if (lower == u"x-amz-security-token") {
            shown = QStringLiteral("***");
        } else if (lower == u"authorization") {
            if (shown.startsWith(QStringLiteral("OBS "))) {
                shown = QStringLiteral("OBS ***");
            } else {
                shown.replace(credentialPart, QStringLiteral("Credential=***"));
                shown.replace(signaturePart, QStringLiteral("Signature=***"));
            }
        }
        parts << name + QStringLiteral(": ") + shown;
    }
    return parts.join(QStringLiteral(", "));
}
