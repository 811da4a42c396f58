#pragma once

#include "foundation/logging/LineReader.h"

#include <QStringView>

#include <cstdint>

// The key names whose values lines hide, and the members of name/value entries, compared in lower
// case without "_", "-" and "." ("Set-Cookie", "Token-0" as "cookie", "token"): one tree of letters
// read from the end, so most names are turned down after a letter or two.
class HiddenKeyNames {
public:
    enum Kind : std::uint8_t {
        credential = 1,
        personal = 2,
        // "Authorization", "Cookie": a header whose value runs to the end of its line.
        wholeLine = 4,
        // "name", "key" or "ArgumentName" says what the "value" or "ArgumentValue" beside it is.
        entryName = 8,
        entryValue = 16,
    };
    static constexpr int kHidden = credential | personal;

    // A name's kinds (Kind) when it starts where reading stopped, and when it may end a longer one.
    struct NameKinds {
        int whole = 0;
        int ending = 0;
    };

    // The name that ends at `end`, read back as the text stands to `start`, not past `floor`.
    static NameKinds walkBack(QStringView text, qsizetype end, qsizetype floor, qsizetype& start);
    // The same through the reader, escapes and all.
    static NameKinds readBack(const LineReader& reader, qsizetype end, qsizetype floor,
                              qsizetype& start);
    // The kinds of a whole key name ("\u0074oken", "%74oken" as "token").
    static int kindsOf(QStringView key, bool wholeName = true);
    static bool isHidden(QStringView key) { return (kindsOf(key) & kHidden) != 0; }
};
