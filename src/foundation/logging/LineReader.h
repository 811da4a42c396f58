#pragma once

#include <QChar>
#include <QStringView>

#include <array>
#include <bit>

// One character of a log line with its escapes undone, and the span of the line that wrote it.
struct LineCharacter {
    char16_t character = 0;
    qsizetype start = 0;
    qsizetype end = 0;
    // URL escapes' depth ("%2522": 2), escaping backslashes ("\\\"": 3, "\\u0022" alike), "\uXXXX".
    int urlLevel = 0;
    int backslashes = 0;
    bool unicode = false;

    // A quote closes only a text its own kind of quote opened.
    bool isWrittenAs(const LineCharacter& other) const {
        return character == other.character && urlLevel == other.urlLevel &&
               backslashes == other.backslashes && unicode == other.unicode;
    }
    bool isPlain() const { return urlLevel == 0 && backslashes == 0; }
    // How many times it was escaped: each URL level, and each level of JSON text inside JSON text
    // ("\u003c" once, "\\\u003c" twice).
    int depth() const { return urlLevel + std::bit_width(static_cast<unsigned>(backslashes)); }
    qsizetype size() const { return end - start; }
};

// The one reading of a line's escapes, which every rule of the mask reads through: URL escapes up
// to three deep ("%3D", "%253D", "%25253D", also UTF-8: "%C2%A0"), a "+" as a form's blank,
// "\uXXXX", and backslashes before any character, to any depth. A new encoding is a change here.
class LineReader {
public:
    // The characters that may start an escape; no rule but the reader's looks for them, and the
    // scan that stops where one may begin takes them from here.
    static constexpr char16_t kUrlEscapeStart = u'%';
    static constexpr char16_t kBackslash = u'\\';
    static constexpr std::array<char16_t, 2> kEscapeStarts = {kUrlEscapeStart, kBackslash};
    // An address carried through three sign-in hops is escaped three times.
    static constexpr int kDeepestUrlLevel = 3;

    static constexpr bool mayStartEscape(char16_t character) {
        static_assert(kEscapeStarts.size() == 2, "each escape start is asked for here");
        return character == kEscapeStarts[0] || character == kEscapeStarts[1];
    }

    explicit LineReader(QStringView text) : m_text(text) {}

    QStringView text() const { return m_text; }

    // The character that starts at `position`, backslashes and all. In the value of a form `form`
    // URL levels deep (0: none), a "+" is " ": a plain one, and one URL-escaped fewer times than
    // the value, as a form inside another form's field writes its blanks ("%2B" after "%253D").
    LineCharacter at(qsizetype position, int form = 0) const {
        const char16_t character = m_text[position].unicode();
        return mayStartEscape(character) || (character == u'+' && form > 0)
                   ? escapedAt(position, form)
                   : LineCharacter{character, position, position + 1};
    }
    // The character that ends at `end`, starting no earlier than `floor`.
    LineCharacter before(qsizetype end, qsizetype floor, int form = 0) const {
        const char16_t last = m_text[end - 1].unicode();
        return mayEndEscape(end, floor, form) ? escapedBefore(end, floor, form)
                                              : LineCharacter{last, end - 1, end};
    }
    // The character at `position` through URL escapes alone, in a few steps wherever it is.
    LineCharacter urlAt(qsizetype position, int form = 0) const {
        const char16_t character = m_text[position].unicode();
        return character == kUrlEscapeStart || (character == u'+' && form > 0)
                   ? urlEscapeAt(position, form)
                   : LineCharacter{character, position, position + 1};
    }
    // Whether an escape may take part in the character that ends at `end`: most are told not.
    bool mayEndEscape(qsizetype end, qsizetype floor, int form) const {
        const char16_t last = m_text[end - 1].unicode();
        const char16_t previous = end - 1 > floor ? m_text[end - 2].unicode() : u' ';
        const bool hex =
            (last >= u'0' && last <= u'9') || ((last | 0x20) >= u'a' && (last | 0x20) <= u'f');
        // A backslash before it, also as "%5C" writes one.
        const bool backslash =
            previous == kBackslash ||
            ((previous | 0x20) == u'c' && end - 2 > floor && m_text[end - 3] == u'5');
        if ((last == u'+' && form > 0) || backslash) {
            return true;
        }
        // The last hex digit of "\uXXXX" or of a URL escape at any level ("%3D", "%253D", …).
        bool escape = hex && end - 5 > floor && m_text[end - 5] == u'u';
        for (int level = 1; hex && !escape && level <= kDeepestUrlLevel; ++level) {
            escape = hasPercent(end - 1 - 2 * level, floor);
        }
        return escape;
    }

private:
    LineCharacter escapedAt(qsizetype position, int form) const;
    LineCharacter urlEscapeAt(qsizetype position, int form) const;
    LineCharacter escapedBefore(qsizetype end, qsizetype floor, int form) const;
    bool hasPercent(qsizetype position, qsizetype floor) const {
        return position >= floor && m_text[position] == kUrlEscapeStart;
    }
    LineCharacter urlBefore(qsizetype end, qsizetype floor, int form) const;
    // A form's blank written as "+" with URL escapes, or the character as read.
    static LineCharacter blankOfForm(LineCharacter read, int form) {
        if (read.character == u'+' && read.urlLevel < form) {
            read.character = u' ';
            ++read.urlLevel;
        }
        return read;
    }
    // The byte URL escapes write at `position`, as deep as they go; level 0 for none.
    LineCharacter escapedByte(qsizetype position) const;
    LineCharacter withUtf8Tail(LineCharacter lead) const;

    QStringView m_text;
};
