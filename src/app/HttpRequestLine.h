#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The method and target of a request; the version and the headers are not used.
struct HttpRequestLine {
    QString method;
    QString path;

    // Nothing when the line is not UTF-8 or has fewer than two blank-separated pieces.
    static std::optional<HttpRequestLine> parse(const QByteArray& line);
};

// Collects the bytes of one request until its first non-empty line has arrived whole (TCP may
// split it anywhere). Everything after that line is ignored.
class HttpRequestLineReader {
public:
    // A request whose first line has not ended after this many bytes is refused.
    static constexpr qsizetype kMaximumBytes = 65536;

    enum class State { incomplete, complete, tooLarge };

    State append(const QByteArray& bytes);
    State state() const { return m_state; }
    // The first non-empty line without its CR LF, once complete.
    const QByteArray& line() const { return m_line; }

private:
    QByteArray m_buffer;
    qsizetype m_lineStart = 0;
    qsizetype m_searchFrom = 0;
    State m_state = State::incomplete;
    QByteArray m_line;
};

// Percent-decodes text strictly: nothing when a "%" is not followed by two hex digits or the
// decoded bytes are not UTF-8. A "+" stays a "+".
std::optional<QString> strictPercentDecoded(const QString& text);
