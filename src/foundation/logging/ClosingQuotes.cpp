#include "foundation/logging/ClosingQuotes.h"

#include "foundation/logging/LogText.h"

#include <utility>

ClosingQuotes::ClosingQuotes(QStringView text) : m_text(text) {}

// Kinds below 2 * kDirectRuns are the quote (0 or 1) and fewer backslashes than kDirectRuns.
quint64 ClosingQuotes::kindOf(QChar quote, qsizetype backslashes) {
    return static_cast<quint64>(backslashes) * 2 + (quote == u'"' ? 0 : 1);
}

qsizetype ClosingQuotes::backslashesBefore(qsizetype position) const {
    qsizetype run = 0;
    while (position - run > 0 && m_text[position - run - 1] == u'\\') {
        ++run;
    }
    return run;
}

bool ClosingQuotes::endsValueAt(qsizetype position) const {
    return LogText::endsQuotedValueAt(m_text, position + 1);
}

bool ClosingQuotes::endsKeyAt(qsizetype position) const {
    return endsValueAt(position) || LogText::isKeySeparatorAt(m_text, position + 1);
}

qsizetype ClosingQuotes::read(Reader& reader, qsizetype from, QChar quote, qsizetype backslashes,
                              bool mayBeKey) const {
    if (from < reader.from || (reader.found >= 0 && reader.found < from)) {
        reader.found = -1;
        for (qsizetype p = m_text.indexOf(quote, from); p >= 0; p = m_text.indexOf(quote, p + 1)) {
            if (backslashesBefore(p) == backslashes && (mayBeKey ? endsKeyAt(p) : endsValueAt(p))) {
                reader.found = p;
                break;
            }
        }
    }
    reader.from = from;
    return reader.found;
}

void ClosingQuotes::index() {
    m_indexed = true;
    const qsizetype size = m_text.size();
    qsizetype count = 0;
    for (qsizetype p = 0; p < size; ++p) {
        count += LogText::isQuote(m_text[p]) ? 1 : 0;
    }
    m_quotes.reserve(static_cast<size_t>(count));
    std::vector<quint64> kinds;
    kinds.reserve(static_cast<size_t>(count));
    for (qsizetype p = 0; p < size; ++p) {
        if (!LogText::isQuote(m_text[p])) {
            continue;
        }
        Quote quote;
        quote.position = p;
        quote.endsValue = endsValueAt(p);
        quote.endsKey = endsKeyAt(p);
        m_quotes.push_back(quote);
        kinds.push_back(kindOf(m_text[p], backslashesBefore(p)));
    }
    // From the last quote back: each kind's latest quote so far is the next one of the quote
    // before it, and at the end its first.
    m_firstDirect.fill(-1);
    for (qsizetype i = static_cast<qsizetype>(m_quotes.size()) - 1; i >= 0; --i) {
        const quint64 kind = kinds[static_cast<size_t>(i)];
        if (kind < m_firstDirect.size()) {
            m_quotes[static_cast<size_t>(i)].nextAlike = std::exchange(m_firstDirect[kind], i);
        } else {
            m_quotes[static_cast<size_t>(i)].nextAlike = m_firstHashed.value(kind, -1);
            m_firstHashed.insert(kind, i);
        }
    }
}

qsizetype ClosingQuotes::firstAlike(quint64 kind) const {
    return kind < m_firstDirect.size() ? m_firstDirect[kind] : m_firstHashed.value(kind, -1);
}

ClosingQuotes::Cursor& ClosingQuotes::cursor(quint64 kind, bool mayBeKey) {
    const quint64 key = kind * 2 + (mayBeKey ? 1 : 0);
    return key < m_cursorsDirect.size() ? m_cursorsDirect[key] : m_cursorsHashed[key];
}

qsizetype ClosingQuotes::find(qsizetype from, QChar quote, qsizetype backslashes, bool mayBeKey) {
    if (!m_indexed) {
        const quint64 key = kindOf(quote, backslashes) * 2 + (mayBeKey ? 1 : 0);
        for (int i = 0; i < m_readerCount; ++i) {
            if (m_readers[static_cast<size_t>(i)].key == key) {
                return read(m_readers[static_cast<size_t>(i)], from, quote, backslashes, mayBeKey);
            }
        }
        if (m_readerCount < kReaders) {
            Reader& reader = m_readers[static_cast<size_t>(m_readerCount++)];
            reader = Reader{key};
            return read(reader, from, quote, backslashes, mayBeKey);
        }
        index();
    }
    const quint64 kind = kindOf(quote, backslashes);
    Cursor& at = cursor(kind, mayBeKey);
    if (!at.started || from < at.from) {
        at.started = true;
        at.quote = firstAlike(kind);
    }
    at.from = from;
    while (at.quote >= 0) {
        const Quote& candidate = m_quotes[static_cast<size_t>(at.quote)];
        if (candidate.position >= from && (mayBeKey ? candidate.endsKey : candidate.endsValue)) {
            return candidate.position;
        }
        at.quote = candidate.nextAlike;
    }
    return -1;
}
