#include "foundation/logging/HiddenKeyNames.h"

#include "foundation/logging/LogText.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace {

using Name = std::u16string_view;

// Whole names, in their compared form.
constexpr std::array<Name, 16> kCredentialNames = {
    u"token",
    u"sign",
    u"password",
    u"passwd",
    u"pwd",
    u"secret",
    u"ak",
    u"sk",
    u"authorization",
    u"cookie",
    u"credentials",
    u"authparams",
    u"authparam",
    u"signatureprovided",
    // The object store's signature errors spell the signed request out byte by byte.
    u"canonicalrequestbytes",
    u"stringtosignbytes",
};
// Every name ending so: "securitytoken", "accesstoken", "xamzcredential", "awsaccesskeyid",
// "secretaccesskey", …
constexpr std::array<Name, 10> kCredentialEndings = {
    u"token",     u"secret",      u"password",  u"passwd",     u"signature",
    u"accesskey", u"accesskeyid", u"secretkey", u"privatekey", u"credential",
};
// Whole names only: "isbindphone" is a flag, "devicename" no one's name.
constexpr std::array<Name, 13> kPersonalNames = {
    u"phone",        u"mobile",   u"phonenumber", u"phoneno", u"mobilephone",
    u"telephone",    u"realname", u"cardid",      u"idcard",  u"idcardno",
    u"idcardnumber", u"idno",     u"idnumber",
};
constexpr std::array<Name, 2> kWholeLineNames = {u"authorization", u"cookie"};

constexpr size_t lettersOf(const auto& names) {
    size_t letters = 0;
    for (const Name name : names) {
        letters += name.size();
    }
    return letters;
}

struct Node {
    std::array<std::uint16_t, 26> next{};
    std::uint8_t whole = 0;   // kinds of a name that ends here: the key holds nothing more
    std::uint8_t ending = 0;  // kinds of every key that ends so
};

constexpr size_t kNodeCapacity = 1 + lettersOf(kCredentialNames) + lettersOf(kCredentialEndings) +
                                 lettersOf(kPersonalNames) + lettersOf(kWholeLineNames);

struct Tree {
    std::array<Node, kNodeCapacity> nodes{};
    size_t size = 1;
};

// The names read from their last letter: node 0 is the empty end, each step one letter back.
constexpr Tree kTree = [] {
    Tree tree;
    const auto add = [&tree](const auto& names, std::uint8_t kinds, bool ending) {
        for (const Name name : names) {
            size_t node = 0;
            for (size_t k = name.size(); k-- > 0;) {
                const auto letter = static_cast<size_t>(name[k] - u'a');
                if (tree.nodes[node].next[letter] == 0) {
                    tree.nodes[node].next[letter] = static_cast<std::uint16_t>(tree.size++);
                }
                node = tree.nodes[node].next[letter];
            }
            (ending ? tree.nodes[node].ending : tree.nodes[node].whole) |= kinds;
        }
    };
    add(kCredentialNames, HiddenKeyNames::credential, false);
    add(kCredentialEndings, HiddenKeyNames::credential, true);
    add(kPersonalNames, HiddenKeyNames::personal, false);
    add(kWholeLineNames, HiddenKeyNames::wholeLine, false);
    return tree;
}();

constexpr bool isLowerLetters(const auto& names) {
    return std::ranges::all_of(names, [](Name name) {
        return !name.empty() && std::ranges::all_of(name, [](char16_t letter) {
            return letter >= u'a' && letter <= u'z';
        });
    });
}
static_assert(isLowerLetters(kCredentialNames) && isLowerLetters(kCredentialEndings) &&
              isLowerLetters(kPersonalNames) && isLowerLetters(kWholeLineNames));

// What an ASCII character is to a name: its letter's place in the alphabet in lower case, or one
// of these.
constexpr std::int8_t kSeparator = -1;  // "_", "."
constexpr std::int8_t kOtherWord = -2;  // a digit: part of a name, though of no hidden one
constexpr std::int8_t kNotInName = -3;
// Read past as "_" is; besides, the words after it may be a hidden name of their own: a header
// such as "Set-Cookie" or "Proxy-Authorization" counts as its last word.
constexpr std::int8_t kHyphen = -4;
constexpr std::array<std::int8_t, 128> kAsciiClass = [] {
    std::array<std::int8_t, 128> classes{};
    for (size_t c = 0; c < classes.size(); ++c) {
        if (c >= 'a' && c <= 'z') {
            classes[c] = static_cast<std::int8_t>(c - 'a');
        } else if (c >= 'A' && c <= 'Z') {
            classes[c] = static_cast<std::int8_t>(c - 'A');
        } else if (c >= '0' && c <= '9') {
            classes[c] = kOtherWord;
        } else if (c == '_' || c == '.') {
            classes[c] = kSeparator;
        } else if (c == '-') {
            classes[c] = kHyphen;
        } else {
            classes[c] = kNotInName;
        }
    }
    return classes;
}();

int classOf(QChar character) {
    const char16_t code = character.unicode();
    if (code < 0x80) {
        return kAsciiClass[code];
    }
    // A letter of another script may lower-case to a Latin one (the Kelvin sign to "k").
    const auto lower = static_cast<char32_t>(QChar::toLower(static_cast<char32_t>(code)));
    if (lower >= U'a' && lower <= U'z') {
        return static_cast<int>(lower - U'a');
    }
    return character.isLetterOrNumber() ? kOtherWord : kNotInName;
}

