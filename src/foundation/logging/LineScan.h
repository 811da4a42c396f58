#pragma once

#include "foundation/logging/LogText.h"

#include <QChar>
#include <QStringView>

// The searches of LogLineMasker's scan: where it stops next, and the tests of its `NextWhere`
// cursors (where a value ends), each as a test at a position of the line.
namespace LineScan {

// Where a header's value ends: its line, or a quote or backslash of the text around it.
inline bool endsLine(QChar character) {
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

// Where an unquoted value ends; a header's value runs to the end of its line.
inline bool endsBareValue(QChar character) {
    if (endsLine(character)) {
        return true;
    }
    switch (character.unicode()) {
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

inline bool endsBareValueAt(QStringView text, qsizetype position) {
    return endsBareValue(text[position]);
}

// Where an unquoted value after a separator written with URL escapes `level` times ends: also at
// a character that ends it written so or fewer times ("%26" and "%2C" once, "%2526" twice).
template <int level>
bool endsEscapedValueAt(QStringView text, qsizetype position) {
    const LogText::PercentEscape escape = LogText::percentEscapeAt(text, position);
    return endsBareValue(text[position]) ||
           (escape.level > 0 && escape.level <= level && endsBareValue(QChar(escape.character)));
}

// The quote ("%22", "%2522") that closes a text opened by one written with URL escapes `level`
// times: the next one so written that no backslash so written ("%5C%22") escapes.
template <int level>
bool closesEscapedTextAt(QStringView text, qsizetype position) {
    const LogText::PercentEscape escape = LogText::percentEscapeAt(text, position);
    if (escape.level != level || escape.character != u'"') {
        return false;
    }
    const LogText::PercentEscape before =
        position >= escape.size ? LogText::percentEscapeAt(text, position - escape.size)
                                : LogText::PercentEscape{};
    return before.level != level || before.character != u'\\';
}

inline bool endsLineAt(QStringView text, qsizetype position) {
    return endsLine(text[position]);
}

inline bool isNotWordCharacterAt(QStringView text, qsizetype position) {
    return !LogText::isWordCharacter(text[position]);
}

// The next ":", "=", ">", "\u" or "%" at or after `from`, or `size`: eight characters at a time
// where the processor allows.
qsizetype nextSeparator(const char16_t* text, qsizetype from, qsizetype size);

// ":" or "=" written with URL escapes once or twice at `position` ("%3A", "%3d", "%253D"); level
// 0 for anything else.
inline LogText::PercentEscape escapedSeparatorAt(QStringView text, qsizetype position) {
    qsizetype p = position + 1;
    int level = 1;
    if (p + 1 < text.size() && text[p] == u'2' && text[p + 1] == u'5') {
        p += 2;
        level = 2;
    }
    if (p + 1 >= text.size() || text[p] != u'3') {
        return {};
    }
    switch (text[p + 1].unicode()) {
        case u'A':
        case u'a':
            return LogText::PercentEscape{level, p + 2 - position, u':'};
        case u'D':
        case u'd':
            return LogText::PercentEscape{level, p + 2 - position, u'='};
        default:
            return {};
    }
}

// "u003d" (the "=" of a JSON escape) at `position`.
bool isEscapedEquals(QStringView text, qsizetype position);

}  // namespace LineScan
