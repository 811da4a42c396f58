#include "foundation/logging/LogLineMasker.h"

#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LineScan.h"
#include "foundation/logging/LogText.h"

#include <algorithm>

namespace {

// A setting as the page sends it: {"key": <name>, "value": <value>}.
constexpr QStringView kSettingKey = u"key";
constexpr QStringView kSettingValue = u"value";
// A list of names and values (cookies, a form's fields, headers): {"name": <name>, "value": …}.
constexpr QStringView kListName = u"name";
// The object store names the argument it refuses, and gives its value, in two elements.
constexpr QStringView kArgumentName = u"ArgumentName";
constexpr QStringView kArgumentValue = u"ArgumentValue";

// What may stand before a key whose name is read as it is written: nothing of a longer name, and no
// escape that could begin it.
bool isPlainNameBoundary(QChar character) {
    return !LogText::isWordCharacter(character) && character != u'\\' && character != u'%';
}

bool isDigit(QChar character) {
    return character >= u'0' && character <= u'9';
}

}  // namespace

LogLineMasker::LogLineMasker(const QString& line)
    : m_line(line),
      m_text(line),
      m_bareEnd(m_text, LineScan::endsBareValueAt),
      m_escapedBareEnd{NextWhere(m_text, LineScan::endsEscapedValueAt<1>),
                       NextWhere(m_text, LineScan::endsEscapedValueAt<2>)},
      m_escapedQuote{NextWhere(m_text, LineScan::closesEscapedTextAt<1>),
                     NextWhere(m_text, LineScan::closesEscapedTextAt<2>)},
      m_lineEnd(m_text, LineScan::endsLineAt),
      m_nonWord(m_text, LineScan::isNotWordCharacterAt) {}

