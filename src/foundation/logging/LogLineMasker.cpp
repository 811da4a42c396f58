#include "foundation/logging/LogLineMasker.h"

#include "foundation/logging/DigitGroups.h"
#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LineScan.h"
#include "foundation/logging/LogText.h"

#include <algorithm>

namespace {

constexpr int kEntryMember = HiddenKeyNames::entryName | HiddenKeyNames::entryValue;
// A pile of objects each holding a value before its name is held no deeper.
constexpr size_t kEarlyValuesKept = 4;

bool isOpeningBracket(const LineCharacter& read) {
    return read.isPlain() && (read.character == u'{' || read.character == u'[');
}

}  // namespace

LogLineMasker::LogLineMasker(const QString& line)
    : m_line(line),
      m_text(line),
      m_reader(m_text),
      m_closingQuotes(m_reader),
      m_bareEnd{NextWhere(m_text, LineScan::endsBareValueAt<0>),
                NextWhere(m_text, LineScan::endsBareValueAt<1>),
                NextWhere(m_text, LineScan::endsBareValueAt<2>),
                NextWhere(m_text, LineScan::endsBareValueAt<3>)},
      m_headerEnd(m_text, LineScan::endsLineAt),
      m_lineEnd(m_text, LineScan::isLineBreakAt),
      m_nonWord(m_text, LineScan::isNotWordCharacterAt),
      m_elementTextEnd(m_text, LineScan::endsElementTextAt) {}

void LogLineMasker::scan() {
    if (std::exchange(m_scanned, true)) {
        return;
    }
    const char16_t* characters = m_text.utf16();
    const qsizetype size = m_text.size();
    for (qsizetype i = LineScan::nextStop(characters, 0, size); i < size;
         i = LineScan::nextStop(characters, i, size)) {
        const LineCharacter read = m_reader.at(i);
        switch (read.character) {
            case u':':
            case u'=':
                i = onSeparator(read);
                break;
            case u'>':
                i = onElementStart(read);
                break;
            case u'[':
                i = onPair(read);
                break;
            default:
                i = read.end;
                break;
        }
    }
}

QString LogLineMasker::masked() {
    scan();
    if (m_edits.isEmpty()) {
        return m_line;
    }
    QString out;
    out.reserve(m_text.size() + m_edits.size() * 8);
    qsizetype copied = 0;
    for (const Edit& edit : m_edits) {
        if (edit.span.start < copied) {
            // Inside a value masked already (a setting's value holding JSON text).
            copied = std::max(copied, edit.span.end);
            continue;
        }
        out.append(m_text.sliced(copied, edit.span.start - copied));
        out.append(text(edit.quote));
        out.append(LogText::kMask);
        out.append(text(edit.quote));
        copied = edit.span.end;
    }
    out.append(m_text.sliced(copied));
    return out;
}

QList<LogLineMasker::Span> LogLineMasker::hiddenSpans() {
    scan();
    QList<Span> spans;
    for (const Edit& edit : m_edits) {
        spans.append(edit.span);
    }
    return spans;
}

qsizetype LogLineMasker::onSeparator(const LineCharacter& separator) {
    qsizetype next = separator.end;
    // A hash's "=>" is one separator.
    if (separator.character == u'=' && next < m_text.size() && m_text[next] == u'>') {
        ++next;
    }
    const Key key = keyBefore(separator.start, separator.urlLevel > 0);
    const int level = std::max(separator.urlLevel, key.quote.urlLevel);
    if ((key.kinds & kEntryMember) != 0) {
        return onEntryMember(key.kinds, valueAt(next, key, separator.character, level),
                             separator.start, next);
    }
    if ((key.kinds & HiddenKeyNames::kHidden) == 0) {
        return next;
    }
    const bool wholeLine = (key.kinds & HiddenKeyNames::wholeLine) != 0;
    return hideValue(valueAt(next, key, wholeLine ? QChar() : separator.character, level));
}

// Past blanks and a closing quote to the name, whose kinds are read back from its end.
LogLineMasker::Key LogLineMasker::keyBefore(qsizetype end, bool form) const {
    Key key;
    while (end > m_floor) {
        const LineCharacter read = m_reader.before(end, m_floor, form);
        if (!LogText::isBlank(read.character)) {
            if (LogText::isQuote(read.character)) {
                key.quote = read;
                end = read.start;
            }
            break;
        }
        end = read.start;
    }
    qsizetype start = end;
    key.kinds = kindsOfNameBefore(end, m_floor, start);
    return key;
}

