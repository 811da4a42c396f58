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

std::optional<LineCharacter> LineQuotes::closing(const LineCharacter& opening, bool mayBeKey) {
    const std::optional<LineCharacter> candidate = next(opening);
    if (candidate && onOneLine(opening.end, candidate->start)) {
        if (closes(*candidate, mayBeKey)) {
            return candidate;
        }
        const std::optional<LineCharacter> later = nextWrittenAlike(opening, mayBeKey);
        return later && onOneLine(opening.end, later->start) ? later : std::nullopt;
    }
    return candidate && closes(*candidate, mayBeKey) ? candidate : std::nullopt;
}

qsizetype LineQuotes::lineEnd(qsizetype from) {
    if (!m_lineBreaks) {
        m_lineBreaks.emplace();
        for (qsizetype at = m_text.contains(u'\n') || m_text.contains(u'\r') ? 0 : m_text.size();
             at < m_text.size(); ++at) {
            if (LogText::isLineBreak(m_text[at])) {
                m_lineBreaks->push_back(at);
            }
        }
    }
    const auto next = std::ranges::lower_bound(*m_lineBreaks, from);
    return next == m_lineBreaks->end() ? m_text.size() : *next;
}

bool LineQuotes::onOneLine(qsizetype from, qsizetype to) {
    constexpr qsizetype kReadAsItStands = 64;
    if (to - from <= kReadAsItStands) {
        return std::ranges::none_of(m_text.sliced(from, to - from), LogText::isLineBreak);
    }
    return lineEnd(from) >= to;
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
    return first(kind(opening).readingAs, opening);
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
    return first(kind(opening).closers[mayBeKey ? 1 : 0], opening);
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
        Kind& written = kind(read);
        written.readingAs.emplace_back(read.start, read.end);
        for (const bool key : {false, true}) {
            if (closes(read, key)) {
                written.closers[key ? 1 : 0].emplace_back(read.start, read.end);
            }
        }
        if (holdsEscapedBackslashes(read)) {
            LineCharacter own = read;
            own.backslashes = ownBackslashes(read.backslashes);
            own.start = read.end - 1 - own.backslashes;
            kind(own).readingAs.emplace_back(own.start, own.end);
        }
    }
    m_indexed = true;
}

// Most quotes of a message are written alike.
LineQuotes::Kind& LineQuotes::kind(const LineCharacter& quote) {
    if (const quint64 written = kindOf(quote); written != m_lastKind) {
        m_last = &m_kinds[written];
        m_lastKind = written;
    }
    return *m_last;
}

std::optional<LineCharacter> LineQuotes::first(Spans& quotes, const LineCharacter& opening) {
    const auto& spans = quotes.spans;
    constexpr size_t kSteps = 8;
    size_t at = quotes.found;
    if (at > spans.size() || (at > 0 && spans[at - 1].first >= opening.end)) {
        at = 0;
    }
    for (size_t step = 0; at < spans.size() && spans[at].first < opening.end; ++at, ++step) {
        if (step == kSteps) {
            at = static_cast<size_t>(
                std::ranges::lower_bound(
                    spans.begin() + static_cast<qsizetype>(at), spans.end(), opening.end, {},
                    [](const std::pair<qsizetype, qsizetype>& q) { return q.first; }) -
                spans.begin());
            break;
        }
    }
    quotes.found = at;
    if (at == spans.size()) {
        return std::nullopt;
    }
    return LineCharacter{opening.character, spans[at].first,     spans[at].second,
                         opening.urlLevel,  opening.backslashes, opening.unicode};
}

quint64 LineQuotes::kindOf(const LineCharacter& quote) {
    static_assert(LineReader::kDeepestUrlLevel < 8, "a quote's URL level takes three bits");
    const auto kind = static_cast<quint64>(quote.backslashes) * 32 +
                      static_cast<quint64>(quote.urlLevel) * 4 + (quote.unicode ? 2 : 0);
    return kind + (quote.character == u'"' ? 1 : 0);
}
