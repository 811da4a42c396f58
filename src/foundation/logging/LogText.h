#pragma once

#include "foundation/logging/LineReader.h"

#include <QChar>
#include <QStringView>

#include <array>
#include <initializer_list>
#include <string_view>

// Character classes of the mask's rules, and what a hidden value reads.
namespace LogText {

inline constexpr QStringView kMask = u"***";

// A set of ASCII characters, asked in one step.
using AsciiSet = std::array<bool, 128>;
constexpr AsciiSet asciiSet(std::u16string_view characters,
                            std::initializer_list<char16_t> more = {}) {
    AsciiSet set{};
    for (const char16_t character : characters) {
        set[character] = true;
    }
    for (const char16_t character : more) {
        set[character] = true;
    }
    return set;
}
inline bool holds(const AsciiSet& set, char16_t character) {
    return character < 128 && set[character];
}

inline bool isQuote(char16_t character) {
    return character == u'"' || character == u'\'';
}

inline bool isBlank(char16_t character) {
    return character == u' ' || character == u'\t';
}

inline bool isLineBreak(QChar character) {
    return character == u'\n' || character == u'\r';
}

inline bool isDigit(QChar character) {
    return character >= u'0' && character <= u'9';
}

// A character of a name or an unquoted value: letters and digits of any script, "_", "-", ".".
inline bool isWordCharacter(QChar character) {
    static constexpr AsciiSet kAscii =
        asciiSet(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.");
    return character.unicode() < 0x80 ? holds(kAscii, character.unicode())
                                      : character.isLetterOrNumber();
}

// What may follow a closing quote; after anything else the quote is part of the text.
inline bool endsQuotedValue(QChar character) {
    static constexpr AsciiSet kFollowers = asciiSet(u",;}])><&#\"'.!?|", {LineReader::kBackslash});
    return holds(kFollowers, character.unicode()) || character.isSpace();
}

// A backslash too: the one before a quote of the JSON text around the value.
inline bool endsBareValue(QChar character) {
    static constexpr AsciiSet kDelimiters = asciiSet(u",;&#<>}])\"'", {LineReader::kBackslash});
    return holds(kDelimiters, character.unicode()) || character.isSpace();
}

// Whether a key's ":" or "=" follows at `position`, past blanks.
inline bool isKeySeparatorAt(QStringView text, qsizetype position) {
    while (position < text.size() && isBlank(text[position].unicode())) {
        ++position;
    }
    return position < text.size() && (text[position] == u':' || text[position] == u'=');
}

}  // namespace LogText