QString LogLineMasker::masked() {
    const char16_t* characters = m_text.utf16();
    const qsizetype size = m_text.size();
    for (qsizetype i = LineScan::nextSeparator(characters, 0, size); i < size;
         i = LineScan::nextSeparator(characters, i, size)) {
        const char16_t character = characters[i];
        if (character == u'>') {
            i = onElementStart(i);
        } else if (character == u'\\') {
            // "\u", after as many backslashes as JSON text inside JSON text gives it.
            qsizetype run = i;
            while (run > 0 && characters[run - 1] == u'\\') {
                --run;
            }
            i = LineScan::isEscapedEquals(m_text, i + 1)
                    ? onSeparator(Separator{Span{run, i + 6}, u'='})
                    : i + 1;
        } else if (character == u'%') {
            // ":" and "=" written with URL escapes: a query inside a query parameter, JSON text
            // inside a form field.
            const LogText::PercentEscape escape = LineScan::escapedSeparatorAt(m_text, i);
            i = escape.level > 0 ? onSeparator(Separator{Span{i, i + escape.size},
                                                         QChar(escape.character), escape.level})
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
    const Span quote = keyEndBefore(separator.span.start);
    const qsizetype end = quote.start;
    const qsizetype member = memberNameStart(end);
    if (member >= 0 && (member == m_floor || isPlainNameBoundary(m_text[member - 1]))) {
        return onSetting(Key{Span{member, end}, quote}, separator);
    }
    if (member < 0 && !HiddenKeyNames::mayEndAt(m_text, end, m_floor)) {
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
    return hideValue(*key, valueAt(*key, separator, HiddenKeyNames::isWholeLine(name)));
}

// A setting as the page sends it, {"key": <name>, "value": <value>}, and an entry of a list of
// names and values, {"name": <name>, "value": <value>}: in either order.
qsizetype LogLineMasker::onSetting(const Key& key, const Separator& separator) {
    const QStringView name = text(key.name);
    if (name == kListName && !mayNameHiddenKey(separator)) {
        return separator.span.end;
    }
    if (name == kSettingKey || name == kListName) {
        const Value value = valueAt(key, separator, false);
        const bool named = value.kind == ValueKind::quoted || value.kind == ValueKind::bare;
        const bool hidden = named && namesHiddenKey(value.content);
        if (!hidden && name == kListName) {
            // A "name" that hides nothing leaves what a setting's "key" beside it decided.
            return separator.span.end;
        }
        // A value seen before its key in the same object is the key's own, and the next value
        // another's; one seen in an object before is that object's. Where the texts between did
        // not close as they opened, the object is not told for sure: both are hidden.
        const bool ownValueSeen =
            m_settingValue && m_settingValue->scope.holds(key.name.start - key.quote.size());
        if (hidden && ownValueSeen) {
            hideEarlyValue(*m_settingValue);
        }
        m_settingValueHidden = hidden && !(ownValueSeen && m_settingValue->scope.textsClosed());
        m_settingValue.reset();
        return separator.span.end;
    }
    if (name == kSettingValue) {
        const Value value = valueAt(key, separator, false);
        if (m_settingValueHidden) {
            m_settingValueHidden = false;
            return hideValue(key, value);
        }
        if (value.kind != ValueKind::none && !isLiteral(value.content)) {
            // Read on from the end of a text, from the start of a structure.
            const Span quote =
                value.kind == ValueKind::quoted ? Span{value.content.end, value.end} : key.quote;
            m_settingValue =
                EarlyValue{value, key.quote, ObjectScope(m_text, value.end, text(quote))};
        }
    }
    return separator.span.end;
}

// Where "key", "value" or "name" starts when the key ends so at `end`; -1 for any other. Told
// apart by their last two letters, since every separator asks.
qsizetype LogLineMasker::memberNameStart(qsizetype end) const {
    if (end - 2 < m_floor) {
        return -1;
    }
    QStringView word;
    switch (m_text[end - 1].unicode()) {
        case u'y':
            word = kSettingKey;
            break;
        case u'e':
            word = m_text[end - 2] == u'u' ? kSettingValue : kListName;
            break;
        default:
            return -1;
    }
    return endsWithWord(end, word) ? end - word.size() : -1;
}

// Whether the text after a list entry's "name" may name a hidden key: false only for plain quoted
// text (the next such quote closes it) in which none can end. Names are common in the page's
// messages ("name": "设备12"), and most are told so at the cost of a search for their quote.
bool LogLineMasker::mayNameHiddenKey(const Separator& separator) const {
    qsizetype start = separator.span.end;
    while (start < m_text.size() && LogText::isBlank(m_text[start])) {
        ++start;
    }
    if (start == m_text.size() || !LogText::isQuote(m_text[start])) {
        return true;
    }
    qsizetype closing = start + 1;
    while (closing < m_text.size() && m_text[closing] != m_text[start]) {
        ++closing;
    }
    if (closing == m_text.size() || m_text[closing - 1] == u'\\' ||
        !LogText::endsQuotedValueAt(m_text, closing + 1)) {
        return true;
    }
    return HiddenKeyNames::mayEndAt(m_text, closing, start + 1);
}

void LogLineMasker::hideEarlyValue(const EarlyValue& early) {
    const Value& value = early.value;
    if (value.kind != ValueKind::structure) {
        hide(value.content, value.kind == ValueKind::bare ? early.quote : Span{});
    } else if (value.content.start >= m_earlyHiddenTo) {
        // One inside a structure hidden so already is hidden with it.
        m_earlyHiddenTo = hideStructure(value.content.start, early.quote);
    }
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

// The closing quote before the separator, with its backslashes or as URL escapes write it
// ("%22", "%2522"), past blanks; empty where the key is bare. Its start is where the key ends.
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
        return quote;
    }
    // Both end in "22".
    if (p - 3 >= m_floor && m_text[p - 1] == u'2' && m_text[p - 2] == u'2') {
        quote.start = p - escapedQuoteBefore(p);
    }
    return quote;
}

// The size of the quote written with URL escapes ("%22", "%2522") that ends at `end`; 0 for none.
qsizetype LogLineMasker::escapedQuoteBefore(qsizetype end) const {
    for (const qsizetype size : {5, 3}) {
        const LogText::PercentEscape escape = end - size >= m_floor
                                                  ? LogText::percentEscapeAt(m_text, end - size)
                                                  : LogText::PercentEscape{};
        if (escape.size == size && escape.character == u'"') {
            return size;
        }
    }
    return 0;
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
            HexDigits::numberAt(m_text, p + 1, 4) >= 0 && !LineScan::isEscapedEquals(m_text, p)) {
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
        if (p < end && p > floor && m_text[p - 1] == u'%') {
            const LogText::PercentEscape escape = LogText::percentEscapeAt(m_text, p - 1);
            if (escape.level == 1 && LogText::isWordCharacter(QChar(escape.character))) {
                --p;
                continue;
            }
            if (escape.level > 0) {
                // Any other escape ends the name, hex digits and all: "%3Ftoken", "%22phone".
                p = std::min(p - 1 + escape.size, end);
            }
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

LogLineMasker::Value LogLineMasker::valueAt(const Key& key, const Separator& separator,
                                            bool wholeLine) {
    const qsizetype size = m_text.size();
    const qsizetype after = separator.span.end;
    qsizetype start = after;
    LogText::PercentEscape escape;
    for (; start < size; start += escape.size) {
        escape = LogText::percentEscapeAt(m_text, start);
        if (LogText::isBlank(m_text[start])) {
            escape.size = 1;
        } else if (escape.character != u' ') {
            break;
        }
    }
    if (start == size) {
        return Value{ValueKind::none, Span{start, start}, after};
    }
    if (m_text[start] == u'{' || m_text[start] == u'[') {
        return Value{ValueKind::structure, Span{start, start}, start};
    }
    if (escape.character == u'"') {
        // JSON text written with URL escapes ("%22", "%2522").
        const qsizetype from = start + escape.size;
        const qsizetype closing = m_escapedQuote[escape.level - 1].from(from);
        return closing < size ? Value{ValueKind::quoted, Span{from, closing}, closing + escape.size}
                              : Value{ValueKind::quoted, Span{from, size}, size};
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
    // After a separator or a key's quotes written with URL escapes, the value ends where a
    // delimiter is so written too ("%26", "%2C"), unless it is an object or array so written:
    // that runs on as before.
    const int level = std::max(
        separator.level,
        key.quote.size() > 0 ? LogText::percentEscapeAt(m_text, key.quote.start).level : 0);
    const bool escapedPair = level > 0 && escape.character != u'{' && escape.character != u'[';
    NextWhere& ends = wholeLine ? m_lineEnd : escapedPair ? m_escapedBareEnd[level - 1] : m_bareEnd;
    const qsizetype end = ends.from(start);
    // Nothing, or the next label of a selector ("userToken:completionHandler:)").
    if (end == start || (separator.character == u':' && m_text[end - 1] == u':' &&
                         m_nonWord.from(start) >= end - 1)) {
        return Value{ValueKind::none, Span{start, start}, after};
    }
    return withDigitGroups(Value{ValueKind::bare, Span{start, end}, end}, ends);
}

// A number written in groups ("138 0000 0032", "+86 138-0000-0032", "138%200000%200032"): the
// groups after its first, past blanks and dashes, are its own; `ends` tells where each ends.
LogLineMasker::Value LogLineMasker::withDigitGroups(Value value, NextWhere& ends) {
    if (!isNumber(value.content)) {
        return value;
    }
    const qsizetype size = m_text.size();
    for (qsizetype p = value.end;; p = value.end) {
        while (p < size) {
            const LogText::ReadCharacter read = LogText::readCharacterAt(m_text, p);
            if (!LogText::isBlank(read.character) && read.character != u'-') {
                break;
            }
            p += read.size;
        }
        if (p == value.end || p == size || !isDigit(m_text[p])) {
            return value;
        }
        const qsizetype end = ends.from(p);
        if (!isNumber(Span{p, end})) {
            return value;
        }
        value.content.end = end;
        value.end = end;
    }
}

// Digits and dashes, at least one digit, after a "+" maybe; most values fail at their first letter.
bool LogLineMasker::isNumber(Span span) const {
    const QStringView word = text(span);
    const QStringView digits = word.startsWith(u'+') ? word.sliced(1) : word;
    return std::ranges::all_of(digits, [](QChar c) { return isDigit(c) || c == u'-'; }) &&
           std::ranges::any_of(digits, isDigit);
}

// The quote that closes a text opened by `quote` after `backslashes` backslashes: the same
// quote after exactly as many (a quote inside the text carries more), followed by what may
// follow a value, or a key's ":" where the text `mayBeKey`. Backslashes at the end of a text
// make it run on to a later quote: more is masked, never less.
std::optional<LogLineMasker::Span> LogLineMasker::closingQuote(qsizetype from, QChar quote,
                                                               qsizetype backslashes,
                                                               bool mayBeKey) {
    if (!m_closingQuotes) {
        // Made for the lines that need it: most hold no quoted value of a hidden key.
        m_closingQuotes.emplace(m_text);
    }
    const qsizetype p = m_closingQuotes->find(from, quote, backslashes, mayBeKey);
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
