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

// What a character is to a name: its letter's place in the alphabet in lower case, or one of
// these.
constexpr int kSeparator = -1;  // "_", "."
constexpr int kOtherWord = -2;  // a digit: part of a name, though of no hidden one
constexpr int kNotInName = -3;
// Read past as "_" is; besides, the words after it may be a hidden name of their own: a header
// such as "Set-Cookie" or "Proxy-Authorization" counts as its last word.
constexpr int kHyphen = -4;

constexpr std::array<std::int8_t, 128> kAsciiClasses = [] {
    std::array<std::int8_t, 128> classes{};
    for (size_t c = 0; c < classes.size(); ++c) {
        const bool lower = c >= 'a' && c <= 'z';
        const bool upper = c >= 'A' && c <= 'Z';
        classes[c] = static_cast<std::int8_t>(lower                  ? c - 'a'
                                              : upper                ? c - 'A'
                                              : c >= '0' && c <= '9' ? kOtherWord
                                              : c == '_' || c == '.' ? kSeparator
                                              : c == '-'             ? kHyphen
                                                                     : kNotInName);
    }
    return classes;
}();

int classOf(char16_t code) {
    if (code < 0x80) {
        return kAsciiClasses[code];
    }
    // Chinese text, the most common beside ASCII, is all letters of no name.
    if (code >= 0x4e00 && code <= 0x9fff) {
        return kOtherWord;
    }
    // A letter of another script may lower-case to a Latin one (the Kelvin sign to "k").
    const auto lower = static_cast<char32_t>(QChar::toLower(static_cast<char32_t>(code)));
    if (lower >= U'a' && lower <= U'z') {
        return static_cast<int>(lower - U'a');
    }
    return QChar(code).isLetterOrNumber() ? kOtherWord : kNotInName;
}

bool isDigit(char16_t character) {
    return character >= u'0' && character <= u'9';
}

}  // namespace

bool HiddenKeyNames::NameWalk::takes(char16_t character) {
    return step(character);
}

// Inlined into the walk back over a line, which most keys take.
[[gnu::always_inline]] inline bool HiddenKeyNames::NameWalk::step(char16_t character) {
    if (m_cut) {
        return false;
    }
    const int letter = classOf(character);
    if (m_atEnd) {
        // "Token-0": a number after a "-" is read past.
        if (letter == kOtherWord && isDigit(character)) {
            m_digits = true;
            return true;
        }
        m_atEnd = false;
        if (m_digits) {
            m_cut = letter != kHyphen;
            return !m_cut;
        }
    }
    if (letter >= 0) {
        const std::uint16_t next = kTree.nodes[m_node].next[static_cast<size_t>(letter)];
        m_cut = next == 0;
        m_node = m_cut ? m_node : next;
        m_kinds |= kTree.nodes[m_node].ending;
        return !m_cut;
    }
    if (letter == kHyphen) {
        // The words after it may be a name of their own ("Set-Cookie"); entries are whole names.
        m_kinds |= kTree.nodes[m_node].whole & (kHidden | wholeLine);
    }
    // A digit or a letter of another script inside a name: the name goes on, but no hidden one.
    m_cut = letter == kOtherWord;
    return letter == kHyphen || letter == kSeparator;
}

int HiddenKeyNames::NameWalk::kinds(bool wholeName) const {
    return wholeName && !m_cut ? m_kinds | kTree.nodes[m_node].whole : m_kinds;
}

HiddenKeyNames::NameKinds HiddenKeyNames::walkBack(QStringView text, qsizetype end, qsizetype floor,
                                                   qsizetype& start) {
    NameWalk walk;
    const char16_t* characters = text.utf16();
    qsizetype p = end;
    while (p > floor && walk.step(characters[p - 1])) {
        --p;
    }
    start = p;
    const int whole = walk.m_cut ? 0 : kTree.nodes[walk.m_node].whole;
    return NameKinds{walk.m_kinds | whole, walk.m_kinds};
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
