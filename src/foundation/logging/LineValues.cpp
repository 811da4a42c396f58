#include "foundation/logging/LineValues.h"

#include "foundation/logging/DigitGroups.h"
#include "foundation/logging/LogText.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr int kPhoneDigits = DigitGroups::kMobileDigits;
constexpr int kLongestCountryCode = 3;
constexpr int kIdCardCharacters = DigitGroups::kIdCardCharacters;
// What looking for the closes of objects across lines may read, for each character of the text.
constexpr qsizetype kClosesReadPerCharacter = 4;

// The digits of a group of digits and dashes; -1 for any other group.
int digitsOf(QStringView group) {
    const bool digitsAndDashes = std::ranges::all_of(
        group, [](QChar character) { return character == u'-' || LogText::isDigit(character); });
    const auto digits = digitsAndDashes ? std::ranges::count_if(group, LogText::isDigit) : 0;
    return digits > 0 ? static_cast<int>(digits) : -1;
}

bool endsCheckLetter(QStringView group) {
    return group.endsWith(u'X') || group.endsWith(u'x');
}

// Between the groups of one number: blanks, dashes, no-break, thin and ideographic spaces.
bool joinsGroups(char16_t character) {
    return character == u'-' || LogText::isBlank(character) || character == 0x00a0 ||
           character == 0x2009 || character == 0x3000;
}

// Between the numbers of a list, besides what joins groups: a comma, "、", ";", "；", "/".
bool separatesNumbers(char16_t character) {
    return character == u',' || character == 0xff0c || character == 0x3001 || character == u';' ||
           character == 0xff1b || character == u'/';
}

// Where a value after a separator escaped `level` times ends: also at a delimiter so escaped.
bool endsBareValueAt(const LineReader& reader, qsizetype position, int level) {
    if (LogText::endsBareValue(reader.text()[position])) {
        return true;
    }
    const LineCharacter read = reader.urlAt(position);
    return read.urlLevel > 0 && read.urlLevel <= level && read.character < 0x80 &&
           LogText::endsBareValue(QChar(read.character));
}

// Where an element's text ends when its ">" was escaped `depth` times. Inside a run of backslashes
// the reader reads from the run's first.
bool endsElementTextAt(const LineReader& reader, qsizetype position, int depth) {
    const QStringView text = reader.text();
    if (LogText::isLineBreak(text[position])) {
        return true;
    }
    if (position > 0 && text[position - 1] == LineReader::kBackslash) {
        return false;
    }
    const LineCharacter read = reader.at(position);
    return read.character == u'<' && read.depth() <= depth;
}

}  // namespace

LineValues::LineValues(const LineReader& reader)
    : m_reader(reader),
      m_text(reader.text()),
      m_quotes(reader),
      m_bareEnd(cursors(endsBareValueAt)),
      m_elementTextEnd(cursors(endsElementTextAt)),
      m_separator{&reader, [](const LineReader& lines, qsizetype at, int) {
                      const char16_t read = lines.urlAt(at).character;
                      return read == u':' || read == u'=';
                  }} {}

LineValues::Cursors LineValues::cursors(bool (*test)(const LineReader&, qsizetype, int)) const {
    Cursors cursors;
    for (int depth = 0; depth < static_cast<int>(cursors.size()); ++depth) {
        cursors[static_cast<size_t>(depth)] = NextWhere{&m_reader, test, depth};
    }
    return cursors;
}

