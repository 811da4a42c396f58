#pragma once

#include <QChar>
#include <QStringView>

#include <array>
#include <cstdint>
#include <string_view>

// Character classes of the mask's rules, and what a hidden value reads.
namespace LogText {

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

inline bool isDigit(QChar character) {
    return character >= u'0' && character <= u'9';
}

// A character of a name or an unquoted value: letters and digits of any script, "_", "-", ".".
inline bool isWordCharacter(QChar character) {
    static constexpr AsciiSet kAscii(
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.");
    return character.unicode() < 0x80 ? kAscii.holds(character.unicode())
                                      : character.isLetterOrNumber();
}

// What may follow a closing quote; after anything else the quote is part of the text.
inline bool endsQuotedValue(QChar character) {
    static constexpr AsciiSet kFollowers(u",;}])><&#\\\"'.!?|");
    return kFollowers.holds(character.unicode()) || character.isSpace();
}

// Where a header's value ends: its line, or a quote or backslash of the text around it.
inline bool endsLine(QChar character) {
    return isLineBreak(character) || isQuote(character.unicode()) || character == u'\\';
}

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

}  // namespace LogText
