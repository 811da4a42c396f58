#include "foundation/logging/ObjectScope.h"

#include "foundation/logging/LogText.h"

ObjectScope::ObjectScope(QStringView text, qsizetype from, QStringView quote)
    : m_text(text), m_readTo(from) {
    if (quote.isEmpty()) {
        return;
    }
    if (const LogText::PercentEscape escape = LogText::percentEscapeAt(quote, 0);
        escape.level > 0) {
        m_quote = QChar(escape.character);
        m_escapeLevel = escape.level;
        return;
    }
    m_quote = quote.back();
    m_backslashes = quote.size() - 1;
}

bool ObjectScope::holds(qsizetype position) {
    while (!m_ended && m_readTo < position) {
        if (const qsizetype quote = quoteAt(m_readTo); quote > 0) {
            m_inText = !m_inText;
            m_readTo += quote;
            continue;
        }
        const LogText::ReadCharacter read = LogText::readCharacterAt(m_text, m_readTo);
        m_readTo += read.size;
        if (m_inText) {
            continue;
        }
        if (read.character == u'{') {
            ++m_depth;
        } else if (read.character == u'}') {
            m_ended = m_depth == 0;
            --m_depth;
        }
    }
    // Not in an object inside it either.
    return !m_ended && m_depth == 0;
}

qsizetype ObjectScope::quoteAt(qsizetype position) const {
    if (m_quote.isNull()) {
        return 0;
    }
    if (m_escapeLevel > 0) {
        const LogText::PercentEscape escape = LogText::percentEscapeAt(m_text, position);
        return escape.level == m_escapeLevel && escape.character == m_quote.unicode() ? escape.size
                                                                                      : 0;
    }
    if (m_text[position] != m_quote) {
        return 0;
    }
    // Exactly as many backslashes as the object's own quotes: a quote inside a text has more.
    qsizetype run = 0;
    while (run < position && m_text[position - run - 1] == u'\\') {
        ++run;
    }
    return run == m_backslashes ? 1 : 0;
}