LineValues::Value LineValues::at(qsizetype after, const LineCharacter& keyQuote, QChar separator,
                                 int level) {
    const int form = level;
    const qsizetype start = blanksFrom(after, form);
    if (start == m_text.size() || LogText::isLineBreak(m_text[start])) {
        return Value{Kind::none, Span{start, start}, after, keyQuote};
    }
    const LineCharacter first = m_reader.at(start, form);
    const bool bracket = first.character == u'{' || first.character == u'[';
    if (bracket && first.isPlain()) {
        return endsText(first) ? Value{Kind::none, Span{start, start}, after, keyQuote}
                               : Value{Kind::structure, Span{start, start}, start, keyQuote};
    }
    if (LogText::isQuote(first.character)) {
        return quoted(first, false);
    }
    // An escaped structure runs on as an unquoted value, to a delimiter escaped fewer times than
    // its bracket: the end of the field around it.
    NextWhere& ends =
        m_bareEnd[static_cast<size_t>(bracket ? std::max(0, first.urlLevel - 1) : level)];
    const qsizetype end = separator.isNull() ? headerEnd(start, level) : ends.from(start);
    // Nothing, an escaped bracket alone (an escaped text that ends "token: {"), or the next label
    // of a selector ("userToken:completionHandler:)").
    if (end == start || (bracket && end == first.end) ||
        (separator == u':' && m_text[end - 1] == u':' &&
         std::ranges::all_of(m_text.sliced(start, end - 1 - start), LogText::isWordCharacter))) {
        return Value{Kind::none, Span{start, start}, after, keyQuote};
    }
    const qsizetype valueEnd = separator.isNull() ? end : digitGroups(start, end, ends, form).end;
    return Value{Kind::bare, Span{start, valueEnd}, valueEnd, keyQuote};
}

// The characters of a number's group read from `start`, no further than `end`: digits, dashes, a
// "+" and an ID card's X. A list's separator or a blank that joins groups ends it, also one the
// value runs on past ("%E3%80%80" after "="); anything else makes it no group of a number.
LineValues::Group LineValues::groupAt(qsizetype start, qsizetype end, int form) const {
    Group group{{}, start, true};
    for (LineCharacter read; group.end < end; group.end = read.end) {
        read = m_reader.at(group.end, form);
        const char16_t character = read.character;
        if (separatesNumbers(character) || (character != u'-' && joinsGroups(character))) {
            break;
        }
        const bool ofNumber = LogText::isDigit(QChar(character)) || character == u'-' ||
                              character == u'+' || character == u'X' || character == u'x';
        if (!ofNumber || group.text.size() == kLongestGroup) {
            group.number = false;
            break;
        }
        group.text.append(character);
    }
    return group;
}

// Where a number in an unquoted value from `start` to `end` ends with the groups after it, while
// they can still make a phone number of 11 digits ("+86 138 0000 0000") or an ID card's 17 digits
// and check character ("110101 19900307 044X"); whether it is whole, and personal as a list's
// numbers are (DigitGroups). A value that is no whole number runs to its end at least.
LineValues::Number LineValues::digitGroups(qsizetype start, qsizetype end, NextWhere& ends,
                                           int form) const {
    const Group firstGroup = groupAt(start, end, form);
    const QStringView first(firstGroup.text.constData(), firstGroup.text.size());
    DigitGroups written;
    if (!firstGroup.number || first.isEmpty()) {
        return Number{end, false, false};
    }
    const bool plus = first.startsWith(u'+');
    if (first.size() == kIdCardCharacters && endsCheckLetter(first) &&
        digitsOf(first.chopped(1)) == kIdCardCharacters - 1) {
        written.add(first);
        return Number{firstGroup.end, true, written.isPersonal()};
    }
    int digits = digitsOf(plus ? first.sliced(1) : first);
    if (digits < 0) {
        return Number{end, false, false};
    }
    written.add(plus ? first.sliced(1) : first);
    // The code after a "+", 0 where it is glued to the number; -1 without one.
    const auto code = static_cast<int>(first.indexOf(u'-') < 0 ? digits : first.indexOf(u'-') - 1);
    const int countryCode = !plus ? -1 : code <= kLongestCountryCode ? code : 0;
    const int most = countryCode < 0
                         ? kIdCardCharacters
                         : kPhoneDigits + (countryCode > 0 ? countryCode : kLongestCountryCode);
    bool checkLetter = false;
    qsizetype groupsEnd = firstGroup.end;
    const auto whole = [&] {
        return countryCode > 0 ? digits - countryCode == kPhoneDigits
               : countryCode == 0
                   ? digits > kPhoneDigits
                   : digits == kPhoneDigits || digits == kIdCardCharacters || checkLetter ||
                         (written.size() == kPhoneDigits + 2 && written.isPersonal());
    };
    while (!whole()) {
        qsizetype group = groupsEnd;
        LineCharacter read;
        for (; group < m_text.size(); group = read.end) {
            read = m_reader.at(group, form);
            if (!joinsGroups(read.character)) {
                break;
            }
        }
        if (group == groupsEnd || group == m_text.size() ||
            !LogText::isDigit(QChar(read.character))) {
            break;
        }
        const Group nextGroup = groupAt(group, ends.from(group), form);
        const QStringView next(nextGroup.text.constData(), nextGroup.text.size());
        // An ID card's check character, an X, ends its last group.
        checkLetter = countryCode < 0 && endsCheckLetter(next);
        const int count = nextGroup.number ? digitsOf(checkLetter ? next.chopped(1) : next) : -1;
        if (count < 0 ||
            (checkLetter ? digits + count != kIdCardCharacters - 1 : digits + count > most)) {
            checkLetter = false;
            break;
        }
        digits += count;
        written.add(next);
        groupsEnd = nextGroup.end;
    }
    const bool isWhole = whole();
    return Number{isWhole ? groupsEnd : std::max(groupsEnd, end), isWhole,
                  isWhole && written.isPersonal()};
}

