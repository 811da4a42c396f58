#pragma once

#include <QChar>
#include <QStringView>

#include <array>
#include <cstdint>
#include <string_view>

// Character classes of the mask's rules, asked of characters as the line reader gives them.
namespace LogText {

// What a hidden value reads.
inline constexpr QStringView kMask = u"***";

inline bool isQuote(char16_t character) {
    return character == u'"' || character == u'\'';
}

inline bool isBlank(char16_t character) {
    return character == u' ' || character == u'\t';
}

inline bool isLineBreak(QChar character) {
    return character == u'\n' || character == u'\r';
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

}  // namespace LogText
