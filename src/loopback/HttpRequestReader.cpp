#include "loopback/HttpRequestReader.h"

#include <algorithm>

namespace {

bool onlyLineEnds(const QByteArray& bytes) {
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return c == '\r' || c == '\n'; });
}

}  // namespace

HttpRequestReader::State HttpRequestReader::append(const QByteArray& bytes) {
    if (m_state != State::incomplete) {
        return m_state;
    }
    m_buffer += bytes.left(kMaximumBytes - m_buffer.size());
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', m_lineStart);
        if (end < 0) {
            break;
        }
        QByteArray line = m_buffer.mid(m_lineStart, end - m_lineStart);
        m_lineStart = end + 1;
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (m_hasLine && line.isEmpty()) {
            m_buffer.clear();
            m_state = State::complete;
            return m_state;
        }
        takeLine(std::move(line));
    }
    if (!m_hasLine && m_buffer.contains('\n') && onlyLineEnds(m_buffer)) {
        m_buffer.clear();
        m_state = State::empty;
    } else if (m_buffer.size() >= kMaximumBytes) {
        m_buffer.clear();
        m_line.clear();
        m_state = State::tooLarge;
    }
    return m_state;
}

HttpRequestReader::State HttpRequestReader::finish() {
    if (m_state == State::incomplete) {
        if (m_hasLine) {
            m_state = State::complete;
        } else if (!m_buffer.isEmpty() && onlyLineEnds(m_buffer)) {
            m_state = State::empty;
        }
        m_buffer.clear();
    }
    return m_state;
}

void HttpRequestReader::takeLine(QByteArray line) {
    if (!m_hasLine) {
        if (!line.isEmpty()) {
            m_line = std::move(line);
            m_hasLine = true;
        }
        return;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) {
        m_fields.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
}

QList<QByteArray> HttpRequestReader::headerValues(const QByteArray& name) const {
    const QByteArray wanted = name.toLower();
    QList<QByteArray> values;
    for (const auto& [field, value] : m_fields) {
        if (field == wanted) {
            values << value;
        }
    }
    return values;
}
