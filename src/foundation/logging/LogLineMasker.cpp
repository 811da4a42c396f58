#include "foundation/logging/LogLineMasker.h"

#include "foundation/logging/LogText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <initializer_list>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kEntryMember = HiddenKeyNames::entryName | HiddenKeyNames::entryValue;
// Values before their names are followed this deep.
constexpr size_t kEarlyValuesKept = 4;

// What the scan stops at: separators, an element's ">", a pair's "[", and the characters that may
// start an escape, as the reader names them.
constexpr auto kStopCharacters = [] {
    constexpr std::u16string_view kSeparatorStops = u":=>[";
    std::array<char16_t, kSeparatorStops.size() + LineReader::kEscapeStarts.size()> stops{};
    std::ranges::copy(kSeparatorStops, stops.begin());
    std::ranges::copy(LineReader::kEscapeStarts, stops.begin() + kSeparatorStops.size());
    return stops;
}();

// The next stop at or after `from`, or `size`, eight at a time.
qsizetype nextStop(const char16_t* text, qsizetype from, qsizetype size) {
#if defined(__SSE2__)
    __m128i stops[kStopCharacters.size()];
    for (size_t i = 0; i < kStopCharacters.size(); ++i) {
        stops[i] = _mm_set1_epi16(static_cast<short>(kStopCharacters[i]));
    }
    for (; from + 8 <= size; from += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from));
        __m128i hits = _mm_cmpeq_epi16(chunk, stops[0]);
        for (size_t i = 1; i < kStopCharacters.size(); ++i) {
            hits = _mm_or_si128(hits, _mm_cmpeq_epi16(chunk, stops[i]));
        }
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0) {
            return from + std::countr_zero(mask) / 2;
        }
    }
#endif
    static constexpr LogText::AsciiSet kStops = [] {
        LogText::AsciiSet set{};
        for (const char16_t stop : kStopCharacters) {
            set[stop] = true;
        }
        return set;
    }();
    while (from < size && !LogText::holds(kStops, text[from])) {
        ++from;
    }
    return from;
}

}  // namespace

LogLineMasker::LogLineMasker(const QString& line)
    : m_line(line), m_text(line), m_reader(m_text), m_values(m_reader) {
    scan();
}

void LogLineMasker::scan() {
    const char16_t* characters = m_text.utf16();
    const qsizetype size = m_text.size();
    for (qsizetype i = nextStop(characters, 0, size); i < size; i = nextStop(characters, i, size)) {
        const LineCharacter read = m_reader.at(i);
        const char16_t stop = read.character;
        m_escapedTo = read.size() > 1 ? read.end : m_escapedTo;
        i = stop == u':' || stop == u'=' ? onSeparator(read)
            : stop == u'>'               ? onElementStart(read)
            : stop == u'['               ? onPair(read)
                                         : read.end;
    }
    for (EditRun* run : {&m_edits, &m_structureEdits, &m_earlyEdits}) {
        if (!run->inOrder) {
            std::ranges::stable_sort(run->edits, EditRun::goesBefore);
        }
    }
}

// The runs merged in the order of the line; where two start and end together, an object's member
// first, then the scan's.
template <typename Use>
void LogLineMasker::forEachEdit(Use use) const {
    const std::array<const EditRun*, 3> runs = {&m_structureEdits, &m_edits, &m_earlyEdits};
    std::array<qsizetype, 3> next{};
    for (;;) {
        const Edit* first = nullptr;
        size_t from = 0;
        for (size_t run = 0; run < runs.size(); ++run) {
            const auto& edits = runs[run]->edits;
            if (next[run] < edits.size() &&
                (first == nullptr || EditRun::goesBefore(edits[next[run]], *first))) {
                first = &edits[next[run]];
                from = run;
            }
        }
        if (first == nullptr) {
            return;
        }
        ++next[from];
        use(*first);
    }
}

QString LogLineMasker::masked() {
    if (m_edits.edits.isEmpty() && m_structureEdits.edits.isEmpty() &&
        m_earlyEdits.edits.isEmpty()) {
        return m_line;
    }
    QString out;
    out.reserve(m_text.size() + m_edits.edits.size() * 8);
    qsizetype copied = 0;
    forEachEdit([&](const Edit& edit) {
        // One inside a value masked already goes with it.
        if (edit.span.start >= copied) {
            out.append(m_text.sliced(copied, edit.span.start - copied));
            out.append(text(edit.quote)).append(LogText::kMask).append(text(edit.quote));
        }
        copied = std::max(copied, edit.span.end);
    });
    out.append(m_text.sliced(copied));
    return out;
}

