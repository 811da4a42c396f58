#pragma once

#include "foundation/text/HexDigits.h"

#include <QChar>
#include <QStringView>

// Character classes shared by the key-name rule and the line scan of LogRedaction.
namespace LogText {

// What a hidden value reads.
inline constexpr QStringView kMask = u"***";

inline bool isQuote(QChar character) {
    return character == u'"' || character == u'\'';
}

inline bool isBlank(QChar character) {
    return character == u' ' || character == u'\t';
}

// A character of a key name or of an unquoted value: letters and digits of any script, "_",
// "-" and ".".
inline bool isWordCharacter(QChar character) {
    const char16_t code = character.unicode();
    if (code < 0x80) {
        return (code >= u'a' && code <= u'z') || (code >= u'A' && code <= u'Z') ||
               (code >= u'0' && code <= u'9') || code == u'_' || code == u'-' || code == u'.';
    }
    return character.isLetterOrNumber();
}

// The letter of "\n", "\t" and their kin, which belongs to the escape and not to a key after it.
inline bool isControlEscapeLetter(QChar character) {
    const char16_t code = character.unicode();
    return code == u'n' || code == u'r' || code == u't' || code == u'b' || code == u'f';
}

// A letter after "\\" that JSON gives no meaning ("\\k"): Qt's reader, and others as lenient, take
// it as the letter alone, so it belongs to a key's name.
inline bool isPlainEscapedLetter(QChar character) {
    const char16_t code = character.unicode();
    return ((code >= u'a' && code <= u'z') || (code >= u'A' && code <= u'Z')) && code != u'u' &&
           !isControlEscapeLetter(character);
}

// After a closing quote: what may follow a value. Anything else means the quote was part of the
// value (texts are printed without escapes in some lines), and the value goes on.
inline bool endsQuotedValue(QChar character) {
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

// Whether a key's ":" or "=" follows at `position`, past blanks.
inline bool isKeySeparatorAt(QStringView text, qsizetype position) {
    while (position < text.size() && isBlank(text[position])) {
        ++position;
    }
    return position < text.size() && (text[position] == u':' || text[position] == u'=');
}

}  // namespace LogText
