#include "foundation/logging/LineQuotes.h"

#include "foundation/logging/LogText.h"

#include <algorithm>
#include <string_view>

namespace {

// Of a run of backslashes before a character, those that escape the character itself, as JSON
// reads the run, a pair for each backslash it writes: none after two ("\\\""), one after five
// (a quote of JSON text inside JSON text after an escaped backslash), three after three.
int ownBackslashes(int run) {
    return (run ^ (run + 1)) >> 1;
}

// Whether the run before a quote holds backslashes that escape each other: then the quote also
// reads as one written with the rest of the run alone.
bool holdsEscapedBackslashes(const LineCharacter& quote) {
    return quote.urlLevel == 0 && !quote.unicode &&
           ownBackslashes(quote.backslashes) != quote.backslashes;
}

}  // namespace

std::optional<LineCharacter> LineQuotes::closing(const LineCharacter& opening, bool mayBeKey,
                                                 qsizetype lineEnd) {
    const std::optional<LineCharacter> candidate = next(opening);
    if (candidate && candidate->start < lineEnd) {
        if (closes(*candidate, mayBeKey)) {
            return candidate;
        }
        const std::optional<LineCharacter> later = nextWrittenAlike(opening, mayBeKey);
        return later && later->start < lineEnd ? later : std::nullopt;
    }
    return candidate && closes(*candidate, mayBeKey) ? candidate : std::nullopt;
}

// Most texts open at a plain quote, and the next quote of the kind most often reads as it.
std::optional<LineCharacter> LineQuotes::next(const LineCharacter& opening) {
    if (opening.isPlain() && !opening.unicode) {
        const size_t found =
            std::u16string_view(m_text.utf16(), m_text.size()).find(opening.character, opening.end);
        if (found == std::u16string_view::npos) {
            return std::nullopt;
        }
        const auto at = static_cast<qsizetype>(found);
        const LineCharacter read = m_reader.before(at + 1, opening.end);
        if (read.isPlain() ||
            (holdsEscapedBackslashes(read) && ownBackslashes(read.backslashes) == 0)) {
            return LineCharacter{opening.character, at, at + 1};
        }
    }
    index();
    return first(m_readingAs[kindOf(opening)], opening);
}

// A quote written with URL escapes closes whatever follows. After another, what follows may be
// written with URL escapes; one beyond ASCII leaves the quote inside the text (masking errs towards
// more).
bool LineQuotes::closes(const LineCharacter& quote, bool mayBeKey) const {
    if (quote.urlLevel > 0 || quote.end == m_text.size()) {
        return true;
    }
    const char16_t escaped = m_reader.urlAt(quote.end).character;
    return LogText::endsQuotedValue(m_text[quote.end]) ||
           (escaped < 0x80 && LogText::endsQuotedValue(QChar(escaped))) ||
           (mayBeKey && LogText::isKeySeparatorAt(m_text, quote.end));
}

std::optional<LineCharacter> LineQuotes::nextWrittenAlike(const LineCharacter& opening,
                                                          bool mayBeKey) {
    index();
    return first(m_closers[mayBeKey ? 1 : 0][kindOf(opening)], opening);
}

void LineQuotes::index() {
    for (qsizetype p = 0; !m_indexed && p < m_text.size(); ++p) {
        const char16_t raw = m_text[p].unicode();
        const LineCharacter read = LogText::isQuote(raw) || LineReader::mayStartEscape(raw)
                                       ? m_reader.at(p)
                                       : LineCharacter{raw, p, p + 1};
        p = read.end - 1;
        if (!LogText::isQuote(read.character)) {
            continue;
        }
        m_readingAs[kindOf(read)].emplace_back(read.start, read.end);
        for (const bool key : {false, true}) {
            if (closes(read, key)) {
                m_closers[key ? 1 : 0][kindOf(read)].emplace_back(read.start, read.end);
            }
        }
        if (holdsEscapedBackslashes(read)) {
            LineCharacter own = read;
            own.backslashes = ownBackslashes(read.backslashes);
            own.start = read.end - 1 - own.backslashes;
            m_readingAs[kindOf(own)].emplace_back(own.start, own.end);
        }
    }
    m_indexed = true;
}

std::optional<LineCharacter> LineQuotes::first(const Spans& quotes, const LineCharacter& opening) {
    const auto found = std::ranges::lower_bound(
        quotes, opening.end, {}, [](const std::pair<qsizetype, qsizetype>& q) { return q.first; });
    if (found == quotes.end()) {
        return std::nullopt;
    }
    return LineCharacter{opening.character, found->first,        found->second,
                         opening.urlLevel,  opening.backslashes, opening.unicode};
}

quint64 LineQuotes::kindOf(const LineCharacter& quote) {
    static_assert(LineReader::kDeepestUrlLevel < 8, "a quote's URL level takes three bits");
    const auto kind = static_cast<quint64>(quote.backslashes) * 32 +
                      static_cast<quint64>(quote.urlLevel) * 4 + (quote.unicode ? 2 : 0);
    return kind + (quote.character == u'"' ? 1 : 0);
}