// The kinds of the name that ends at `end`, read back no further than `floor`; `start` is where
// the reading stopped: the name's start, unless no name of the list could be read so far.
int LogLineMasker::kindsOfNameBefore(qsizetype end, qsizetype floor, qsizetype& start) const {
    HiddenKeyNames::NameWalk walk;
    for (start = end; start > floor;) {
        const LineCharacter read = m_reader.before(start, floor);
        if (!walk.takes(read.character)) {
            break;
        }
        start = read.start;
    }
    return walk.kinds(true);
}

// A member of an entry at `position`: {"name": <a hidden key>, "value": …} in either order, in
// any letter case, and so "key" and the object store's "ArgumentName" and "ArgumentValue". The
// scan goes on at `next`, inside the value, unless the value is hidden.
qsizetype LogLineMasker::onEntryMember(int kinds, const Value& value, qsizetype position,
                                       qsizetype next) {
    if ((kinds & HiddenKeyNames::entryName) != 0) {
        if ((value.kind != ValueKind::quoted && value.kind != ValueKind::bare) ||
            !namesHiddenKey(value.content)) {
            return next;
        }
        // A value seen before it is its own when it is a member of its object. Where the texts
        // between did not close as they opened, that is not told for sure: the next value is
        // hidden as well.
        bool ownValueSeen = false;
        bool textsClosed = true;
        while (!m_earlyValues.empty()) {
            EarlyValue& early = m_earlyValues.back();
            ownValueSeen = early.scope.holds(position);
            if (!ownValueSeen && !early.scope.ended()) {
                break;
            }
            textsClosed = early.scope.textsClosed();
            if (ownValueSeen) {
                hideEarlyValue(early);
            }
            m_earlyValues.pop_back();
            if (ownValueSeen) {
                break;
            }
        }
        m_nextValueHidden = !(ownValueSeen && textsClosed);
        m_namedObject.reset();
        if (!ownValueSeen) {
            m_namedObject.emplace(m_reader, value.end, value.quote);
        }
        return next;
    }
    const bool ownValue = m_namedObject && m_namedObject->holds(position);
    if (m_namedObject && (ownValue || m_namedObject->ended())) {
        m_namedObject.reset();
    }
    if (std::exchange(m_nextValueHidden, false) || ownValue) {
        return hideValue(value);
    }
    if (value.kind != ValueKind::none && !isLiteral(value.content)) {
        if (m_earlyValues.size() == kEarlyValuesKept) {
            m_earlyValues.erase(m_earlyValues.begin());
        }
        m_earlyValues.push_back(EarlyValue{value, ObjectScope(m_reader, value.end, value.quote)});
    }
    return next;
}

void LogLineMasker::hideEarlyValue(const EarlyValue& early) {
    const Value& value = early.value;
    if (value.kind != ValueKind::structure) {
        hide(value.content, value.kind == ValueKind::bare ? value.quote : LineCharacter{});
    } else if (value.content.start >= m_earlyHiddenTo) {
        // One inside a structure hidden so already is hidden with it.
        m_earlyHiddenTo = hideStructure(value.content.start, value.quote);
    }
}

// "<Name>text</Name>", also with attributes: the text up to the next "<" is the element's value.
qsizetype LogLineMasker::onElementStart(const LineCharacter& bracket) {
    const qsizetype nameEnd = elementNameEnd(bracket.start);
    qsizetype nameStart = nameEnd;
    const int kinds = nameEnd < 0 ? 0 : kindsOfNameBefore(nameEnd, m_floor, nameStart);
    if ((kinds & (HiddenKeyNames::kHidden | kEntryMember)) == 0 || nameStart == nameEnd) {
        return bracket.end;
    }
    // Past the end of a name no hidden name has ("AccessToken" was told at "s").
    while (nameStart > m_floor) {
        const LineCharacter read = m_reader.before(nameStart, m_floor);
        if (!LogText::isWordCharacter(QChar(read.character))) {
            break;
        }
        nameStart = read.start;
    }
    if (nameStart == m_floor || m_reader.before(nameStart, m_floor).character != u'<') {
        return bracket.end;
    }
    const qsizetype end = m_elementTextEnd.from(bracket.end);
    const Value value{ValueKind::quoted, Span{bracket.end, end}, end, LineCharacter{}};
    if ((kinds & kEntryMember) != 0) {
        return onEntryMember(kinds, value, bracket.start, bracket.end);
    }
    return hideValue(value);
}

