#include "foundation/logging/ObjectScope.h"

bool ObjectScope::holds(qsizetype position) {
    while (!m_ended && m_readTo < position) {
        const LineCharacter read = m_reader->at(m_readTo);
        m_readTo = read.end;
        if (m_quote.character != 0 && read.isWrittenAs(m_quote)) {
            m_inText = !m_inText;
        } else if (m_inText) {
            continue;
        } else if (read.character == u'{') {
            ++m_depth;
        } else if (read.character == u'}') {
            m_ended = m_depth == 0;
            --m_depth;
        }
    }
    return !m_ended && m_depth == 0;
}
