#pragma once

#include <QChar>
#include <QStringView>

// Hexadecimal digits as the client reads them in text: colours ("#1E90FF") and the escapes of key
// names in log lines ("\u0074", "%74").
namespace HexDigits {

// 0…15 for "0"–"9", "a"–"f" and "A"–"F"; -1 for anything else.
inline int digitValue(QChar character) {
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
inline int numberAt(QStringView text, qsizetype from, qsizetype digits) {
    if (from < 0 || from + digits > text.size()) {
        return -1;
    }
    int value = 0;
    for (qsizetype i = from; i < from + digits; ++i) {
        const int digit = digitValue(text[i]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace HexDigits
