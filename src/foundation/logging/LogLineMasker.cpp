#include "foundation/logging/LogLineMasker.h"

#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LogText.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A setting as the page sends it: {"key": <name>, "value": <value>}.
constexpr QStringView kSettingKey = u"key";
constexpr QStringView kSettingValue = u"value";
// The object store names the argument it refuses, and gives its value, in two elements.
constexpr QStringView kArgumentName = u"ArgumentName";
constexpr QStringView kArgumentValue = u"ArgumentValue";

// Where an unquoted value ends; a header's value runs to the end of its line.
bool endsBareValue(QChar character) {
    switch (character.unicode()) {
        case u'\n':
        case u'\r':
        case u'"':
        case u'\'':
        case u'\\':
        case u',':
        case u';':
        case u'&':
        case u'#':
        case u'<':
        case u'>':
        case u'}':
        case u']':
        case u')':
            return true;
        default:
            return character.isSpace();
    }
}

bool endsLine(QChar character) {
    switch (character.unicode()) {
        case u'\n':
        case u'\r':
        case u'"':
        case u'\'':
        case u'\\':
            return true;
        default:
            return false;
    }
}

bool isNotWordCharacter(QChar character) {
    return !LogText::isWordCharacter(character);
}

// The next ":", "=", ">" or "\u" at or after `from`, or `size`: eight characters at a time
// where the processor allows.
qsizetype nextSeparator(const char16_t* text, qsizetype from, qsizetype size) {
#if defined(__SSE2__)
    const __m128i colon = _mm_set1_epi16(u':');
    const __m128i equals = _mm_set1_epi16(u'=');
    const __m128i greater = _mm_set1_epi16(u'>');
    const __m128i backslash = _mm_set1_epi16(u'\\');
    const __m128i letterU = _mm_set1_epi16(u'u');
    for (; from + 9 <= size; from += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from + 1));
        const __m128i escape =
            _mm_and_si128(_mm_cmpeq_epi16(chunk, backslash), _mm_cmpeq_epi16(next, letterU));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(chunk, colon), _mm_cmpeq_epi16(chunk, equals)),
            _mm_or_si128(_mm_cmpeq_epi16(chunk, greater), escape));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0) {
            return from + std::countr_zero(mask) / 2;
        }
    }
#endif
    while (from < size && text[from] != u':' && text[from] != u'=' && text[from] != u'>' &&
           !(text[from] == u'\\' && from + 1 < size && text[from + 1] == u'u')) {
        ++from;
    }
    return from;
}

// "u003d" (the "=" of a JSON escape) at `position`.
bool isEscapedEquals(QStringView text, qsizetype position) {
    return position + 5 <= text.size() && text.sliced(position, 4) == u"u003" &&
           (text[position + 4] == u'd' || text[position + 4] == u'D');
}

}  // namespace

qsizetype LogLineMasker::NextWhere::from(qsizetype start) {
    if (start < m_start || start > m_found) {
        m_found = start;
        while (m_found < m_text.size() && !m_test(m_text[m_found])) {
            ++m_found;
        }
    }
    m_start = start;
    return m_found;
}

LogLineMasker::LogLineMasker(const QString& line)
    : m_line(line),
      m_text(line),
      m_closingQuotes(m_text),
      m_bareEnd(m_text, endsBareValue),
      m_lineEnd(m_text, endsLine),
      m_nonWord(m_text, isNotWordCharacter) {}

