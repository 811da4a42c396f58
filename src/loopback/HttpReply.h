#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <optional>

// The loopback server's reply forms. Each reply ends the connection ("Connection: close"), names
// the requesting origin in Access-Control-Allow-Origin only when it is given one (never "*"),
// and says with "Vary: Origin" that it depends on the origin.
namespace HttpReply {

// The origin a reply allows to read it; none leaves Access-Control-Allow-Origin out.
using AllowedOrigin = std::optional<QByteArray>;

// A reply as sent: `head` (the status line, the headers and any small body), then `body`, then,
// when `file` is set, the first `fileSize` bytes of that open file, the length the headers
// announced. `body` shares the bytes it was given (a stored picture, say) instead of copying them,
// so that a reply waiting on a slow reader holds no copy of its own.
struct Reply {
    // Every in-memory form below is a whole reply by itself.
    Reply(QByteArray bytes = {}) : head(std::move(bytes)) {}  // NOLINT(google-explicit-constructor)

    QByteArray head;
    QByteArray body;
    std::unique_ptr<QFile> file;
    qint64 fileSize = 0;
};

// "OK", "No Content", …; "Unknown" for a code the server never sends.
QString reasonPhrase(int code);

// A plain-text message, sent for every method (HEAD included).
QByteArray text(int code, const QString& message, const AllowedOrigin& origin = {});

// A JSON document with status 200.
QByteArray json(const QString& json, const AllowedOrigin& origin = {});

// Uncached bytes with status 200; the body only when the method is exactly "GET", the headers
// announce the full length either way.
Reply content(const QByteArray& bytes, const QString& contentType, const QString& method,
              const AllowedOrigin& origin = {});

// The same for an open file of `size` bytes, which follows the headers only for "GET" (and is
// closed at once otherwise).
Reply fileContent(std::unique_ptr<QFile> file, qint64 size, const QString& contentType,
                  const QString& method, const AllowedOrigin& origin = {});

// No body at all.
QByteArray empty(int code, const AllowedOrigin& origin = {});

}  // namespace HttpReply
