#pragma once

#include <QStringView>

#include <cstdint>

// The key names whose values lines hide, and the members of the entries that carry a name and a
// value. Names are compared in lower case without "_", "-" and ".". A name whose last word after
// a "-" is a hidden name counts as that name (headers: "Set-Cookie", "Proxy-Authorization"), and
// so does a hidden name followed by "-" and a number ("Token-0"). The names are held as one tree
// of their letters read from the end, so a name is checked in one walk back from its last
// letter, which turns most other names down after a letter or two, without allocating.
class HiddenKeyNames {
public:
    enum Kind : std::uint8_t {
        credential = 1,
        personal = 2,
        // "Authorization", "Cookie": a header whose value runs to the end of its line.
        wholeLine = 4,
        // The members of an entry: "name", "key" or "ArgumentName" says what the "value" (or
        // "ArgumentValue") beside it is.
        entryName = 8,
        entryValue = 16,
    };
    static constexpr int kHidden = credential | personal;

    // What a name read back is: its kinds as a whole name, and as the end of a longer one.
    struct NameKinds {
        int whole = 0;
        int ending = 0;
    };

    // A name read back from its last character, a character at a time, as it stands before a
    // separator; the characters are read with their escapes undone.
    class NameWalk {
    public:
        // Takes the character before those taken. False where it is none of a name's (the name
        // starts after it), and where no name of the list can be read any further.
        bool takes(char16_t character);
        // The kinds of the name taken, a combination of Kind, 0 for a name that hides nothing.
        // `wholeName`: the name starts where the walk stopped; otherwise it may be the end of a
        // longer one, and a name that must be whole ("sign", "phone") does not count.
        int kinds(bool wholeName) const;

    private:
        friend class HiddenKeyNames;
        bool step(char16_t character);

        std::uint16_t m_node = 0;
        std::uint8_t m_kinds = 0;
        // Digits at the end, while nothing else was taken: "-" after them ends a number.
        bool m_atEnd = true;
        bool m_digits = false;
        // The name goes on where no name of the list does.
        bool m_cut = false;
    };

    // The name that ends at `end` in `text` as it stands, read back no further than `floor`:
    // `start` is where the reading stopped.
    static NameKinds walkBack(QStringView text, qsizetype end, qsizetype floor, qsizetype& start);
    // The kinds of a whole key name, escapes and all ("\u0074oken", "%74oken").
    static int kindsOf(QStringView key, bool wholeName = true);
    // A credential or a personal field: the keys whose values lines hide.
    static bool isHidden(QStringView key, bool wholeName = true);
    // A header whose value runs to the end of its line.
    static bool isWholeLine(QStringView key);
};
