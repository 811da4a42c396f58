#include "foundation/logging/LogLineMasker.h"

#include "foundation/logging/DigitGroups.h"
#include "foundation/logging/HiddenKeyNames.h"
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
      m_bareEnd{NextWhere(m_text, LogText::endsBareValueAt<0>),
                NextWhere(m_text, LogText::endsBareValueAt<1>),
                NextWhere(m_text, LogText::endsBareValueAt<2>),
                NextWhere(m_text, LogText::endsBareValueAt<3>)},
      m_headerEnd(m_text, LogText::endsLineAt),
      m_lineEnd(m_text, LogText::isLineBreakAt),
      m_nonWord(m_text, LogText::isNotWordCharacterAt),
      m_elementTextEnd(m_text, LogText::endsElementTextAt) {}

void LogLineMasker::scan() {
    if (std::exchange(m_scanned, true)) {
        return;
    }
    const char16_t* characters = m_text.utf16();
    const qsizetype size = m_text.size();
    for (qsizetype i = LogText::nextStop(characters, 0, size); i < size;
         i = LogText::nextStop(characters, i, size)) {
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
    Key key = keyBefore(separator.start, separator.urlLevel > 0);
    // Inside a hidden value every value is hidden too, also one that runs on past it.
    if (separator.start < m_hiddenTo && (key.kinds & HiddenKeyNames::entryName) == 0) {
        key.kinds = HiddenKeyNames::credential;
    }
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

// Past blanks and a closing quote to the name, whose kinds are read back from its end. Most keys
// are read as the line stands, and again through the reader only where an escape may take part
// where that reading stops.
LogLineMasker::Key LogLineMasker::keyBefore(qsizetype end, bool form) const {
    Key key;
    qsizetype name = end;
    while (name > m_floor && LogText::isBlank(m_text[name - 1].unicode())) {
        --name;
    }
    if (name > m_floor && LogText::isQuote(m_text[name - 1].unicode())) {
        key.quote = LineCharacter{m_text[name - 1].unicode(), name - 1, name, 0, 0};
        --name;
    }
    qsizetype start = name;
    key.kinds = HiddenKeyNames::walkBack(m_text, name, m_floor, start).whole;
    if (readsAsItStands(start, m_floor, form)) {
        return key;
    }
    key = Key{};
    for (LineCharacter read; end > m_floor; end = read.start) {
        read = m_reader.before(end, m_floor, form);
        if (!LogText::isBlank(read.character)) {
            key.quote = LogText::isQuote(read.character) ? read : LineCharacter{};
            end = LogText::isQuote(read.character) ? read.start : end;
            break;
        }
    }
    key.kinds = nameBefore(end, m_floor, start).whole;
    return key;
}

// The name that ends at `end`, read back through the reader no further than `floor`; `start` is
// where the reading stopped: the name's start, unless no name of the list could be read so far.
HiddenKeyNames::NameKinds LogLineMasker::nameBefore(qsizetype end, qsizetype floor,
                                                    qsizetype& start) const {
    HiddenKeyNames::NameWalk walk;
    for (start = end; start > floor;) {
        const LineCharacter read = m_reader.before(start, floor);
        if (!walk.takes(read.character)) {
            break;
        }
        start = read.start;
    }
    return HiddenKeyNames::NameKinds{walk.kinds(true), walk.kinds(false)};
}

// A member of an entry at `position`: {"name": <a hidden key>, "value": …} in either order, in
// any letter case, and so "key" and the object store's "ArgumentName" and "ArgumentValue". The
// scan goes on at `next`, inside the value, unless the value is hidden.
qsizetype LogLineMasker::onEntryMember(int kinds, const Value& value, qsizetype position,
                                       qsizetype next) {
    if ((kinds & HiddenKeyNames::entryName) != 0) {
        const bool named = value.kind == ValueKind::quoted || value.kind == ValueKind::bare;
        if (named && namesHiddenKey(value.content)) {
            m_nextValueHidden = !hideOwnEarlyValues(position);
            m_namedObject.emplace(m_reader, value.end, value.quote);
        } else {
            // The values beside another name may be that name's.
            if (m_namedObject && m_namedObject->holds(position)) {
                m_namedObject.reset();
            }
            if (!m_earlyValues.empty()) {
                m_earlyValues.back().claimed = true;
            }
        }
        return next;
    }
    // An empty value leaves the name waiting. The named object's values are hidden, and so are
    // those of the objects inside it.
    if (value.kind == ValueKind::none) {
        return next;
    }
    if (m_namedObject) {
        const bool own = m_namedObject->holds(position);
        if (own || !m_namedObject->ended()) {
            m_nextValueHidden = m_nextValueHidden && !own;
            return hideValue(value);
        }
        m_namedObject.reset();
    }
    // A name whose own value was not told hides the values after it.
    if (m_nextValueHidden) {
        return hideValue(value);
    }
    if (!isLiteral(value.content)) {
        if (m_earlyValues.size() == kEarlyValuesKept) {
            m_earlyValues.erase(m_earlyValues.begin());
        }
        m_earlyValues.push_back(
            EarlyValue{value, ObjectScope(m_reader, value.end, value.quote), false});
    }
    return next;
}

// Hides the values seen before a hidden name at `position` that are its own: the latest that is a
// member of its object, past those of objects that ended before it, and any whose text runs on
// past the name. Whether that is told for sure: the latest, ended before the name, no other name
// between, the texts between closed as they opened; where not, the values after it are hidden as
// well.
bool LogLineMasker::hideOwnEarlyValues(qsizetype position) {
    bool sure = false;
    for (bool latest = true; !m_earlyValues.empty(); latest = false) {
        EarlyValue& early = m_earlyValues.back();
        const bool own = early.scope.holds(position);
        if (!own && !early.scope.ended()) {
            break;
        }
        if (own) {
            hideEarlyValue(early);
            sure = latest && !early.claimed && early.scope.textsClosed() &&
                   position >= early.value.end;
        }
        m_earlyValues.pop_back();
        if (own) {
            break;
        }
    }
    for (auto early = m_earlyValues.begin(); early != m_earlyValues.end();) {
        if (position < early->value.end) {
            hideEarlyValue(*early);
            early = m_earlyValues.erase(early);
        } else {
            ++early;
        }
    }
    return sure;
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
    while (nameStart > m_floor) {
        const LineCharacter read = m_reader.before(nameStart, m_floor);
        if (!LogText::isWordCharacter(QChar(read.character))) {
            break;
        }
        nameStart = read.start;
    }
    const int kinds = HiddenKeyNames::kindsOf(text(Span{nameStart, nameEnd}));
    if ((kinds & (HiddenKeyNames::kHidden | kEntryMember)) == 0 || nameStart == m_floor ||
        m_reader.before(nameStart, m_floor).character != u'<') {
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
// attributes, at the blank after the name that follows the tag's "<" (no further back than the
// tag before).
qsizetype LogLineMasker::elementNameEnd(qsizetype bracket) const {
    qsizetype start = bracket;
    for (LineCharacter read; start > m_floor; start = read.start) {
        read = m_reader.before(start, m_floor);
        if (read.character == u'<' || read.character == u'>' ||
            (start == bracket && LogText::isWordCharacter(QChar(read.character)))) {
            break;
        }
    }
    if (start == bracket) {
        return bracket;
    }
    qsizetype end = start;
    while (end < bracket && LogText::isWordCharacter(QChar(m_reader.at(end).character))) {
        end = m_reader.at(end).end;
    }
    return end < bracket && LogText::isBlank(m_reader.at(end).character) ? end : start;
}

// A two-element array whose first element names a hidden key, as lists of pairs are written
// (`[["authorization", "Bearer …"], ["token", …]]`): its second element is hidden.
qsizetype LogLineMasker::onPair(const LineCharacter& bracket) {
    const qsizetype nameStart = blanksFrom(bracket.end, false);
    if (nameStart == m_text.size() || !LogText::isQuote(m_reader.at(nameStart).character)) {
        return bracket.end;
    }
    const Value name = quotedValue(m_reader.at(nameStart), false);
    if (name.content.end == name.end || !namesHiddenKey(name.content)) {
        return bracket.end;
    }
    const qsizetype comma = blanksFrom(name.end, name.quote.urlLevel > 0);
    if (comma == m_text.size() || m_reader.at(comma).character != u',') {
        return bracket.end;
    }
    return hideValue(valueAt(m_reader.at(comma).end, Key{}, QChar(u','), name.quote.urlLevel));
}

// Most lines hold no line break: told once, eight characters at a time.
qsizetype LogLineMasker::lineEnd(qsizetype from) {
    if (!m_hasLineBreak) {
        m_hasLineBreak = m_text.contains(u'\n') || m_text.contains(u'\r');
    }
    return *m_hasLineBreak ? m_lineEnd.from(from) : m_text.size();
}

// Whether the text of an entry's name names a hidden key: the whole text a hidden name, or its end
// a hidden name's ending. Read back from the text's end as far as a name goes, once for entries
// whose texts end at the same place.
bool LogLineMasker::namesHiddenKey(Span content) {
    if (content.end != m_entryName.end || content.start < m_entryName.floor ||
        content.start > m_entryName.start) {
        qsizetype start = content.end;
        HiddenKeyNames::NameKinds kinds =
            HiddenKeyNames::walkBack(m_text, content.end, content.start, start);
        if (!readsAsItStands(start, content.start, false)) {
            kinds = nameBefore(content.end, content.start, start);
        }
        m_entryName = EntryName{content.start, start, content.end, kinds.whole, kinds.ending};
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
    if (start == m_text.size() || LogText::isLineBreak(m_text[start])) {
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
    // A number written in groups: "138 0000 0032", "+86 138-0000-0032", "138%200000%200032".
    const qsizetype valueEnd =
        separator.isNull() ? end : DigitGroups::end(m_reader, start, end, ends, form);
    return Value{ValueKind::bare, Span{start, valueEnd}, valueEnd, key.quote};
}

// A text from its opening quote to its closing one, to the end of its line where none closes it.
LogLineMasker::Value LogLineMasker::quotedValue(const LineCharacter& opening, bool mayBeKey) {
    if (const std::optional<LineCharacter> closing = m_closingQuotes.find(opening, mayBeKey)) {
        return Value{ValueKind::quoted, Span{opening.end, closing->start}, closing->end, opening};
    }
    const qsizetype end = lineEnd(opening.end);
    return Value{ValueKind::quoted, Span{opening.end, end}, end, opening};
}

// The scan goes on inside the value: a key in it is read no further back than its start, and
// hides what follows it too, as where the value is not hidden.
qsizetype LogLineMasker::hideValue(const Value& value) {
    qsizetype end = value.end;
    switch (value.kind) {
        case ValueKind::none:
            return value.end;
        case ValueKind::quoted:
            if (value.content.size() > 0 && text(value.content) != LogText::kMask) {
                hide(value.content, LineCharacter{});
            }
            end = std::min(end, lineEnd(value.content.start));
            break;
        case ValueKind::bare:
            if (!isLiteral(value.content)) {
                hide(value.content, value.quote);
            }
            break;
        case ValueKind::structure:
            // One inside a structure hidden already is hidden with it.
            if (value.content.start >= m_structuresHiddenTo) {
                m_structuresHiddenTo = hideStructure(value.content.start, value.quote);
            }
            end = m_structuresHiddenTo;
            break;
    }
    m_hiddenTo = std::max(m_hiddenTo, end);
    m_floor = value.content.start;
    return value.content.start;
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
            p = std::min(string.end, end);
            if (!LogText::isKeySeparatorAt(m_text, p) && string.content.size() > 0 &&
                text(string.content) != LogText::kMask) {
                hide(string.content, LineCharacter{});
            }
        } else if (LogText::isWordCharacter(QChar(read.character)) || read.character == u'+' ||
                   read.size() > 1) {
            // A word, from an escape maybe; the next escape begins another.
            qsizetype wordEnd = read.end;
            for (LineCharacter next; wordEnd < end; wordEnd = next.end) {
                next = m_reader.at(wordEnd);
                if ((!LogText::isWordCharacter(QChar(next.character)) && next.character != u'+') ||
                    next.size() > 1) {
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

// No span runs past its line. Edits come in the order of the line, but for an entry's value, hidden
// when its name turns out hidden further on: it goes before the edits inside and after it (the copy
// joins overlapping edits, the longest first where they start together).
void LogLineMasker::hide(Span span, const LineCharacter& quote) {
    span.end = std::min(span.end, lineEnd(span.start));
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
