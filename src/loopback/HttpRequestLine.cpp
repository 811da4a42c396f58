#include "loopback/HttpRequestLine.h"

#include "foundation/text/StrictUtf8.h"

#include <QStringList>

std::optional<HttpRequestLine> HttpRequestLine::parse(const QByteArray& line) {
    const std::optional<QString> text = strictUtf8(line);
    if (!text) {
        return std::nullopt;
    }
    const QStringList pieces = text->split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (pieces.size() < 2) {
        return std::nullopt;
    }
    return HttpRequestLine{pieces.at(0), pieces.at(1)};
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<QString> strictPercentDecoded(const QString& text) {
    const QByteArray encoded = text.toUtf8();
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) != '%') {
            decoded += encoded.at(i);
            continue;
        }
        if (i + 2 >= encoded.size()) {
            return std::nullopt;
        }
        const int high = hexValue(encoded.at(i + 1));
        const int low = hexValue(encoded.at(i + 2));
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return strictUtf8(decoded);
}