// Where the name of the element whose opening tag ends at `bracket` ends: right there, or, after
// attributes, at the blank after the name that follows the tag's "<"; -1 for no name.
qsizetype LogLineMasker::elementNameEnd(qsizetype bracket) const {
    if (bracket == m_floor) {
        return -1;
    }
    if (LogText::isWordCharacter(QChar(m_reader.before(bracket, m_floor).character))) {
        return bracket;
    }
    // Back to the tag's "<", no further than the tag before.
    qsizetype start = bracket;
    for (; start > m_floor; start = m_reader.before(start, m_floor).start) {
        const char16_t character = m_reader.before(start, m_floor).character;
        if (character == u'<' || character == u'>') {
            break;
        }
    }
    qsizetype end = start;
    while (end < bracket && LogText::isWordCharacter(QChar(m_reader.at(end).character))) {
        end = m_reader.at(end).end;
    }
    return end > start && end < bracket && LogText::isBlank(m_reader.at(end).character) ? end : -1;
}

// A two-element array whose first element names a hidden key, as lists of pairs are written
// (`[["authorization", "Bearer …"], ["token", …]]`): its second element is hidden.
qsizetype LogLineMasker::onPair(const LineCharacter& bracket) {
    const qsizetype nameStart = blanksFrom(bracket.end, false);
    if (nameStart == m_text.size() || !LogText::isQuote(m_reader.at(nameStart).character)) {
        return bracket.end;
    }
    const Value name = quotedValue(m_reader.at(nameStart), false);
    if (name.end == lineEnd(nameStart) || !namesHiddenKey(name.content)) {
        return bracket.end;
    }
    const qsizetype comma = blanksFrom(name.end, name.quote.urlLevel > 0);
    if (comma == m_text.size() || m_reader.at(comma).character != u',') {
        return bracket.end;
    }
    return hideValue(valueAt(m_reader.at(comma).end, Key{}, QChar(u','), name.quote.urlLevel));
}

// Whether the text of an entry's name names a hidden key: the whole text a hidden name, or its end
// a hidden name's ending. Read back from the text's end as far as a name goes, once for entries
// whose texts end at the same place.
bool LogLineMasker::namesHiddenKey(Span content) {
    if (content.end != m_entryName.end || content.start < m_entryName.floor ||
        content.start > m_entryName.start) {
        HiddenKeyNames::NameWalk walk;
        qsizetype start = content.end;
        while (start > content.start) {
            const LineCharacter read = m_reader.before(start, content.start);
            if (!walk.takes(read.character)) {
                break;
            }
            start = read.start;
        }
        m_entryName =
            EntryName{content.start, start, content.end, walk.kinds(true), walk.kinds(false)};
    }
    const int kinds = content.start == m_entryName.start ? m_entryName.whole : m_entryName.ending;
    return (kinds & HiddenKeyNames::kHidden) != 0;
}

qsizetype LogLineMasker::blanksFrom(qsizetype position, bool form) const {
    while (position < m_text.size()) {
        const LineCharacter read = m_reader.at(position, form);
        if (!LogText::isBlank(read.character)) {
            break;
        }
        position = read.end;
    }
    return position;
}

// The value after a separator that ends at `after`; `level`, how many times URL escapes wrote
// the separator or the key's quote. A value after no separator (`separator` null) is a header's,
// to the end of its line.
LogLineMasker::Value LogLineMasker::valueAt(qsizetype after, const Key& key, QChar separator,
                                            int level) {
    const bool form = level > 0;
    const qsizetype start = blanksFrom(after, form);
    if (start == lineEnd(after)) {
        return Value{ValueKind::none, Span{start, start}, after, key.quote};
    }
    const LineCharacter first = m_reader.at(start, form);
    if (isOpeningBracket(first)) {
        return Value{ValueKind::structure, Span{start, start}, start, key.quote};
    }
    if (LogText::isQuote(first.character)) {
        return quotedValue(first, false);
    }
    // A structure written with URL escapes runs on as an unquoted value after a plain separator.
    const bool escapedStructure = first.character == u'{' || first.character == u'[';
    NextWhere& ends = separator.isNull() ? m_headerEnd : m_bareEnd[escapedStructure ? 0 : level];
    const qsizetype end = ends.from(start);
    // Nothing, or the next label of a selector ("userToken:completionHandler:)").
    if (end == start ||
        (separator == u':' && m_text[end - 1] == u':' && m_nonWord.from(start) >= end - 1)) {
        return Value{ValueKind::none, Span{start, start}, after, key.quote};
    }
    const Value value{ValueKind::bare, Span{start, end}, end, key.quote};
    return separator.isNull() ? value : withDigitGroups(value, ends, form);
}

// A text from its opening quote to its closing one; to the end of its line where none closes it
// there.
LogLineMasker::Value LogLineMasker::quotedValue(const LineCharacter& opening, bool mayBeKey) {
    const qsizetype end = lineEnd(opening.end);
    const std::optional<LineCharacter> closing = m_closingQuotes.find(opening, mayBeKey);
    if (!closing || closing->start > end) {
        return Value{ValueKind::quoted, Span{opening.end, end}, end, opening};
    }
    return Value{ValueKind::quoted, Span{opening.end, closing->start}, closing->end, opening};
}

