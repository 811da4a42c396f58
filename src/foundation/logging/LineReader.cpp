#include "foundation/logging/LineReader.h"

#include "foundation/text/HexDigits.h"

#include <algorithm>
#include <string_view>

namespace {

// An address carried through three sign-in hops is escaped three times.
constexpr int kDeepestUrlLevel = 3;

// The control character a JSON escape letter writes ("\n"), or 0.
char16_t controlWrittenBy(char16_t letter) {
    constexpr std::u16string_view kLetters = u"nrtbf";
    constexpr std::u16string_view kControls = u"\n\r\t\b\f";
    const size_t at = kLetters.find(letter);
    return at == std::u16string_view::npos ? 0 : kControls[at];
}

bool isUtf8Tail(char16_t byte) {
    return byte >= 0x80 && byte <= 0xbf;
}

}  // namespace

LineCharacter LineReader::escapedByte(qsizetype position) const {
    if (position >= m_text.size() || m_text[position] != u'%') {
        return {};
    }
    const int code = HexDigits::numberAt(m_text, position + 1, 2);
    if (code < 0) {
        return {};
    }
    LineCharacter byte{static_cast<char16_t>(code), position, position + 3, 1, 0};
    // "%25" is the "%" of a deeper escape when two hex digits follow it.
    while (byte.character == u'%' && byte.urlLevel < kDeepestUrlLevel) {
        const int inner = HexDigits::numberAt(m_text, byte.end, 2);
        if (inner < 0) {
            break;
        }
        byte.character = static_cast<char16_t>(inner);
        byte.end += 2;
        ++byte.urlLevel;
    }
    return byte;
}

// A character of two or three UTF-8 bytes escaped alike ("%C2%A0", "%E3%80%80") from its first;
// the byte alone where the rest is not there.
LineCharacter LineReader::withUtf8Tail(LineCharacter lead) const {
    const char16_t first = lead.character;
    const int tails = first >= 0xc2 && first <= 0xdf ? 1 : first >= 0xe0 && first <= 0xef ? 2 : 0;
    if (tails == 0) {
        return lead;
    }
    char32_t code = first & (tails == 1 ? 0x1f : 0x0f);
    qsizetype end = lead.end;
    for (int i = 0; i < tails; ++i) {
        const LineCharacter byte = escapedByte(end);
        if (byte.urlLevel != lead.urlLevel || !isUtf8Tail(byte.character)) {
            return lead;
        }
        code = (code << 6) | (byte.character & 0x3f);
        end = byte.end;
    }
    if (code < 0x80 || (tails == 2 && code < 0x800) || (code >= 0xd800 && code <= 0xdfff)) {
        return lead;
    }
    return LineCharacter{static_cast<char16_t>(code), lead.start, end, lead.urlLevel, 0};
}

LineCharacter LineReader::urlAt(qsizetype position, bool form) const {
    const char16_t character = m_text[position].unicode();
    if (const LineCharacter byte = character == u'%' ? escapedByte(position) : LineCharacter{};
        byte.urlLevel > 0) {
        return withUtf8Tail(byte);
    }
    const bool blank = character == u'+' && form;
    return LineCharacter{blank ? u' ' : character, position, position + 1, blank ? 1 : 0, 0};
}

LineCharacter LineReader::escapedAt(qsizetype position, bool form) const {
    const LineCharacter first = urlAt(position, form);
    if (first.character != u'\\') {
        return first;
    }
    int run = 1;
    LineCharacter escaped;
    for (qsizetype next = first.end;; next = escaped.end, ++run) {
        if (next == m_text.size()) {
            return LineCharacter{u'\\', position, next, first.urlLevel, run - 1};
        }
        escaped = urlAt(next, form);
        if (escaped.character != u'\\' || escaped.urlLevel != first.urlLevel) {
            break;
        }
    }
    LineCharacter read{escaped.character, position, escaped.end,
                       std::max(first.urlLevel, escaped.urlLevel), run};
    if (const int code =
            escaped.character == u'u' ? HexDigits::numberAt(m_text, escaped.end, 4) : -1;
        code >= 0) {
        read.character = static_cast<char16_t>(code);
        read.end = escaped.end + 4;
        read.backslashes = 2 * run - 1;
    } else if (const char16_t control = controlWrittenBy(escaped.character); control != 0) {
        read.character = control;
    }
    return read;
}

// Only the separators, quotes, blanks and names that rules read back are asked for here: a
// character written in UTF-8 is read back a byte at a time.
LineCharacter LineReader::urlBefore(qsizetype end, qsizetype floor, bool form) const {
    const char16_t last = m_text[end - 1].unicode();
    for (int level = kDeepestUrlLevel; level >= 1 && HexDigits::digitValue(last) >= 0; --level) {
        const qsizetype start = end - 1 - 2 * level;
        if (const LineCharacter byte =
                hasPercent(start, floor) ? escapedByte(start) : LineCharacter{};
            byte.urlLevel == level && byte.end == end) {
            return byte;
        }
    }
    return LineCharacter{last == u'+' && form ? u' ' : last, end - 1, end,
                         last == u'+' && form ? 1 : 0, 0};
}

LineCharacter LineReader::escapedBefore(qsizetype end, qsizetype floor, bool form) const {
    LineCharacter read = urlBefore(end, floor, form);
    // "\uXXXX" ends in its digits.
    const bool unicode =
        end - 6 >= floor && m_text[end - 5] == u'u' && HexDigits::numberAt(m_text, end - 4, 4) >= 0;
    qsizetype start = unicode ? end - 5 : read.start;
    int run = 0;
    int level = 0;
    while (start > floor) {
        const LineCharacter slash = urlBefore(start, floor, false);
        if (slash.character != u'\\' || (run > 0 && slash.urlLevel != level)) {
            break;
        }
        level = slash.urlLevel;
        start = slash.start;
        ++run;
    }
    if (run == 0) {
        return read;
    }
    if (unicode) {
        return LineCharacter{static_cast<char16_t>(HexDigits::numberAt(m_text, end - 4, 4)), start,
                             end, level, 2 * run - 1};
    }
    read.start = start;
    read.urlLevel = std::max(level, read.urlLevel);
    read.backslashes = run;
    if (const char16_t control = controlWrittenBy(read.character); control != 0) {
        read.character = control;
    }
    return read;
}