// Whether the position lies in a JSON (\uXXXX) or URL (%XX, %25XX) escape.
bool isInEscape(QStringView text, qsizetype position, qsizetype floor) {
    const QChar at = text[position];
    if (at != u'%' && at != u'\\' && at != u'u' && HexDigits::digitValue(at) < 0) {
        return false;
    }
    for (qsizetype start = position; start >= std::max(floor, position - 5); --start) {
        const char16_t character = text[start].unicode();
        if (character == u'%') {
            return position <= start + 2
                       ? HexDigits::numberAt(text, start + 1, 2) >= 0
                       : position < start + LogText::percentEscapeAt(text, start).size;
        }
        if (character == u'\\') {
            return start + 1 < text.size() && text[start + 1] == u'u' && position <= start + 5 &&
                   HexDigits::numberAt(text, start + 2, 4) >= 0;
        }
    }
    return false;
}

// The letter of "\n" and its kin, which belongs to the escape and not to the name.
bool isControlEscape(QStringView text, qsizetype position, qsizetype floor) {
    return position > floor && text[position - 1] == u'\\' &&
           LogText::isControlEscapeLetter(text[position]);
}

bool isDigit(QChar character) {
    return character >= u'0' && character <= u'9';
}

// Where a name ends that is followed by "-" and a number ("Token-0"), read back no further than
// `floor`; `end` for any other.
qsizetype endBeforeNumber(QStringView text, qsizetype end, qsizetype floor) {
    qsizetype start = end;
    while (start > floor && isDigit(text[start - 1])) {
        --start;
    }
    return start < end && start > floor && text[start - 1] == u'-' ? start - 1 : end;
}

int kindsOfPlain(QStringView key, bool wholeName) {
    size_t node = 0;
    int kinds = 0;
    for (qsizetype i = endBeforeNumber(key, key.size(), 0) - 1; i >= 0; --i) {
        const int letter = classOf(key[i]);
        if (letter == kSeparator) {
            continue;
        }
        if (letter == kHyphen) {
            kinds |= kTree.nodes[node].whole;
            continue;
        }
        if (letter < 0 || kTree.nodes[node].next[static_cast<size_t>(letter)] == 0) {
            return kinds;
        }
        node = kTree.nodes[node].next[static_cast<size_t>(letter)];
        kinds |= kTree.nodes[node].ending;
    }
    return wholeName ? kinds | kTree.nodes[node].whole : kinds;
}

// The key with its escapes resolved: \uXXXX after any number of backslashes, %XX.
QVarLengthArray<char16_t, 64> unescaped(QStringView key) {
    QVarLengthArray<char16_t, 64> text;
    for (qsizetype i = 0; i < key.size(); ++i) {
        char16_t character = key[i].unicode();
        if (character == u'\\') {
            qsizetype u = i;
            while (u < key.size() && key[u] == u'\\') {
                ++u;
            }
            const int code = HexDigits::numberAt(key, u + 1, 4);
            if (u < key.size() && key[u] == u'u' && code >= 0) {
                character = static_cast<char16_t>(code);
                i = u + 4;
            } else if (u < key.size() && LogText::isPlainEscapedLetter(key[u])) {
                character = key[u].unicode();
                i = u;
            } else {
                // Backslashes that escape nothing stay, all of them at once.
                text.append(key.utf16() + i, u - i - 1);
                i = u - 1;
            }
        } else if (character == u'%') {
            if (const int code = HexDigits::numberAt(key, i + 1, 2); code >= 0) {
                character = static_cast<char16_t>(code);
                i += 2;
            }
        }
        text.append(character);
    }
    return text;
}

}  // namespace

int HiddenKeyNames::kindsOf(QStringView key, bool wholeName) {
    if (std::ranges::none_of(key, [](QChar c) { return c == u'\\' || c == u'%'; })) {
        return kindsOfPlain(key, wholeName);
    }
    const QVarLengthArray<char16_t, 64> text = unescaped(key);
    return kindsOfPlain(QStringView(text.data(), text.size()), wholeName);
}

bool HiddenKeyNames::isHidden(QStringView key, bool wholeName) {
    return (kindsOf(key, wholeName) & (credential | personal)) != 0;
}

bool HiddenKeyNames::isWholeLine(QStringView key) {
    return (kindsOf(key) & wholeLine) != 0;
}

bool HiddenKeyNames::mayEndAt(QStringView text, qsizetype end, qsizetype floor) {
    size_t node = 0;
    for (qsizetype i = endBeforeNumber(text, end, floor) - 1; i >= floor; --i) {
        const int letter = classOf(text[i]);
        if (letter == kSeparator) {
            continue;
        }
        if (letter == kHyphen) {
            if (kTree.nodes[node].whole != 0) {
                return true;
            }
            continue;
        }
        const std::uint16_t next =
            letter < 0 ? 0 : kTree.nodes[node].next[static_cast<size_t>(letter)];
        if (next != 0) {
            node = next;
            if (kTree.nodes[node].ending != 0) {
                return true;
            }
            continue;
        }
        if (letter != kNotInName) {
            // The name goes on where no hidden name does, unless that is an escape's.
            return isInEscape(text, i, floor) ||
                   (kTree.nodes[node].whole != 0 && isControlEscape(text, i, floor));
        }
        if (text[i] == u'\\' && i + 1 < end && LogText::isPlainEscapedLetter(text[i + 1])) {
            // "to\\ken" is read as "token".
            continue;
        }
        // "\" and "%" before the name may begin an escape the name starts with.
        return kTree.nodes[node].whole != 0 || isInEscape(text, i, floor);
    }
    return kTree.nodes[node].whole != 0;
}
