#include "foundation/logging/LogLineMasker.h"

#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LogRedaction.h"
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

bool isQuote(QChar character) {
    return character == u'"' || character == u'\'';
}

bool isBlank(QChar character) {
    return character == u' ' || character == u'\t';
}

// After a closing quote: what may follow a value. Anything else means the quote was part of the
// value (texts are printed without escapes in some lines), and the value goes on.
bool endsQuotedValue(QChar character) {
    switch (character.unicode()) {
        case u',':
        case u';':
        case u'}':
        case u']':
        case u')':
        case u'>':
        case u'<':
        case u'&':
        case u'#':
        case u'\\':
        case u'"':
        case u'\'':
        case u'.':
        case u'!':
        case u'?':
        case u'|':
            return true;
        default:
            return character.isSpace();
    }
}

// Where an unquoted value ends; a header's value runs to the end of its line.
bool endsBareValue(QChar character, bool wholeLine) {
    switch (character.unicode()) {
        case u'\n':
        case u'\r':
        case u'"':
        case u'\'':
        case u'\\':
            return true;
        case u',':
        case u';':
        case u'&':
        case u'#':
        case u'<':
        case u'>':
        case u'}':
        case u']':
        case u')':
            return !wholeLine;
        default:
            return !wholeLine && character.isSpace();
    }
}

// The next ":", "=" or ">" at or after `from`, or `size`: eight characters at a time where the
// processor allows.
qsizetype nextSeparator(const char16_t* text, qsizetype from, qsizetype size) {
#if defined(__SSE2__)
    const __m128i colon = _mm_set1_epi16(u':');
    const __m128i equals = _mm_set1_epi16(u'=');
    const __m128i greater = _mm_set1_epi16(u'>');
    for (; from + 8 <= size; from += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i_u*>(text + from));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(chunk, colon), _mm_cmpeq_epi16(chunk, equals)),
            _mm_cmpeq_epi16(chunk, greater));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0) {
            return from + std::countr_zero(mask) / 2;
        }
    }
#endif
    while (from < size && text[from] != u':' && text[from] != u'=' && text[from] != u'>') {
        ++from;
    }
    return from;
}

}  // namespace

LogLineMasker::LogLineMasker(const QString& line) : m_line(line), m_text(line) {}

QString LogLineMasker::masked() {
    const char16_t* characters = m_text.utf16();
    const qsizetype size = m_text.size();
    for (qsizetype i = nextSeparator(characters, 0, size); i < size;
         i = nextSeparator(characters, i, size)) {
        i = characters[i] == u'>' ? onElementStart(i) : onSeparator(i);
    }
    if (m_edits.isEmpty()) {
        return m_line;
    }
    std::sort(m_edits.begin(), m_edits.end(), [](const Edit& a, const Edit& b) {
        return a.span.start != b.span.start ? a.span.start < b.span.start : a.span.end > b.span.end;
    });
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
        out.append(LogRedaction::kMask);
        out.append(text(edit.quote));
        copied = edit.span.end;
    }
    out.append(m_text.sliced(copied));
    return out;
}

qsizetype LogLineMasker::onSeparator(qsizetype separator) {
    // Most keys are no hidden name and no setting's: told from their last letters.
    const qsizetype end = keyEndBefore(separator).start;
    if (!HiddenKeyNames::mayEndAt(m_text, end, m_floor) && !endsWithWord(end, kSettingKey) &&
        !endsWithWord(end, kSettingValue)) {
        return separator + 1;
    }
    const std::optional<Key> key = keyBefore(separator);
    if (!key) {
        return separator + 1;
    }
    const QStringView name = text(key->name);
    if (!LogRedaction::isHiddenKey(name)) {
        // A setting as the page sends it: {"key": <name>, "value": <value>}, in either order.
        if (name == kSettingKey) {
            const Value value = valueAt(separator, false);
            const bool named = value.kind == ValueKind::quoted || value.kind == ValueKind::bare;
            m_settingValueHidden = named && LogRedaction::isHiddenKey(text(value.content));
            if (m_settingValueHidden && m_settingValue) {
                hide(m_settingValue->span, m_settingValue->quote);
            }
            m_settingValue.reset();
        } else if (name == kSettingValue) {
            const Value value = valueAt(separator, false);
            if (m_settingValueHidden) {
                m_settingValueHidden = false;
                return hideValue(*key, value);
            }
            if ((value.kind == ValueKind::quoted || value.kind == ValueKind::bare) &&
                !isLiteral(value.content)) {
                m_settingValue =
                    Edit{value.content, value.kind == ValueKind::bare ? key->quote : Span{}};
            }
        }
        return separator + 1;
    }
    return hideValue(*key, valueAt(separator, LogRedaction::isWholeLineKey(name)));
}

