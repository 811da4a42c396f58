#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Collects the head of one request, its first non-empty line and the header fields after it,
// until the empty line that ends them (TCP may split it anywhere). A line ends with LF, a CR
// before it dropped. Bytes that hold nothing but line ends are an empty request, answered at
// once. Everything after the head is ignored.
class HttpRequestReader {
public:
    // A request whose head has not ended after this many bytes is refused.
    static constexpr qsizetype kMaximumBytes = 65536;

    enum class State { incomplete, complete, empty, tooLarge };

    State append(const QByteArray& bytes);
    // The peer will send no more: a request line whose header block was cut short is taken with
    // the fields that arrived.
    State finish();
    State state() const { return m_state; }
    // The first non-empty line without its line end, once complete.
    const QByteArray& line() const { return m_line; }
    // The values of every field called `name` (any case), white space trimmed, in order.
    QList<QByteArray> headerValues(const QByteArray& name) const;

private:
    void takeLine(QByteArray line);

    QByteArray m_buffer;
    qsizetype m_lineStart = 0;
    State m_state = State::incomplete;
    bool m_hasLine = false;
    QByteArray m_line;
    QList<QPair<QByteArray, QByteArray>> m_fields;
};
