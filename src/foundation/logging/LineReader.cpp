#include "foundation/logging/LineReader.h"

#include "foundation/text/HexDigits.h"

#include <algorithm>
#include <string_view>

namespace {

// What a JSON escape letter writes: a control character ("\n") or the letter itself.
char16_t writtenBy(char16_t letter) {
    constexpr std::u16string_view kLetters = u"nrtbf";
    const size_t at = kLetters.find(letter);
    return at == std::u16string_view::npos ? letter : u"\n\r\t\b\f"[at];
}

}  // namespace

LineCharacter LineReader::escapedByte(qsizetype position) const {
    const int code =
        m_text[position] == kUrlEscapeStart ? HexDigits::numberAt(m_text, position + 1, 2) : -1;
    if (code < 0) {
        return {};
    }
    LineCharacter byte{static_cast<char16_t>(code), position, position + 3, 1};
    // "%25" is the "%" of a deeper escape when two hex digits follow it.
    for (int inner; byte.character == kUrlEscapeStart && byte.urlLevel < kDeepestUrlLevel &&
                    (inner = HexDigits::numberAt(m_text, byte.end, 2)) >= 0;) {
        byte.character = static_cast<char16_t>(inner);
        byte.end += 2;
        ++byte.urlLevel;
    }
    return byte;
}

// A character of two or three UTF-8 bytes escaped alike ("%C2%A0") from its first, or the byte.
LineCharacter LineReader::withUtf8Tail(LineCharacter lead) const {
    const char16_t first = lead.character;
    const int tails = first >= 0xc2 && first <= 0xdf ? 1 : first >= 0xe0 && first <= 0xef ? 2 : 0;
    char32_t code = first & (tails == 1 ? 0x1f : 0x0f);
    qsizetype end = lead.end;
    for (int i = 0; i < tails; ++i) {
        const LineCharacter byte = end < m_text.size() ? escapedByte(end) : LineCharacter{};
        if (byte.urlLevel != lead.urlLevel || (byte.character & 0xc0) != 0x80) {
            return lead;
        }
        code = (code << 6) | (byte.character & 0x3f);
        end = byte.end;
    }
    if (tails == 0 || (tails == 2 && code < 0x800) || (code >= 0xd800 && code <= 0xdfff)) {
        return lead;
    }
    return LineCharacter{static_cast<char16_t>(code), lead.start, end, lead.urlLevel};
}

LineCharacter LineReader::urlEscapeAt(qsizetype position, int form) const {
    const char16_t character = m_text[position].unicode();
    if (const LineCharacter byte =
            character == kUrlEscapeStart ? escapedByte(position) : LineCharacter{};
        byte.urlLevel > 0) {
        return form > 1 ? blankOfForm(withUtf8Tail(byte), form) : withUtf8Tail(byte);
    }
    const bool blank = character == u'+' && form > 0;
    return LineCharacter{blank ? u' ' : character, position, position + 1, blank ? 1 : 0};
}

LineCharacter LineReader::escapedAt(qsizetype position, int form) const {
    const LineCharacter first = urlAt(position, form);
    if (first.character != kBackslash) {
        return first;
    }
    // A run of backslashes written alike, and what they escape.
    int run = 1;
    LineCharacter escaped;
    for (qsizetype next = first.end;; next = escaped.end, ++run) {
        if (next == m_text.size()) {
            return LineCharacter{kBackslash, position, next, first.urlLevel, run - 1};
        }
        escaped = urlAt(next, form);
        if (escaped.character != kBackslash || escaped.urlLevel != first.urlLevel) {
            break;
        }
    }
    const int level = std::max(first.urlLevel, escaped.urlLevel);
    const int code = escaped.character == u'u' ? HexDigits::numberAt(m_text, escaped.end, 4) : -1;
    if (code >= 0) {
        return LineCharacter{
            static_cast<char16_t>(code), position, escaped.end + 4, level, 2 * run - 1, true};
    }
    return LineCharacter{writtenBy(escaped.character), position, escaped.end, level, run};
}

// Read back only for separators, quotes, blanks and names: escaped UTF-8 a byte at a time.
LineCharacter LineReader::urlBefore(qsizetype end, qsizetype floor, int form) const {
    const char16_t last = m_text[end - 1].unicode();
    for (int level = kDeepestUrlLevel; level >= 1 && HexDigits::digitValue(last) >= 0; --level) {
        const qsizetype start = end - 1 - 2 * level;
        if (const LineCharacter byte =
                hasPercent(start, floor) ? escapedByte(start) : LineCharacter{};
            byte.urlLevel == level && byte.end == end) {
            return blankOfForm(byte, form);
        }
    }
    const bool blank = last == u'+' && form > 0;
    return LineCharacter{blank ? u' ' : last, end - 1, end, blank ? 1 : 0};
}

LineCharacter LineReader::escapedBefore(qsizetype end, qsizetype floor, int form) const {
    LineCharacter read = urlBefore(end, floor, form);
    // "\uXXXX" ends in its digits.
    const bool unicode =
        end - 6 >= floor && m_text[end - 5] == u'u' && HexDigits::numberAt(m_text, end - 4, 4) >= 0;
    qsizetype start = unicode ? end - 5 : read.start;
    int run = 0;
    int level = 0;
    for (LineCharacter slash; start > floor; start = slash.start, ++run) {
        slash = m_text[start - 1] == kBackslash ? LineCharacter{kBackslash, start - 1, start}
                                                : urlBefore(start, floor, 0);
        if (slash.character != kBackslash || (run > 0 && slash.urlLevel != level)) {
            break;
        }
        level = slash.urlLevel;
    }
    if (run == 0) {
        return read;
    }
    if (unicode) {
        const auto code = static_cast<char16_t>(HexDigits::numberAt(m_text, end - 4, 4));
        return LineCharacter{code, start, end, level, 2 * run - 1, true};
    }
    return LineCharacter{writtenBy(read.character), start, end, std::max(level, read.urlLevel),
                         run};
}