LineValues::Span LineValues::followingNumber(qsizetype after, int level) {
    const int form = level;
    qsizetype start = after;
    bool listed = false;
    LineCharacter read;
    for (; start < m_text.size(); start = read.end) {
        read = m_reader.at(start, form);
        const bool separator = !listed && separatesNumbers(read.character);
        if (!separator && (read.character == u'-' || !joinsGroups(read.character))) {
            break;
        }
        listed = listed || separator;
    }
    if (start == after || start == m_text.size() ||
        (!LogText::isDigit(QChar(read.character)) && read.character != u'+')) {
        return Span{};
    }
    NextWhere& ends = m_bareEnd[static_cast<size_t>(level)];
    const Number number = digitGroups(start, ends.from(start), ends, form);
    return number.personal ? Span{start, number.end} : Span{};
}

// A header's value runs to its line's end, its quoted parameters included (`nonce="…"`); a quote
// after anything but a blank, "=" or "," closes the text around it. A quote URL-escaped deeper than
// the header's separator (`%2522` after ":") is the value's own.
qsizetype LineValues::headerEnd(qsizetype start, int level) {
    if (start > m_header.start && start < m_header.end) {
        return m_header.end;
    }
    qsizetype end = start;
    char16_t previous = u' ';
    for (LineCharacter read; end < m_text.size(); end = read.end) {
        read = m_reader.at(end);
        if (LogText::isLineBreak(read.character)) {
            break;
        }
        if (LogText::isQuote(read.character) && read.urlLevel <= level) {
            if (!LogText::isBlank(previous) && previous != u'=' && previous != u',') {
                break;
            }
            read = parameterClose(read);
        }
        previous = read.character;
    }
    m_header = Span{start, end};
    return end;
}

// A parameter's quote written as its opening one; one that stays open runs to its line's end.
LineCharacter LineValues::parameterClose(const LineCharacter& opening) const {
    qsizetype p = opening.end;
    for (LineCharacter read; p < m_text.size(); p = read.end) {
        read = m_reader.at(p);
        if (LogText::isLineBreak(read.character)) {
            break;
        }
        if (read.isWrittenAs(opening)) {
            return read;
        }
    }
    return LineCharacter{0, p, p};
}

LineValues::Value LineValues::quoted(const LineCharacter& opening, bool mayBeKey) {
    const std::optional<LineCharacter> closing = m_quotes.closing(opening, mayBeKey);
    const qsizetype end = closing ? closing->end : lineEnd(opening.end);
    return Value{Kind::quoted, Span{opening.end, closing ? closing->start : end}, end, opening};
}

