#pragma once

#include <QStringView>

#include <cstdint>

// The key names whose values lines hide, and how a name is recognised. Names are compared in
// lower case without "_", "-" and ".", with JSON (\uXXXX) and URL (%XX) escapes resolved. A name
// whose last word after a "-" is a hidden name counts as that name (headers: "Set-Cookie",
// "Proxy-Authorization"), and so does a hidden name followed by "-" and a number ("Token-0"). The
// names are held as one tree of their letters read from the end, so a name is checked in one walk
// from its last letter, which turns most other names down after a letter or two, without
// allocating.
class HiddenKeyNames {
public:
    enum Kind : std::uint8_t {
        credential = 1,
        personal = 2,
        // "Authorization", "Cookie": a header whose value runs to the end of its line.
        wholeLine = 4,
    };

    // The kinds (a combination of Kind) of the key name; 0 for a name that hides nothing. Where
    // the key is only the end of a longer name (`wholeName` false), a name that must be whole
    // ("sign", "phone") does not count.
    static int kindsOf(QStringView key, bool wholeName = true);
    // A credential or a personal field: the keys whose values lines hide.
    static bool isHidden(QStringView key, bool wholeName = true);
    // A header whose value runs to the end of its line.
    static bool isWholeLine(QStringView key);

    // Whether a hidden name may end at `end` in the text (its last letter just before it), read
    // back no further than `floor`. False only when none does; true leaves the deciding to
    // kindsOf on the key as the line writes it (escapes and all).
    static bool mayEndAt(QStringView text, qsizetype end, qsizetype floor);
};
