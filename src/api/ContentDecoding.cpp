#include "api/ContentDecoding.h"

#include <zlib.h>

namespace {

Error contentError(const QString& detail) {
    return Error{QStringLiteral("ContentDecoding"), 1,
                 QStringLiteral("无法解码响应内容: ") + detail};
}

// windowBits as zlib takes them: 15 + 32 reads gzip or zlib framing, -15 raw deflate.
Result<QByteArray> inflateBody(const QByteArray& body, int windowBits, qsizetype maxSize) {
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK) {
        return contentError(QStringLiteral("zlib"));
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
    stream.avail_in = static_cast<uInt>(body.size());
    QByteArray output;
    char chunk[16384];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            inflateEnd(&stream);
            return contentError(QString::fromLatin1(stream.msg ? stream.msg : "truncated"));
        }
        output.append(chunk, static_cast<qsizetype>(sizeof chunk - stream.avail_out));
        if (output.size() > maxSize) {
            inflateEnd(&stream);
            return contentError(QStringLiteral("内容过大"));
        }
        if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            inflateEnd(&stream);
            return contentError(QStringLiteral("内容不完整"));
        }
    }
    inflateEnd(&stream);
    return output;
}

}  // namespace

Result<QByteArray> decodeContent(const QByteArray& contentEncoding, const QByteArray& body,
                                 qsizetype maxSize) {
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    if (encoding.isEmpty() || encoding == "identity" || body.isEmpty()) {
        return body;
    }
    if (encoding == "gzip" || encoding == "x-gzip") {
        return inflateBody(body, 15 + 32, maxSize);
    }
    if (encoding == "deflate") {
        // Servers send "deflate" both with and without the zlib framing.
        Result<QByteArray> framed = inflateBody(body, 15 + 32, maxSize);
        return framed ? framed : inflateBody(body, -15, maxSize);
    }
    return contentError(QString::fromLatin1(encoding));
}
