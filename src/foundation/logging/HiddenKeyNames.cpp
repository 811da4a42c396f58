#include "foundation/logging/HiddenKeyNames.h"

#include "foundation/logging/LineReader.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace {

using Name = std::u16string_view;

// Whole names, in their compared form.
constexpr std::array<Name, 16> kCredentialNames = {
    u"token", u"sign", u"password", u"passwd", u"pwd", u"secret", u"ak", u"sk", u"authorization",
    u"cookie", u"credentials", u"authparams", u"authparam", u"signatureprovided",
    // The object store's signature errors spell the signed request out byte by byte.
    u"canonicalrequestbytes", u"stringtosignbytes"};
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
// Entries: cookies, a form's fields and headers as lists, the page's settings, the object store's
// refused argument.
constexpr std::array<Name, 3> kEntryNames = {u"name", u"key", u"argumentname"};
constexpr std::array<Name, 2> kEntryValues = {u"value", u"argumentvalue"};

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
                                 lettersOf(kPersonalNames) + lettersOf(kWholeLineNames) +
                                 lettersOf(kEntryNames) + lettersOf(kEntryValues);

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
    add(kEntryNames, HiddenKeyNames::entryName, false);
    add(kEntryValues, HiddenKeyNames::entryValue, false);
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
              isLowerLetters(kPersonalNames) && isLowerLetters(kWholeLineNames) &&
              isLowerLetters(kEntryNames) && isLowerLetters(kEntryValues));

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

bool isDigit(char16_t character) {
    return character >= u'0' && character <= u'9';
}

}  // namespace

bool HiddenKeyNames::NameWalk::takes(char16_t character) {
    if (m_cut) {
        return false;
    }
    const int letter = classOf(QChar(character));
    if (m_atEnd) {
        // "Token-0": a number after a "-" is read past.
        if (isDigit(character)) {
            m_digits = true;
            return true;
        }
        m_atEnd = false;
        if (m_digits && letter == kHyphen) {
            return true;
        }
        m_cut = m_digits;
    }
    if (letter == kSeparator) {
        return !m_cut;
    }
    if (letter == kHyphen) {
        // The words after it may be a name of their own ("Set-Cookie"); entries are whole names.
        m_kinds |= kTree.nodes[m_node].whole & (kHidden | wholeLine);
        return !m_cut;
    }
    if (letter == kNotInName) {
        return false;
    }
    const std::uint16_t next =
        letter < 0 || m_cut ? 0 : kTree.nodes[m_node].next[static_cast<size_t>(letter)];
    if (next == 0) {
        m_cut = true;
        return false;
    }
    m_node = next;
    m_kinds |= kTree.nodes[m_node].ending;
    return true;
}

int HiddenKeyNames::NameWalk::kinds(bool wholeName) const {
    return wholeName && !m_cut ? m_kinds | kTree.nodes[m_node].whole : m_kinds;
}

int HiddenKeyNames::kindsOf(QStringView key, bool wholeName) {
    const LineReader reader(key);
    NameWalk walk;
    qsizetype start = key.size();
    while (start > 0) {
        const LineCharacter read = reader.before(start, 0);
        if (!walk.takes(read.character)) {
            break;
        }
        start = read.start;
    }
    return walk.kinds(wholeName && start == 0);
}

bool HiddenKeyNames::isHidden(QStringView key, bool wholeName) {
    return (kindsOf(key, wholeName) & kHidden) != 0;
}

bool HiddenKeyNames::isWholeLine(QStringView key) {
    return (kindsOf(key) & wholeLine) != 0;
}
