#pragma once

#include <QByteArray>
#include <QString>

// The loopback server's reply forms. Each reply is one block of bytes that ends the connection
// ("Connection: close") and allows every origin, since the page is served from elsewhere.
namespace HttpReply {

// "OK", "No Content", …; "Unknown" for a code the server never sends.
QString reasonPhrase(int code);

// A plain-text message, sent for every method (HEAD included).
QByteArray text(int code, const QString& message);

// A JSON document with status 200.
QByteArray json(const QString& json);

// Uncached bytes with status 200; the body only when the method is exactly "GET", the headers
// announce the full length either way.
QByteArray content(const QByteArray& bytes, const QString& contentType, const QString& method);

// No body at all.
QByteArray empty(int code);

}  // namespace HttpReply
