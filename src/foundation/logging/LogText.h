#pragma once

#include "foundation/logging/LineReader.h"

#include <QChar>
#include <QStringView>

#include <array>
#include <cstdint>
#include <string_view>

// Character classes of the mask's rules, and the tests of its `NextWhere` cursors.
namespace LogText {

// What a hidden value reads.
inline constexpr QStringView kMask = u"***";

// A set of ASCII characters, asked in one step.
class AsciiSet {
public:
    constexpr explicit AsciiSet(std::u16string_view characters) {
        for (const char16_t character : characters) {
            m_bits[character / 64] |= std::uint64_t{1} << (character % 64);
        }
    }
    constexpr bool holds(char16_t character) const {
        return character < 128 && ((m_bits[character / 64] >> (character % 64)) & 1) != 0;
    }

private:
    std::array<std::uint64_t, 2> m_bits{};
};

inline bool isQuote(char16_t character) {
    return character == u'"' || character == u'\'';
}

inline bool isBlank(char16_t character) {
    return character == u' ' || character == u'\t';
}

inline bool isLineBreak(QChar character) {
    return character == u'\n' || character == u'\r';
}

// A character of a key name or of an unquoted value: letters and digits of any script, "_", "-"
// and ".".
inline bool isWordCharacter(QChar character) {
    static constexpr AsciiSet kAscii(
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.");
    return character.unicode() < 0x80 ? kAscii.holds(character.unicode())
                                      : character.isLetterOrNumber();
}

// After a closing quote: what may follow a value. Anything else means the quote was part of the
// value (texts are printed without escapes in some lines), and the value goes on.
inline bool endsQuotedValue(QChar character) {
    static constexpr AsciiSet kFollowers(u",;}])><&#\\\"'.!?|");
    return kFollowers.holds(character.unicode()) || character.isSpace();
}

// Where a header's value ends: its line, or a quote or backslash of the text around it.
inline bool endsLine(QChar character) {
    return isLineBreak(character) || isQuote(character.unicode()) || character == u'\\';
}

// Where an unquoted value ends.
inline bool endsBareValue(QChar character) {
    static constexpr AsciiSet kDelimiters(u",;&#<>}])\"'\\");
    return kDelimiters.holds(character.unicode()) || character.isSpace();
}

// Whether a key's ":" or "=" follows at `position`, past blanks.
inline bool isKeySeparatorAt(QStringView text, qsizetype position) {
    while (position < text.size() && isBlank(text[position].unicode())) {
        ++position;
    }
    return position < text.size() && (text[position] == u':' || text[position] == u'=');
}

// The next character at or after `from` that is or begins a stop of the scan (":", "=", ">",
// "[", "%", "\"), or `size`: eight characters at a time where the processor allows.
qsizetype nextStop(const char16_t* text, qsizetype from, qsizetype size);

// Where an unquoted value after a separator written with URL escapes `level` times ends: also at
// an ASCII character that ends it written so or fewer times ("%26" and "%2C" once, "%2526"
// twice).
template <int level>
bool endsBareValueAt(QStringView text, qsizetype position) {
    if (endsBareValue(text[position])) {
        return true;
    }
    const LineCharacter read = LineReader(text).urlAt(position);
    return read.urlLevel > 0 && read.urlLevel <= level && read.character < 0x80 &&
           endsBareValue(QChar(read.character));
}

inline bool endsLineAt(QStringView text, qsizetype position) {
    return endsLine(text[position]);
}

inline bool isLineBreakAt(QStringView text, qsizetype position) {
    return isLineBreak(text[position]);
}

inline bool isNotWordCharacterAt(QStringView text, qsizetype position) {
    return !isWordCharacter(text[position]);
}

// Where an element's text ends: at the next "<", also written with URL escapes, or its line's end.
inline bool endsElementTextAt(QStringView text, qsizetype position) {
    return LineReader(text).urlAt(position).character == u'<' || isLineBreak(text[position]);
}

}  // namespace LogText