QList<LogLineMasker::Span> LogLineMasker::hiddenSpans() const {
    QList<Span> spans;
    forEachEdit([&spans](const Edit& edit) { spans.append(edit.span); });
    return spans;
}

qsizetype LogLineMasker::onSeparator(const LineCharacter& separator) {
    // A hash's "=>" is one separator, each of its characters written plainly or with any escape
    // ("\u003d>", "%3D%3E").
    qsizetype next = separator.end;
    if (separator.character == u'=' && next < m_text.size()) {
        const LineCharacter arrow = m_reader.at(next);
        next = arrow.character == u'>' ? arrow.end : next;
    }
    // Past blanks and a closing quote to the key's name.
    Name key = nameBefore(separator.start, m_floor, separator.urlLevel, true);
    int& kinds = key.kinds.whole;
    // A key inside a hidden value hides its value too, also one that runs on past it.
    if (key.start < m_hiddenTo && (kinds & HiddenKeyNames::entryName) == 0) {
        kinds = (kinds & HiddenKeyNames::wholeLine) | HiddenKeyNames::credential;
    }
    const int level = std::max(separator.urlLevel, key.quote.urlLevel);
    if ((kinds & kEntryMember) != 0) {
        // The member starts at its name's opening quote, written as the closing one.
        const qsizetype member = std::max(qsizetype{0}, key.start - key.quote.size());
        return onEntryMember(kinds, m_values.at(next, key.quote, separator.character, level),
                             member, next);
    }
    if ((kinds & HiddenKeyNames::kHidden) == 0) {
        return next;
    }
    const bool wholeLine = (kinds & HiddenKeyNames::wholeLine) != 0;
    const Value value =
        m_values.at(next, key.quote, wholeLine ? QChar() : separator.character, level);
    const qsizetype resume = hideValue(value);
    if ((kinds & HiddenKeyNames::personal) != 0 && value.kind == ValueKind::bare) {
        hideFollowingNumbers(value.end, value.quote, level);
    }
    return resume;
}

// A list of phone and ID-card numbers under one key ("13800000000、13900000000") is all personal.
void LogLineMasker::hideFollowingNumbers(qsizetype after, const LineCharacter& quote, int level) {
    for (Span number = m_values.followingNumber(after, level); number.size() > 0;
         number = m_values.followingNumber(number.end, level)) {
        hide(number, quote, m_edits);
    }
}

// The one reading of a name that ends at `end`, back to `floor` at most; a key's (`key`) past
// blanks and a closing quote first. It is read as the line stands unless an escape may reach into
// what was read: for a key, one the scan read ends where reading stopped or later; for any name,
// the reader tells that one may begin before it or end in its first few characters. Then it is read
// again through the reader, and a hidden kind of the first reading stays (a hidden name after an
// escape that reads as a letter of it, "1\phone").
LogLineMasker::Name LogLineMasker::nameBefore(qsizetype end, qsizetype floor, int form,
                                              bool key) const {
    Name name;
    qsizetype nameEnd = end;
    while (key && nameEnd > floor && LogText::isBlank(m_text[nameEnd - 1].unicode())) {
        --nameEnd;
    }
    if (key && nameEnd > floor && LogText::isQuote(m_text[nameEnd - 1].unicode())) {
        // With the backslashes before it, as JSON text inside JSON text escapes it. A plain one is
        // set a field at a time: a whole LineCharacter made on the stack stalls its copy.
        if (nameEnd - 1 > floor && m_text[nameEnd - 2] == LineReader::kBackslash) {
            name.quote = m_reader.before(nameEnd, floor, form);
        } else {
            name.quote.character = m_text[nameEnd - 1].unicode();
            name.quote.start = nameEnd - 1;
            name.quote.end = nameEnd;
        }
        nameEnd = name.quote.start;
    }
    name.kinds = HiddenKeyNames::walkBack(m_text, nameEnd, floor, name.start);
    if ((key && m_escapedTo < name.start) || readsAsItStands(name.start, nameEnd, floor)) {
        return name;
    }
    constexpr int kKept = HiddenKeyNames::kHidden | HiddenKeyNames::wholeLine;
    const HiddenKeyNames::NameKinds asItStands = name.kinds;
    name = Name{};
    for (LineCharacter read; key && end > floor; end = read.start) {
        read = m_reader.before(end, floor, form);
        if (!LogText::isBlank(read.character)) {
            name.quote = LogText::isQuote(read.character) ? read : LineCharacter{};
            end = LogText::isQuote(read.character) ? read.start : end;
            break;
        }
    }
    name.kinds = HiddenKeyNames::readBack(m_reader, end, floor, name.start);
    name.kinds.whole |= asItStands.whole & kKept;
    name.kinds.ending |= asItStands.ending & kKept;
    return name;
}

