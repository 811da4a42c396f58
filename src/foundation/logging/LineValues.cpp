#include "foundation/logging/LineValues.h"

#include "foundation/logging/LogText.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr int kPhoneDigits = 11;
constexpr int kLongestCountryCode = 3;
constexpr int kIdCardCharacters = 18;

// The digits of a group of digits and dashes; -1 for any other group.
int digitsOf(QStringView group) {
    const bool digitsAndDashes = std::ranges::all_of(
        group, [](QChar character) { return character == u'-' || LogText::isDigit(character); });
    const auto digits = digitsAndDashes ? std::ranges::count_if(group, LogText::isDigit) : 0;
    return digits > 0 ? static_cast<int>(digits) : -1;
}

// Where a value after a separator escaped `level` times ends: also at a delimiter so escaped.
template <int level>
bool endsBareValueAt(QStringView text, qsizetype position) {
    if (LogText::endsBareValue(text[position])) {
        return true;
    }
    const LineCharacter read = LineReader(text).urlAt(position);
    return read.urlLevel > 0 && read.urlLevel <= level && read.character < 0x80 &&
           LogText::endsBareValue(QChar(read.character));
}

// Where an element's text ends when its ">" is written with URL escapes `level` times.
template <int level>
bool endsElementTextAt(QStringView text, qsizetype position) {
    const LineCharacter read = LineReader(text).urlAt(position);
    return (read.character == u'<' && read.urlLevel <= level) ||
           LogText::isLineBreak(text[position]);
}

}  // namespace

LineValues::LineValues(const LineReader& reader)
    : m_reader(reader),
      m_text(reader.text()),
      m_bareEnd{NextWhere{m_text, endsBareValueAt<0>}, NextWhere{m_text, endsBareValueAt<1>},
                NextWhere{m_text, endsBareValueAt<2>}, NextWhere{m_text, endsBareValueAt<3>}},
      // A header's value ends with its line, or at a quote or backslash of the text around it.
      m_headerEnd{m_text,
                  [](QStringView text, qsizetype at) {
                      return LogText::isLineBreak(text[at]) ||
                             LogText::isQuote(text[at].unicode()) || text[at] == u'\\';
                  }},
      m_lineEnd{m_text,
                [](QStringView text, qsizetype at) { return LogText::isLineBreak(text[at]); }},
      m_elementTextEnd{
          NextWhere{m_text, endsElementTextAt<0>}, NextWhere{m_text, endsElementTextAt<1>},
          NextWhere{m_text, endsElementTextAt<2>}, NextWhere{m_text, endsElementTextAt<3>}},
      m_separator{m_text, [](QStringView text, qsizetype at) {
                      const char16_t read = LineReader(text).urlAt(at).character;
                      return read == u':' || read == u'=';
                  }} {}

LineValues::Value LineValues::at(qsizetype after, const LineCharacter& keyQuote, QChar separator,
                                 int level) {
    const bool form = level > 0;
    const qsizetype start = blanksFrom(after, form);
    if (start == m_text.size() || LogText::isLineBreak(m_text[start])) {
        return Value{Kind::none, Span{start, start}, after, keyQuote};
    }
    const LineCharacter first = m_reader.at(start, form);
    const bool bracket = first.character == u'{' || first.character == u'[';
    if (bracket && first.isPlain()) {
        return Value{Kind::structure, Span{start, start}, start, keyQuote};
    }
    if (LogText::isQuote(first.character)) {
        return quoted(first, false);
    }
    // An escaped structure runs on as an unquoted value.
    NextWhere& ends = separator.isNull() ? m_headerEnd : m_bareEnd[bracket ? 0 : level];
    const qsizetype end = ends.from(start);
    // Nothing, or the next label of a selector ("userToken:completionHandler:)").
    if (end == start ||
        (separator == u':' && m_text[end - 1] == u':' &&
         std::ranges::all_of(m_text.sliced(start, end - 1 - start), LogText::isWordCharacter))) {
        return Value{Kind::none, Span{start, start}, after, keyQuote};
    }
    const qsizetype valueEnd = separator.isNull() ? end : digitGroupsEnd(start, end, ends, form);
    return Value{Kind::bare, Span{start, valueEnd}, valueEnd, keyQuote};
}