// A number written in groups ("138 0000 0032", "+86 138-0000-0032", "138%200000%200032"): the
// groups after its first are its own while they can still make one number of a hidden shape;
// `ends` tells where each ends.
LogLineMasker::Value LogLineMasker::withDigitGroups(Value value, NextWhere& ends, bool form) {
    DigitGroups number;
    if (!number.starts(text(value.content))) {
        return value;
    }
    const qsizetype size = m_text.size();
    while (!number.isWhole()) {
        qsizetype p = value.end;
        while (p < size) {
            const LineCharacter read = m_reader.urlAt(p, form);
            if (!DigitGroups::joins(read.character)) {
                break;
            }
            p = read.end;
        }
        if (p == value.end || p == size || !DigitGroups::isDigit(m_text[p])) {
            break;
        }
        const qsizetype end = ends.from(p);
        if (!number.takes(text(Span{p, end}))) {
            break;
        }
        value.content.end = end;
        value.end = end;
    }
    return value;
}

qsizetype LogLineMasker::hideValue(const Value& value) {
    qsizetype end = value.end;
    switch (value.kind) {
        case ValueKind::none:
            return value.end;
        case ValueKind::quoted:
            if (value.content.size() > 0 && text(value.content) != LogText::kMask) {
                hide(value.content, LineCharacter{});
            }
            break;
        case ValueKind::bare:
            if (!isLiteral(value.content)) {
                hide(value.content, value.quote);
            }
            break;
        case ValueKind::structure:
            end = hideStructure(value.content.start, value.quote);
            break;
    }
    m_floor = end;
    return end;
}

// An object or array held by a hidden key: every text and word in it is hidden, its keys, flags
// and nulls stay. Unclosed, it runs to the end of its line.
qsizetype LogLineMasker::hideStructure(qsizetype start, const LineCharacter& quote) {
    const qsizetype end = lineEnd(start);
    int depth = 0;
    for (qsizetype p = start; p < end;) {
        const LineCharacter read = m_reader.at(p);
        if (LogText::isQuote(read.character) && read.urlLevel == 0 &&
            LogText::isQuote(m_text[read.end - 1].unicode())) {
            const Value string = quotedValue(read, true);
            p = string.end;
            if (!LogText::isKeySeparatorAt(m_text, p) && string.content.size() > 0 &&
                text(string.content) != LogText::kMask) {
                hide(string.content, LineCharacter{});
            }
        } else if (LogText::isWordCharacter(QChar(read.character)) || read.character == u'+' ||
                   read.size() > 1) {
            // A word, escapes and all.
            qsizetype wordEnd = read.end;
            for (LineCharacter next; wordEnd < end; wordEnd = next.end) {
                next = m_reader.at(wordEnd);
                if (!LogText::isWordCharacter(QChar(next.character)) && next.character != u'+' &&
                    (next.size() == 1 || LogText::isQuote(m_text[next.end - 1].unicode()))) {
                    break;
                }
            }
            if (!LogText::isKeySeparatorAt(m_text, wordEnd) && !isLiteral(Span{p, wordEnd})) {
                hide(Span{p, wordEnd}, quote);
            }
            p = wordEnd;
        } else if (isOpeningBracket(read)) {
            ++depth;
            p = read.end;
        } else if (read.isPlain() && (read.character == u'}' || read.character == u']')) {
            p = read.end;
            if (--depth <= 0) {
                return p;
            }
        } else {
            p = read.end;
        }
    }
    return end;
}

// Words that say nothing secret: flags, nulls, and what is masked already.
bool LogLineMasker::isLiteral(Span span) const {
    const QStringView word = text(span);
    return word == u"true" || word == u"false" || word == u"null" || word == u"nil" ||
           word == u"undefined" || word == LogText::kMask;
}

// Edits come in the order of the line, but for an entry's value, hidden when its name turns out
// hidden further on: it goes before the edits inside and after it (the copy joins overlapping
// edits, the longest first where they start together).
void LogLineMasker::hide(Span span, const LineCharacter& quote) {
    const Edit edit{span, quote.character == 0 ? Span{} : Span{quote.start, quote.end}};
    qsizetype at = m_edits.size();
    while (at > 0 &&
           (m_edits[at - 1].span.start > span.start ||
            (m_edits[at - 1].span.start == span.start && m_edits[at - 1].span.end < span.end))) {
        --at;
    }
    if (at == m_edits.size()) {
        // Appended, so that the array grows by doubling.
        m_edits.append(edit);
    } else {
        m_edits.insert(at, edit);
    }
}