qsizetype LogLineMasker::hideValue(const Key& key, const Value& value) {
    qsizetype end = value.end;
    switch (value.kind) {
        case ValueKind::none:
            return value.end;
        case ValueKind::quoted:
            if (value.content.size() > 0 && text(value.content) != LogRedaction::kMask) {
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

// "<Name>value</Name>": the text up to the next "<" is the value.
qsizetype LogLineMasker::onElementStart(qsizetype bracket) {
    if (!HiddenKeyNames::mayEndAt(m_text, bracket, m_floor)) {
        return bracket + 1;
    }
    qsizetype start = bracket;
    while (start > m_floor && LogText::isWordCharacter(m_text[start - 1])) {
        --start;
    }
    if (start == bracket || start <= m_floor || m_text[start - 1] != u'<' ||
        !LogRedaction::isHiddenKey(text(Span{start, bracket}))) {
        return bracket + 1;
    }
    qsizetype end = bracket + 1;
    while (end < m_text.size() && m_text[end] != u'<') {
        ++end;
    }
    const Span content{bracket + 1, end};
    if (content.size() > 0 && text(content) != LogRedaction::kMask) {
        hide(content, Span{});
    }
    m_floor = end;
    return end;
}

// The closing quote before the separator, with its backslashes, past blanks; empty where the key
// is bare. Its start is where the key ends.
LogLineMasker::Span LogLineMasker::keyEndBefore(qsizetype separator) const {
    qsizetype p = separator;
    while (p > m_floor && isBlank(m_text[p - 1])) {
        --p;
    }
    Span quote{p, p};
    if (p > m_floor && isQuote(m_text[p - 1])) {
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

std::optional<LogLineMasker::Key> LogLineMasker::keyBefore(qsizetype separator) const {
    const Span quote = keyEndBefore(separator);
    qsizetype p = quote.start;
    const qsizetype end = p;
    for (;;) {
        while (p > m_floor && LogText::isWordCharacter(m_text[p - 1])) {
            --p;
        }
        // An escape inside the name: "\u0074oken" (any number of backslashes), "%74oken".
        if (p < end && p > m_floor && m_text[p - 1] == u'\\' && m_text[p] == u'u' &&
            LogText::hexValue(m_text, p + 1, 4) >= 0) {
            --p;
            while (p > m_floor && m_text[p - 1] == u'\\') {
                --p;
            }
            continue;
        }
        // A letter escaped for no reason: "to\\ken" reads "token".
        if (p < end && p > m_floor && m_text[p - 1] == u'\\' &&
            LogText::isPlainEscapedLetter(m_text[p])) {
            --p;
            while (p > m_floor && m_text[p - 1] == u'\\') {
                --p;
            }
            continue;
        }
        if (p < end && p > m_floor && m_text[p - 1] == u'%' &&
            LogText::hexValue(m_text, p, 2) >= 0) {
            --p;
            continue;
        }
        break;
    }
    if (p < end && p > m_floor && m_text[p - 1] == u'\\' &&
        LogText::isControlEscapeLetter(m_text[p])) {
        ++p;
    }
    if (p == end) {
        return std::nullopt;
    }
    return Key{Span{p, end}, quote};
}

LogLineMasker::Value LogLineMasker::valueAt(qsizetype separator, bool wholeLine) const {
    const qsizetype size = m_text.size();
    qsizetype start = separator + 1;
    while (start < size && isBlank(m_text[start])) {
        ++start;
    }
    if (start == size) {
        return Value{ValueKind::none, Span{start, start}, separator + 1};
    }
    if (m_text[start] == u'{' || m_text[start] == u'[') {
        return Value{ValueKind::structure, Span{start, start}, start};
    }
    qsizetype opening = start;
    while (opening < size && m_text[opening] == u'\\') {
        ++opening;
    }
    if (opening < size && isQuote(m_text[opening])) {
        const qsizetype from = opening + 1;
        const std::optional<Span> closing =
            closingQuote(from, m_text[opening], opening - start, false);
        return closing ? Value{ValueKind::quoted, Span{from, closing->start}, closing->end}
                       : Value{ValueKind::quoted, Span{from, size}, size};
    }
    qsizetype end = start;
    while (end < size && !endsBareValue(m_text[end], wholeLine)) {
        ++end;
    }
    // Nothing, or the next label of a selector ("userToken:completionHandler:)").
    if (end == start ||
        (m_text[separator] == u':' && m_text[end - 1] == u':' &&
         std::all_of(m_text.begin() + start, m_text.begin() + end - 1, LogText::isWordCharacter))) {
        return Value{ValueKind::none, Span{start, start}, separator + 1};
    }
    return Value{ValueKind::bare, Span{start, end}, end};
}

// The quote that closes a text opened by `quote` after `backslashes` backslashes: the same
// quote after exactly as many (a quote inside the text carries more), followed by what may
// follow a value, or a key's ":" where the text `mayBeKey`. Backslashes at the end of a text
// make it run on to a later quote: more is masked, never less.
std::optional<LogLineMasker::Span> LogLineMasker::closingQuote(qsizetype from, QChar quote,
                                                               qsizetype backslashes,
                                                               bool mayBeKey) const {
    const qsizetype size = m_text.size();
    for (qsizetype p = m_text.indexOf(quote, from); p >= 0; p = m_text.indexOf(quote, p + 1)) {
        qsizetype run = 0;
        while (p - run > from && m_text[p - run - 1] == u'\\') {
            ++run;
        }
        if (run == backslashes &&
            (p + 1 == size || endsQuotedValue(m_text[p + 1]) || (mayBeKey && isKeyAt(p + 1)))) {
            return Span{p - run, p + 1};
        }
    }
    return std::nullopt;
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
        } else if (character == u'\\' || isQuote(character)) {
            qsizetype opening = p;
            while (opening < size && m_text[opening] == u'\\') {
                ++opening;
            }
            if (opening == size || !isQuote(m_text[opening])) {
                p = opening;
                continue;
            }
            const qsizetype from = opening + 1;
            const std::optional<Span> closing =
                closingQuote(from, m_text[opening], opening - p, true);
            const Span content{from, closing ? closing->start : size};
            p = closing ? closing->end : size;
            if (!isKeyAt(p) && content.size() > 0 && text(content) != LogRedaction::kMask) {
                hide(content, Span{});
            }
        } else if (LogText::isWordCharacter(character) || character == u'+') {
            qsizetype end = p;
            while (end < size && (LogText::isWordCharacter(m_text[end]) || m_text[end] == u'+')) {
                ++end;
            }
            if (!isKeyAt(end) && !isLiteral(Span{p, end})) {
                hide(Span{p, end}, quote);
            }
            p = end;
        } else {
            ++p;
        }
    }
    return size;
}

bool LogLineMasker::isKeyAt(qsizetype position) const {
    while (position < m_text.size() && isBlank(m_text[position])) {
        ++position;
    }
    return position < m_text.size() && (m_text[position] == u':' || m_text[position] == u'=');
}

// Words that say nothing secret: flags, nulls, and what is masked already.
bool LogLineMasker::isLiteral(Span span) const {
    const QStringView word = text(span);
    return word == u"true" || word == u"false" || word == u"null" || word == u"nil" ||
           word == u"undefined" || word == LogRedaction::kMask;
}

void LogLineMasker::hide(Span span, Span quote) {
    m_edits.append(Edit{span, quote});
}