// Most names stop at a quote, blank or bracket; otherwise an escape may begin before the name and
// end in its first few characters ("%2e" of "token%2e", "\u002e").
bool LogLineMasker::readsAsItStands(qsizetype stop, qsizetype end, qsizetype floor) const {
    const char16_t before = stop == floor ? u' ' : m_text[stop - 1].unicode();
    bool escaped = LineReader::mayStartEscape(before);
    for (qsizetype tail = stop; !escaped && tail <= std::min(end, stop + 3); ++tail) {
        escaped = tail > floor && m_reader.mayEndEscape(tail, floor, 0);
    }
    return before == u'"' || before == u' ' || before == u'{' || !escaped;
}

// An entry's member at `position` ({"name": <a hidden key>, "value": …}, either order, any letter
// case; "key", "ArgumentName"). The scan goes on at `next` unless the value is hidden.
qsizetype LogLineMasker::onEntryMember(int kinds, const Value& value, qsizetype position,
                                       qsizetype next) {
    if ((kinds & HiddenKeyNames::entryName) != 0) {
        const bool named = value.kind == ValueKind::quoted || value.kind == ValueKind::bare;
        if (named && namesHiddenKey(value.content)) {
            m_nextValueHidden = !hideOwnEarlyValues(position);
            m_namedObject = ObjectScope{&m_values, value.quote, value.end};
        } else {
            // The values beside another name may be its own.
            if (m_namedObject && m_namedObject->holds(position)) {
                m_namedObject.reset();
            }
            if (!m_earlyValues.empty()) {
                m_earlyValues.back().claimed = true;
            }
        }
        return next;
    }
    // An empty value leaves the name waiting.
    if (value.kind == ValueKind::none) {
        return next;
    }
    if (m_namedObject) {
        const bool own = m_namedObject->holds(position);
        if (own || !m_namedObject->ended) {
            m_nextValueHidden = m_nextValueHidden && !own;
            return hideValue(value);
        }
        m_namedObject.reset();
    }
    if (m_nextValueHidden) {
        return hideValue(value);
    }
    if (!isLiteral(value.content)) {
        if (m_earlyValues.size() == kEarlyValuesKept) {
            m_earlyValues.erase(m_earlyValues.begin());
        }
        m_earlyValues.push_back(EarlyValue{value, ObjectScope{&m_values, value.quote, value.end}});
    }
    return next;
}

// Hides the values seen before a hidden name that are its own: the latest member of its object, and
// any whose text runs past it. Sure: the latest, ended before it, no name or open text between.
bool LogLineMasker::hideOwnEarlyValues(qsizetype position) {
    bool sure = false;
    for (bool latest = true; !m_earlyValues.empty(); latest = false) {
        EarlyValue& early = m_earlyValues.back();
        const bool own = early.scope.holds(position);
        if (!own && !early.scope.ended) {
            break;
        }
        if (own) {
            hideContent(early.value, true);
            sure = latest && !early.claimed && !early.scope.leftOpen && position >= early.value.end;
        }
        m_earlyValues.pop_back();
        if (own) {
            break;
        }
    }
    for (auto early = m_earlyValues.begin(); early != m_earlyValues.end();) {
        const bool holdsName = position < early->value.end;
        if (holdsName) {
            hideContent(early->value, true);
        }
        early = holdsName ? m_earlyValues.erase(early) : early + 1;
    }
    return sure;
}

// "<Name attributes…>text": the text is the element's value. Read back to the tag's "<".
qsizetype LogLineMasker::onElementStart(const LineCharacter& bracket) {
    qsizetype nameEnd = bracket.start;
    for (LineCharacter read; nameEnd > 0; nameEnd = read.start) {
        read = m_reader.before(nameEnd, 0);
        if (read.character == u'<' || read.character == u'>' ||
            (nameEnd == bracket.start && LogText::isWordCharacter(QChar(read.character)))) {
            break;
        }
    }
    // After attributes: the name after the "<", up to a blank.
    for (qsizetype after = nameEnd; nameEnd != bracket.start && after < bracket.start;) {
        const LineCharacter read = m_reader.at(after);
        nameEnd = LogText::isBlank(read.character) ? after : nameEnd;
        after = LogText::isWordCharacter(QChar(read.character)) ? read.end : bracket.start;
    }
    qsizetype nameStart = nameEnd;
    while (nameStart > 0 &&
           LogText::isWordCharacter(QChar(m_reader.before(nameStart, 0).character))) {
        nameStart = m_reader.before(nameStart, 0).start;
    }
    const int kinds = HiddenKeyNames::kindsOf(text(Span{nameStart, nameEnd}));
    if ((kinds & (HiddenKeyNames::kHidden | kEntryMember)) == 0 || nameStart == 0 ||
        m_reader.before(nameStart, 0).character != u'<') {
        return bracket.end;
    }
    const qsizetype end = m_values.elementTextEnd(bracket.end, bracket.depth());
    const Value value{ValueKind::quoted, Span{bracket.end, end}, end, LineCharacter{}};
    return (kinds & kEntryMember) != 0 ? onEntryMember(kinds, value, bracket.start, bracket.end)
                                       : hideValue(value);
}

