#pragma once

#include <QStringView>

#include <cstdint>

// The key names whose values lines hide, and how a name is recognised. Names are compared in
// lower case without "_", "-" and ".", with JSON (\uXXXX) and URL (%XX) escapes resolved. They are
// held as one tree of their letters read from the end, so a name is checked in one walk from its
// last letter, which turns most other names down after a letter or two, without allocating.
class HiddenKeyNames {
public:
    enum Kind : std::uint8_t {
        credential = 1,
        personal = 2,
        // "Authorization", "Cookie": a header whose value runs to the end of its line.
        wholeLine = 4,
    };

    // The kinds (a combination of Kind) of the key name; 0 for a name that hides nothing.
    static int kindsOf(QStringView key);

    // Whether a hidden name may end at `end` in the text (its last letter just before it), read
    // back no further than `floor`. False only when none does; true leaves the deciding to
    // kindsOf on the key as the line writes it (escapes and all).
    static bool mayEndAt(QStringView text, qsizetype end, qsizetype floor);
};
