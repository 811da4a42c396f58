#include "loopback/HttpReply.h"

namespace HttpReply {

namespace {

QByteArray originHeaders(const AllowedOrigin& origin) {
    QByteArray headers;
    if (origin) {
        headers = "Access-Control-Allow-Origin: " + *origin + "\r\n";
    }
    return headers + "Vary: Origin\r\n";
}

constexpr char kAllowMethodsAndHeaders[] =
    "Access-Control-Allow-Methods: GET, HEAD, OPTIONS\r\n"
    "Access-Control-Allow-Headers: *\r\n";

QByteArray statusLine(int code) {
    return "HTTP/1.1 " + QByteArray::number(code) + ' ' + reasonPhrase(code).toUtf8() + "\r\n";
}

QByteArray contentHead(qint64 length, const QString& contentType, const AllowedOrigin& origin) {
    return statusLine(200) + "Content-Type: " + contentType.toUtf8() + "\r\n" +
           "Content-Length: " + QByteArray::number(length) + "\r\n" +
           "Cache-Control: no-store, no-cache, must-revalidate, max-age=0\r\n" +
           "Pragma: no-cache\r\nExpires: 0\r\nConnection: close\r\n" + originHeaders(origin) +
           kAllowMethodsAndHeaders + "\r\n";
}

}  // namespace

QString reasonPhrase(int code) {
    switch (code) {
        case 200:
            return QStringLiteral("OK");
        case 204:
            return QStringLiteral("No Content");
        case 400:
            return QStringLiteral("Bad Request");
        case 403:
            return QStringLiteral("Forbidden");
        case 404:
            return QStringLiteral("Not Found");
        case 405:
            return QStringLiteral("Method Not Allowed");
        case 500:
            return QStringLiteral("Internal Server Error");
        default:
            return QStringLiteral("Unknown");
    }
}

QByteArray text(int code, const QString& message, const AllowedOrigin& origin) {
    const QByteArray body = message.toUtf8();
    return statusLine(code) + "Content-Type: text/plain; charset=utf-8\r\n" +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n" + "Connection: close\r\n" +
           originHeaders(origin) + "\r\n" + body;
}

QByteArray json(const QString& json, const AllowedOrigin& origin) {
    const QByteArray body = json.toUtf8();
    return statusLine(200) + "Content-Type: application/json; charset=utf-8\r\n" +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n" + "Connection: close\r\n" +
           originHeaders(origin) + kAllowMethodsAndHeaders + "\r\n" + body;
}

Reply content(const QByteArray& bytes, const QString& contentType, const QString& method,
              const AllowedOrigin& origin) {
    Reply reply(contentHead(bytes.size(), contentType, origin));
    if (method == QLatin1String("GET")) {
        reply.body = bytes;
    }
    return reply;
}

Reply fileContent(std::unique_ptr<QFile> file, qint64 size, const QString& contentType,
                  const QString& method, const AllowedOrigin& origin) {
    Reply reply(contentHead(size, contentType, origin));
    if (method == QLatin1String("GET") && size > 0) {
        reply.file = std::move(file);
        reply.fileSize = size;
    }
    return reply;
}

QByteArray empty(int code, const AllowedOrigin& origin) {
    return statusLine(code) + "Content-Length: 0\r\nConnection: close\r\n" + originHeaders(origin) +
           kAllowMethodsAndHeaders + "\r\n";
}

}  // namespace HttpReply
