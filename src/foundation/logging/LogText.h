#pragma once

#include <QChar>
#include <QStringView>

// Character classes shared by the key-name rule and the line scan of LogRedaction.
namespace LogText {

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

inline int hexDigit(QChar character) {
    const char16_t code = character.unicode();
    if (code >= u'0' && code <= u'9') {
        return code - u'0';
    }
    if (code >= u'a' && code <= u'f') {
        return code - u'a' + 10;
    }
    if (code >= u'A' && code <= u'F') {
        return code - u'A' + 10;
    }
    return -1;
}

// The number written by `digits` hex digits at `from`, or -1 when they are not all there.
inline int hexValue(QStringView text, qsizetype from, qsizetype digits) {
    if (from < 0 || from + digits > text.size()) {
        return -1;
    }
    int value = 0;
    for (qsizetype i = from; i < from + digits; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace LogText
