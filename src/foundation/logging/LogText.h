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

// A character written with URL escapes, at a "%": once ("%3D", level 1) or twice ("%253D", level
// 2, the "%" itself escaped again). Level 0 where no escape starts.
struct PercentEscape {
    int level = 0;
    qsizetype size = 0;
    char16_t character = 0;
};

inline PercentEscape percentEscapeAt(QStringView text, qsizetype position) {
    if (position >= text.size() || text[position] != u'%') {
        return {};
    }
    const int code = HexDigits::numberAt(text, position + 1, 2);
    if (code < 0) {
        return {};
    }
    if (code == u'%') {
        if (const int inner = HexDigits::numberAt(text, position + 3, 2); inner >= 0) {
            return PercentEscape{2, 5, static_cast<char16_t>(inner)};
        }
    }
    return PercentEscape{1, 3, static_cast<char16_t>(code)};
}

// The character at `position` as URL escapes wrote it, once or twice, or as it stands; `size` is
// what it takes of the text.
struct ReadCharacter {
    QChar character;
    qsizetype size = 1;
};

inline ReadCharacter readCharacterAt(QStringView text, qsizetype position) {
    const PercentEscape escape = percentEscapeAt(text, position);
    return escape.level > 0 ? ReadCharacter{QChar(escape.character), escape.size}
                            : ReadCharacter{text[position], 1};
}

// Whether what stands at `position` may follow a closing quote: the end of the text, or a
// character that may follow a value, also written with URL escapes ("%2C", "%26", "%7D").
inline bool endsQuotedValueAt(QStringView text, qsizetype position) {
    if (position == text.size()) {
        return true;
    }
    const PercentEscape escape = percentEscapeAt(text, position);
    return endsQuotedValue(text[position]) ||
           (escape.level > 0 && endsQuotedValue(QChar(escape.character)));
}

// Whether a key's ":" or "=" follows at `position`, past blanks.
inline bool isKeySeparatorAt(QStringView text, qsizetype position) {
    while (position < text.size() && isBlank(text[position])) {
        ++position;
    }
    return position < text.size() && (text[position] == u':' || text[position] == u'=');
}

}  // namespace LogText