// Where a number from `start` to `firstEnd` ends with the groups after it, past blanks, dashes,
// no-break, thin and ideographic spaces, while they can still make a phone number of 11 digits
// ("+86 138 0000 0000") or an ID card's 17 digits and check character ("110101 19900307 044X").
qsizetype LineValues::digitGroupsEnd(qsizetype start, qsizetype firstEnd, NextWhere& ends,
                                     bool form) const {
    const QStringView first = m_text.sliced(start, firstEnd - start);
    const bool plus = first.startsWith(u'+');
    int digits = digitsOf(plus ? first.sliced(1) : first);
    if (digits < 0) {
        return firstEnd;
    }
    // The code after a "+", 0 where it is glued to the number; -1 without one.
    const auto code = static_cast<int>(first.indexOf(u'-') < 0 ? digits : first.indexOf(u'-') - 1);
    const int countryCode = !plus ? -1 : code <= kLongestCountryCode ? code : 0;
    const int most = countryCode < 0
                         ? kIdCardCharacters
                         : kPhoneDigits + (countryCode > 0 ? countryCode : kLongestCountryCode);
    bool checkLetter = false;
    qsizetype end = firstEnd;
    const auto whole = [&] {
        return countryCode > 0 ? digits - countryCode == kPhoneDigits
               : countryCode == 0
                   ? digits > kPhoneDigits
                   : digits == kPhoneDigits || digits == kIdCardCharacters || checkLetter;
    };
    while (!whole()) {
        qsizetype group = end;
        for (LineCharacter read; group < m_text.size(); group = read.end) {
            read = m_reader.urlAt(group, form);
            const char16_t c = read.character;
            if (c != u' ' && c != u'\t' && c != u'-' && c != 0x00a0 && c != 0x2009 && c != 0x3000) {
                break;
            }
        }
        if (group == end || group == m_text.size() || !LogText::isDigit(m_text[group])) {
            break;
        }
        const qsizetype groupEnd = ends.from(group);
        const QStringView next = m_text.sliced(group, groupEnd - group);
        // An ID card's check character, an X, ends its last group.
        checkLetter = countryCode < 0 && (next.endsWith(u'X') || next.endsWith(u'x'));
        const int count = digitsOf(checkLetter ? next.chopped(1) : next);
        if (count < 0 ||
            (checkLetter ? digits + count != kIdCardCharacters - 1 : digits + count > most)) {
            break;
        }
        digits += count;
        end = groupEnd;
    }
    return end;
}

LineValues::Value LineValues::quoted(const LineCharacter& opening, bool mayBeKey) {
    const std::optional<LineCharacter> closing = closingQuote(opening, mayBeKey);
    const qsizetype end = closing ? closing->end : lineEnd(opening.end);
    return Value{Kind::quoted, Span{opening.end, closing ? closing->start : end}, end, opening};
}

qsizetype LineValues::blanksFrom(qsizetype position, bool form) const {
    for (LineCharacter read; position < m_text.size(); position = read.end) {
        read = m_reader.at(position, form);
        if (!LogText::isBlank(read.character)) {
            break;
        }
    }
    return position;
}

// Most lines hold no line break: told once, eight characters at a time.
qsizetype LineValues::lineEnd(qsizetype from) {
    if (!m_hasLineBreak) {
        m_hasLineBreak = m_text.contains(u'\n') || m_text.contains(u'\r');
    }
    return *m_hasLineBreak ? m_lineEnd.from(from) : m_text.size();
}

quint64 LineValues::kindOf(const LineCharacter& quote, bool mayBeKey) {
    const auto kind = static_cast<quint64>(quote.backslashes) * 64 +
                      static_cast<quint64>(quote.urlLevel) * 8 + (quote.unicode ? 4 : 0);
    return kind + (quote.character == u'"' ? 2 : 0) + (mayBeKey ? 1 : 0);
}

// A quote written with URL escapes closes whatever follows. After another, what follows may be
// written with URL escapes; one beyond ASCII leaves the quote inside the text (masking errs towards
// more).
bool LineValues::closes(const LineCharacter& quote, bool mayBeKey) const {
    if (quote.urlLevel > 0 || quote.end == m_text.size()) {
        return true;
    }
    const char16_t escaped = m_reader.urlAt(quote.end).character;
    return LogText::endsQuotedValue(m_text[quote.end]) ||
           (escaped < 0x80 && LogText::endsQuotedValue(QChar(escaped))) ||
           (mayBeKey && LogText::isKeySeparatorAt(m_text, quote.end));
}

// Most close at the next plain quote; the others look theirs up in an index made once.
std::optional<LineCharacter> LineValues::closingQuote(const LineCharacter& opening, bool mayBeKey) {
    if (opening.isPlain()) {
        const size_t next =
            std::u16string_view(m_text.utf16(), m_text.size()).find(opening.character, opening.end);
        if (next == std::u16string_view::npos) {
            return std::nullopt;
        }
        const LineCharacter quote = m_reader.before(static_cast<qsizetype>(next) + 1, opening.end);
        if (quote.isPlain() && closes(quote, mayBeKey)) {
            return quote;
        }
    }
    for (qsizetype p = 0; !m_quotesIndexed && p < m_text.size(); ++p) {
        const char16_t raw = m_text[p].unicode();
        const LineCharacter read = LogText::isQuote(raw) || raw == u'%' || raw == u'\\'
                                       ? m_reader.at(p)
                                       : LineCharacter{raw, p, p + 1};
        for (const bool key : {false, true}) {
            if (LogText::isQuote(read.character) && closes(read, key)) {
                m_quotesByKind[kindOf(read, key)].emplace_back(read.start, read.end);
            }
        }
        p = read.end - 1;
    }
    m_quotesIndexed = true;
    const auto& quotes = m_quotesByKind[kindOf(opening, mayBeKey)];
    const auto found = std::ranges::lower_bound(
        quotes, opening.end, {}, [](const std::pair<qsizetype, qsizetype>& q) { return q.first; });
    if (found == quotes.end()) {
        return std::nullopt;
    }
    return LineCharacter{opening.character, found->first,        found->second,
                         opening.urlLevel,  opening.backslashes, opening.unicode};
}
