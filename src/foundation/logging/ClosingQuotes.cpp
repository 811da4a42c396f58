#include "foundation/logging/ClosingQuotes.h"

#include "foundation/logging/LogText.h"

#include <algorithm>
#include <string_view>

quint64 ClosingQuotes::kindOf(const LineCharacter& quote, bool mayBeKey) {
    return ((static_cast<quint64>(quote.backslashes) * 4 + static_cast<quint64>(quote.urlLevel)) *
                2 +
            (quote.character == u'"' ? 1 : 0)) *
               2 +
           (mayBeKey ? 1 : 0);
}

bool ClosingQuotes::closes(const LineCharacter& quote, bool mayBeKey) const {
    if (quote.end == m_reader.size()) {
        return true;
    }
    return LogText::endsQuotedValue(m_reader.text()[quote.end]) ||
           LogText::endsQuotedValue(QChar(m_reader.urlAt(quote.end).character)) ||
           (mayBeKey && LogText::isKeySeparatorAt(m_reader.text(), quote.end));
}

void ClosingQuotes::index() {
    m_indexed = true;
    const QStringView text = m_reader.text();
    for (qsizetype p = 0; p < text.size();) {
        const char16_t raw = text[p].unicode();
        if (!LogText::isQuote(raw) && raw != u'%' && raw != u'\\') {
            ++p;
            continue;
        }
        const LineCharacter read = m_reader.at(p);
        if (LogText::isQuote(read.character)) {
            for (const bool mayBeKey : {false, true}) {
                if (closes(read, mayBeKey)) {
                    m_byKind[kindOf(read, mayBeKey)].push_back(Found{read.start, read.end});
                }
            }
        }
        p = read.end;
    }
}

std::optional<LineCharacter> ClosingQuotes::find(const LineCharacter& opening, bool mayBeKey) {
    const auto closing = [&opening](Found found) {
        return LineCharacter{opening.character, found.start, found.end, opening.urlLevel,
                             opening.backslashes};
    };
    if (opening.isPlain()) {
        const std::u16string_view text(m_reader.text().utf16(), m_reader.text().size());
        const size_t found = text.find(opening.character, opening.end);
        if (found == std::u16string_view::npos) {
            return std::nullopt;
        }
        const auto next = static_cast<qsizetype>(found);
        const LineCharacter quote = m_reader.before(next + 1, opening.end);
        if (quote.isPlain() && closes(quote, mayBeKey)) {
            return quote;
        }
    }
    if (!m_indexed) {
        index();
    }
    const auto quotes = m_byKind.constFind(kindOf(opening, mayBeKey));
    if (quotes == m_byKind.cend()) {
        return std::nullopt;
    }
    const auto found = std::ranges::lower_bound(*quotes, opening.end, {}, &Found::start);
    return found == quotes->end() ? std::nullopt : std::optional(closing(*found));
}