// A bracket that ends a text ("unexpected token: {") opens nothing: the quote right after it ends
// that text, and the text it would open does not close where it next reads as its quote. A quote
// or backslash after that quote makes it a text of its own (`[""`, `["\"`).
bool LineValues::endsText(const LineCharacter& bracket) {
    if (bracket.end == m_text.size() || !LogText::isQuote(m_text[bracket.end].unicode())) {
        return false;
    }
    const LineCharacter quote{m_text[bracket.end].unicode(), bracket.end, bracket.end + 1};
    const char16_t follower = quote.end < m_text.size() ? m_text[quote.end].unicode() : u' ';
    if (LogText::isQuote(follower) || follower == LineReader::kBackslash ||
        !m_quotes.closes(quote, true)) {
        return false;
    }
    const std::optional<LineCharacter> next = m_quotes.next(quote);
    return next && !m_quotes.closes(*next, true);
}

// An apostrophe between two letters is one of a word's ("don't").
bool LineValues::isApostrophe(qsizetype position) const {
    return m_text[position] == u'\'' && position > 0 && position + 1 < m_text.size() &&
           m_text[position - 1].isLetter() && m_text[position + 1].isLetter();
}

// A text opens at a plain quote or one escaped with backslashes only; a word runs from a letter,
// digit, "+" or escape to the next escape; brackets count where written plainly.
LineValues::Piece LineValues::pieceAt(qsizetype position) {
    const LineCharacter read = m_reader.at(position);
    const char16_t character = read.character;
    if (LogText::isQuote(character) && read.urlLevel == 0 &&
        LogText::isQuote(m_text[read.end - 1].unicode())) {
        const Value text = quoted(read, true);
        return Piece{Piece::Kind::text, text.content, text.end};
    }
    if (LogText::isWordCharacter(QChar(character)) || character == u'+' || read.size() > 1) {
        qsizetype end = read.end;
        for (LineCharacter next; end < m_text.size(); end = next.end) {
            next = m_reader.at(end);
            if (((!LogText::isWordCharacter(QChar(next.character)) && next.character != u'+') ||
                 next.size() > 1) &&
                !isApostrophe(end)) {
                break;
            }
        }
        return Piece{Piece::Kind::word, Span{position, end}, end};
    }
    const bool opening = read.isPlain() && (character == u'{' || character == u'[');
    const bool closing = read.isPlain() && (character == u'}' || character == u']');
    const Piece::Kind kind = opening   ? Piece::Kind::opening
                             : closing ? Piece::Kind::closing
                                       : Piece::Kind::other;
    return Piece{kind, Span{position, read.end}, read.end};
}

// Read across lines to its close. From a bracket outside texts every object reads as the one around
// it does, so what the last one read to the text's end without closing tells each bracket it met.
// Reading for closes costs at most four times the text's length in all; an object still open after
// that runs to the text's end (masking errs towards more).
qsizetype LineValues::structureEnd(qsizetype start) {
    const auto known = std::ranges::lower_bound(m_openBrackets, start, {},
                                                [](const Bracket& b) { return b.position; });
    if (known != m_openBrackets.end() && known->position == start) {
        return known->end >= 0 ? known->end : lineEnd(start);
    }
    const qsizetype size = m_text.size();
    std::vector<Bracket> brackets;
    std::vector<size_t> open;
    for (qsizetype p = start; p < size;) {
        if (m_structureReads > kClosesReadPerCharacter * size) {
            return size;
        }
        const Piece piece = pieceAt(p);
        m_structureReads += piece.end - p;
        p = piece.end;
        if (piece.kind == Piece::Kind::opening) {
            open.push_back(brackets.size());
            brackets.push_back(Bracket{piece.span.start});
        } else if (piece.kind == Piece::Kind::closing) {
            if (open.size() <= 1) {
                return p;
            }
            brackets[open.back()].end = p;
            open.pop_back();
        }
    }
    m_openBrackets = std::move(brackets);
    return lineEnd(start);
}

qsizetype LineValues::blanksFrom(qsizetype position, int form) const {
    for (LineCharacter read; position < m_text.size(); position = read.end) {
        read = m_reader.at(position, form);
        if (!LogText::isBlank(read.character)) {
            break;
        }
    }
    return position;
}
