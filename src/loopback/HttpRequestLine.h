#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The method and target of a request; the version is not used.
struct HttpRequestLine {
    QString method;
    QString path;

    // Nothing when the line is not UTF-8 or has fewer than two blank-separated pieces.
    static std::optional<HttpRequestLine> parse(const QByteArray& line);
};

// Percent-decodes text strictly: nothing when a "%" is not followed by two hex digits or the
// decoded bytes are not UTF-8. A "+" stays a "+".
std::optional<QString> strictPercentDecoded(const QString& text);