QString LogLineMasker::masked() {
    const char16_t* characters = m_text.utf16();
    const qsizetype size = m_text.size();
    for (qsizetype i = nextSeparator(characters, 0, size); i < size;
         i = nextSeparator(characters, i, size)) {
        const char16_t character = characters[i];
        if (character == u'>') {
            i = onElementStart(i);
        } else if (character == u'\\') {
            // "\u", after as many backslashes as JSON text inside JSON text gives it.
            qsizetype run = i;
            while (run > 0 && characters[run - 1] == u'\\') {
                --run;
            }
            i = isEscapedEquals(m_text, i + 1) ? onSeparator(Separator{Span{run, i + 6}, u'='})
                                               : i + 1;
        } else {
            // A hash's "=>" is one separator.
            const bool arrow = character == u'=' && i + 1 < size && characters[i + 1] == u'>';
            i = onSeparator(Separator{Span{i, i + (arrow ? 2 : 1)}, character});
        }
    }
    if (m_edits.isEmpty()) {
        return m_line;
    }
    QString out;
    out.reserve(size + m_edits.size() * 8);
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

qsizetype LogLineMasker::onSeparator(const Separator& separator) {
    // Most keys are no hidden name and no setting's: told from their last letters.
    const qsizetype end = keyEndBefore(separator.span.start).start;
    if (!HiddenKeyNames::mayEndAt(m_text, end, m_floor) && !endsWithWord(end, kSettingKey) &&
        !endsWithWord(end, kSettingValue)) {
        return separator.span.end;
    }
    const std::optional<Key> key = keyBefore(separator.span.start);
    if (!key) {
        return separator.span.end;
    }
    const QStringView name = text(key->name);
    if (!HiddenKeyNames::isHidden(name)) {
        return onSetting(*key, separator);
    }
    return hideValue(*key, valueAt(separator, HiddenKeyNames::isWholeLine(name)));
}

// A setting as the page sends it: {"key": <name>, "value": <value>}, in either order.
qsizetype LogLineMasker::onSetting(const Key& key, const Separator& separator) {
    const QStringView name = text(key.name);
    if (name == kSettingKey) {
        const Value value = valueAt(separator, false);
        const bool named = value.kind == ValueKind::quoted || value.kind == ValueKind::bare;
        m_settingValueHidden = named && namesHiddenKey(value.content);
        if (m_settingValueHidden && m_settingValue) {
            hide(m_settingValue->span, m_settingValue->quote);
        }
        m_settingValue.reset();
        return separator.span.end;
    }
    if (name == kSettingValue) {
        const Value value = valueAt(separator, false);
        if (m_settingValueHidden) {
            m_settingValueHidden = false;
            return hideValue(key, value);
        }
        if ((value.kind == ValueKind::quoted || value.kind == ValueKind::bare) &&
            !isLiteral(value.content)) {
            m_settingValue =
                Edit{value.content, value.kind == ValueKind::bare ? key.quote : Span{}};
        }
    }
    return separator.span.end;
}

qsizetype LogLineMasker::hideValue(const Key& key, const Value& value) {
    qsizetype end = value.end;
    switch (value.kind) {
        case ValueKind::none:
            return value.end;
        case ValueKind::quoted:
            if (value.content.size() > 0 && text(value.content) != LogText::kMask) {
                hide(value.content, Span{});
            }
            break;
        case ValueKind::bare:
            if (!isLiteral(value.content)) {
                hide(value.content, key.quote);
            }
            break;
        case ValueKind::structure:
            end = hideStructure(value.content.start, key.quote);
            break;
    }
    m_floor = end;
    return end;
}

// "<Name>value</Name>", also with attributes: the text up to the next "<" is the value.
qsizetype LogLineMasker::onElementStart(qsizetype bracket) {
    const bool named = bracket > m_floor && LogText::isWordCharacter(m_text[bracket - 1]);
    if (named && !HiddenKeyNames::mayEndAt(m_text, bracket, m_floor) &&
        !endsWithWord(bracket, kArgumentName) && !endsWithWord(bracket, kArgumentValue)) {
        return bracket + 1;
    }
    const Span name = elementNameBefore(bracket);
    if (name.size() == 0) {
        return bracket + 1;
    }
    qsizetype end = m_text.indexOf(u'<', bracket + 1);
    if (end < 0) {
        end = m_text.size();
    }
    const Span content{bracket + 1, end};
    if (text(name) == kArgumentName) {
        m_argumentValueHidden = HiddenKeyNames::isHidden(text(content));
        return bracket + 1;
    }
    const bool argumentValue = text(name) == kArgumentValue;
    if (!(argumentValue && m_argumentValueHidden) && !HiddenKeyNames::isHidden(text(name))) {
        return bracket + 1;
    }
    m_argumentValueHidden = m_argumentValueHidden && !argumentValue;
    if (content.size() > 0 && text(content) != LogText::kMask) {
        hide(content, Span{});
    }
    m_floor = end;
    return end;
}

// The name of the element whose opening tag ends at `bracket`, right after its "<"; empty for a
// closing tag or no tag.
LogLineMasker::Span LogLineMasker::elementNameBefore(qsizetype bracket) const {
    qsizetype start = bracket;
    while (start > m_floor && LogText::isWordCharacter(m_text[start - 1])) {
        --start;
    }
    if (start == bracket) {
        // Attributes: back to the tag's "<", no further than the previous tag.
        while (start > m_floor && m_text[start - 1] != u'<' && m_text[start - 1] != u'>') {
            --start;
        }
        qsizetype end = start;
        while (end < bracket && LogText::isWordCharacter(m_text[end])) {
            ++end;
        }
        if (start <= m_floor || m_text[start - 1] != u'<' || end == start ||
            !LogText::isBlank(m_text[end])) {
            return Span{};
        }
        return Span{start, end};
    }
    return start > m_floor && m_text[start - 1] == u'<' ? Span{start, bracket} : Span{};
}

// The closing quote before the separator, with its backslashes, past blanks; empty where the key
// is bare. Its start is where the key ends.
LogLineMasker::Span LogLineMasker::keyEndBefore(qsizetype separator) const {
    qsizetype p = separator;
    while (p > m_floor && LogText::isBlank(m_text[p - 1])) {
        --p;
    }
    Span quote{p, p};
    if (p > m_floor && LogText::isQuote(m_text[p - 1])) {
        --p;
        while (p > m_floor && m_text[p - 1] == u'\\') {
            --p;
        }
        quote.start = p;
    }
    return quote;
}

bool LogLineMasker::endsWithWord(qsizetype end, QStringView word) const {
    if (end - word.size() < m_floor) {
        return false;
    }
    for (qsizetype i = 1; i <= word.size(); ++i) {
        if (m_text[end - i] != word[word.size() - i]) {
            return false;
        }
    }
    return true;
}

// Where the name that ends at `end` starts, read back no further than `floor`: its letters, digits
// and escapes.
qsizetype LogLineMasker::nameStart(qsizetype end, qsizetype floor) const {
    qsizetype p = end;
    for (;;) {
        while (p > floor && LogText::isWordCharacter(m_text[p - 1])) {
            --p;
        }
        // An escape inside the name: "\u0074oken" (any number of backslashes), "%74oken"; not
        // the "\u003d" of a separator before it.
        if (p < end && p > floor && m_text[p - 1] == u'\\' && m_text[p] == u'u' &&
            HexDigits::numberAt(m_text, p + 1, 4) >= 0 && !isEscapedEquals(m_text, p)) {
            --p;
            while (p > floor && m_text[p - 1] == u'\\') {
                --p;
            }
            continue;
        }
        // A letter escaped for no reason: "to\\ken" reads "token".
        if (p < end && p > floor && m_text[p - 1] == u'\\' &&
            LogText::isPlainEscapedLetter(m_text[p])) {
            --p;
            while (p > floor && m_text[p - 1] == u'\\') {
                --p;
            }
            continue;
        }
        if (p < end && p > floor && m_text[p - 1] == u'%' &&
            HexDigits::numberAt(m_text, p, 2) >= 0) {
            --p;
            continue;
        }
        break;
    }
    if (p < end && p > floor && m_text[p - 1] == u'\\' &&
        LogText::isControlEscapeLetter(m_text[p])) {
        ++p;
    }
    return p;
}

std::optional<LogLineMasker::Key> LogLineMasker::keyBefore(qsizetype separator) const {
    const Span quote = keyEndBefore(separator);
    const qsizetype start = nameStart(quote.start, m_floor);
    if (start == quote.start) {
        return std::nullopt;
    }
    return Key{Span{start, quote.start}, quote};
}

// Whether a setting's key names a hidden key: the whole text a hidden name, or its end a hidden
// name's ending. The name is read back from the text's end as far as letters, digits and escapes
// go; what stops that read stops the name, so the text is read no further. Settings whose keys
// end at the same place (one inside the other's unclosed text) read it once.
bool LogLineMasker::namesHiddenKey(Span content) {
    if (content.end != m_settingName.end || content.start < m_settingName.floor ||
        content.start > m_settingName.start) {
        qsizetype start = content.end;
        while (start > content.start && (LogText::isWordCharacter(m_text[start - 1]) ||
                                         m_text[start - 1] == u'\\' || m_text[start - 1] == u'%')) {
            --start;
        }
        const QStringView name = text(Span{start, content.end});
        m_settingName =
            SettingName{content.start, start, content.end, HiddenKeyNames::isHidden(name),
                        HiddenKeyNames::isHidden(name, false)};
    }
    return content.start == m_settingName.start ? m_settingName.hidden : m_settingName.endingHidden;
}

LogLineMasker::Value LogLineMasker::valueAt(const Separator& separator, bool wholeLine) {
    const qsizetype size = m_text.size();
    const qsizetype after = separator.span.end;
    qsizetype start = after;
    while (start < size && LogText::isBlank(m_text[start])) {
        ++start;
    }
    if (start == size) {
        return Value{ValueKind::none, Span{start, start}, after};
    }
    if (m_text[start] == u'{' || m_text[start] == u'[') {
        return Value{ValueKind::structure, Span{start, start}, start};
    }
    qsizetype opening = start;
    while (opening < size && m_text[opening] == u'\\') {
        ++opening;
    }
    if (opening < size && LogText::isQuote(m_text[opening])) {
        const qsizetype from = opening + 1;
        const std::optional<Span> closing =
            closingQuote(from, m_text[opening], opening - start, false);
        return closing ? Value{ValueKind::quoted, Span{from, closing->start}, closing->end}
                       : Value{ValueKind::quoted, Span{from, size}, size};
    }
    const qsizetype end = (wholeLine ? m_lineEnd : m_bareEnd).from(start);
    // Nothing, or the next label of a selector ("userToken:completionHandler:)").
    if (end == start || (separator.character == u':' && m_text[end - 1] == u':' &&
                         m_nonWord.from(start) >= end - 1)) {
        return Value{ValueKind::none, Span{start, start}, after};
    }
    return Value{ValueKind::bare, Span{start, end}, end};
}

// The quote that closes a text opened by `quote` after `backslashes` backslashes: the same
// quote after exactly as many (a quote inside the text carries more), followed by what may
// follow a value, or a key's ":" where the text `mayBeKey`. Backslashes at the end of a text
// make it run on to a later quote: more is masked, never less.
std::optional<LogLineMasker::Span> LogLineMasker::closingQuote(qsizetype from, QChar quote,
                                                               qsizetype backslashes,
                                                               bool mayBeKey) {
    const qsizetype p = m_closingQuotes.find(from, quote, backslashes, mayBeKey);
    if (p < 0) {
        return std::nullopt;
    }
    return Span{p - backslashes, p + 1};
}

// An object or array held by a hidden key: every string and number in it is hidden, its keys,
// flags and nulls stay. Unclosed, it runs to the end of the line.
qsizetype LogLineMasker::hideStructure(qsizetype start, Span quote) {
    const qsizetype size = m_text.size();
    int depth = 0;
    qsizetype p = start;
    while (p < size) {
        const QChar character = m_text[p];
        if (character == u'{' || character == u'[') {
            ++depth;
            ++p;
        } else if (character == u'}' || character == u']') {
            ++p;
            if (--depth <= 0) {
                return p;
            }
        } else if (character == u'\\' || LogText::isQuote(character)) {
            qsizetype opening = p;
            while (opening < size && m_text[opening] == u'\\') {
                ++opening;
            }
            if (opening == size || !LogText::isQuote(m_text[opening])) {
                p = opening;
                continue;
            }
            const qsizetype from = opening + 1;
            const std::optional<Span> closing =
                closingQuote(from, m_text[opening], opening - p, true);
            const Span content{from, closing ? closing->start : size};
            p = closing ? closing->end : size;
            if (!LogText::isKeySeparatorAt(m_text, p) && content.size() > 0 &&
                text(content) != LogText::kMask) {
                hide(content, Span{});
            }
        } else if (LogText::isWordCharacter(character) || character == u'+') {
            qsizetype end = p;
            while (end < size && (LogText::isWordCharacter(m_text[end]) || m_text[end] == u'+')) {
                ++end;
            }
            if (!LogText::isKeySeparatorAt(m_text, end) && !isLiteral(Span{p, end})) {
                hide(Span{p, end}, quote);
            }
            p = end;
        } else {
            ++p;
        }
    }
    return size;
}

// Words that say nothing secret: flags, nulls, and what is masked already.
bool LogLineMasker::isLiteral(Span span) const {
    const QStringView word = text(span);
    return word == u"true" || word == u"false" || word == u"null" || word == u"nil" ||
           word == u"undefined" || word == LogText::kMask;
}

// Edits come in the order of the line, but for a setting's value, hidden when its key turns out
// hidden further on: it goes before the edits inside and after it (the copy joins overlapping
// edits, the longest first where they start together).
void LogLineMasker::hide(Span span, Span quote) {
    qsizetype at = m_edits.size();
    while (at > 0 &&
           (m_edits[at - 1].span.start > span.start ||
            (m_edits[at - 1].span.start == span.start && m_edits[at - 1].span.end < span.end))) {
        --at;
    }
    if (at == m_edits.size()) {
        // Appended, so that the array grows by doubling.
        m_edits.append(Edit{span, quote});
    } else {
        m_edits.insert(at, Edit{span, quote});
    }
}