// A pair whose first element, holding no separator, names a hidden key (`[["token", "…"]]`).
qsizetype LogLineMasker::onPair(const LineCharacter& bracket) {
    const qsizetype nameStart = m_values.blanksFrom(bracket.end, 0);
    if (nameStart == m_text.size() || !LogText::isQuote(m_reader.at(nameStart).character)) {
        return bracket.end;
    }
    const Value name = m_values.quoted(m_reader.at(nameStart), true);
    const qsizetype comma = m_values.blanksFrom(name.end, name.quote.urlLevel);
    if (name.content.end == name.end || comma == m_text.size() ||
        m_reader.at(comma).character != u',' || !namesHiddenKey(name.content) ||
        m_values.nextSeparator(name.content.start) < name.content.end) {
        return bracket.end;
    }
    return hideValue(
        m_values.at(m_reader.at(comma).end, LineCharacter{}, QChar(u','), name.quote.urlLevel));
}

// Whether an entry's name is a hidden name, or ends as one; read once for texts that end alike.
bool LogLineMasker::namesHiddenKey(Span content) {
    if (content.end != m_entryName.end || content.start < m_entryName.floor ||
        content.start > m_entryName.start) {
        const Name name = nameBefore(content.end, content.start, 0, false);
        m_entryName = EntryName{content.start, name.start, content.end, name.kinds};
    }
    const HiddenKeyNames::NameKinds& kinds = m_entryName.kinds;
    return ((content.start == m_entryName.start ? kinds.whole : kinds.ending) &
            HiddenKeyNames::kHidden) != 0;
}

// The scan goes on inside the value: a key in it is read back no further than its start.
qsizetype LogLineMasker::hideValue(const Value& value) {
    if (value.kind == ValueKind::none) {
        return value.end;
    }
    m_hiddenTo = std::max(m_hiddenTo, hideContent(value, false));
    m_floor = value.content.start;
    return value.content.start;
}

// A text or word, a structure's texts and words unless one hidden before holds it; its end. A
// member of a structure hidden already costs nothing more.
qsizetype LogLineMasker::hideContent(const Value& value, bool early) {
    EditRun& run = early ? m_earlyEdits : m_edits;
    if (value.kind == ValueKind::structure) {
        qsizetype& hiddenTo = early ? m_earlyHiddenTo : m_structuresHiddenTo;
        if (value.content.start >= hiddenTo) {
            hiddenTo =
                hideStructure(value.content.start, value.quote, early ? run : m_structureEdits);
        }
        return hiddenTo;
    }
    const bool bare = value.kind == ValueKind::bare;
    if (bare ? !isLiteral(value.content)
             : value.content.size() > 0 && text(value.content) != LogText::kMask) {
        hide(value.content, bare ? value.quote : LineCharacter{}, run);
    }
    return value.end;
}

// An object or array of a hidden key: texts and words hidden, keys and flags kept; where it ends.
qsizetype LogLineMasker::hideStructure(qsizetype start, const LineCharacter& quote, EditRun& run) {
    using Piece = LineValues::Piece;
    const qsizetype end = m_values.structureEnd(start);
    for (qsizetype p = start; p < end;) {
        const Piece piece = m_values.pieceAt(p);
        p = std::min(piece.end, end);
        const Span span{piece.span.start, std::min(piece.span.end, end)};
        // A key's name holds no line break.
        const bool key =
            LogText::isKeySeparatorAt(m_text, p) &&
            (piece.kind != Piece::Kind::text || m_values.lineEnd(span.start) >= span.end);
        if (piece.kind == Piece::Kind::text && !key && span.size() > 0 &&
            text(span) != LogText::kMask) {
            hide(span, LineCharacter{}, run);
        } else if (piece.kind == Piece::Kind::word && !key && !isLiteral(span)) {
            hide(span, quote, run);
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

void LogLineMasker::hide(Span span, const LineCharacter& quote, EditRun& run) {
    run.add(Edit{span, quote.character == 0 ? Span{} : Span{quote.start, quote.end}});
}
