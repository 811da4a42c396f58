#include "foundation/logging/HiddenKeyNames.h"

#include "foundation/logging/LineReader.h"
#include "foundation/logging/LogText.h"

#include <QChar>

#include <array>
#include <cstdint>
#include <string_view>

namespace {

struct Node {
    std::array<std::uint16_t, 26> next{};
    std::uint8_t whole = 0;   // kinds of a name that ends here: the key holds nothing more
    std::uint8_t ending = 0;  // kinds of every key that ends so
};

struct Tree {
    std::array<Node, 400> nodes{};
    size_t size = 1;
};

// The names read from their last letter: node 0 is the empty end. Other characters fail the build.
constexpr Tree kTree = [] {
    Tree tree;
    const auto add = [&tree](std::initializer_list<std::u16string_view> names, int kinds,
                             bool ending) {
        for (const std::u16string_view name : names) {
            size_t node = 0;
            for (size_t k = name.size(); k-- > 0;) {
                const auto letter = static_cast<size_t>(name[k] - u'a');
                if (letter >= 26 || tree.size == tree.nodes.size()) {
                    throw "names are lower-case letters, as many as the tree holds";
                }
                if (tree.nodes[node].next[letter] == 0) {
                    tree.nodes[node].next[letter] = static_cast<std::uint16_t>(tree.size++);
                }
                node = tree.nodes[node].next[letter];
            }
            (ending ? tree.nodes[node].ending : tree.nodes[node].whole) |= kinds;
        }
    };
    add({u"token", u"sign", u"password", u"passwd", u"pwd", u"secret", u"ak", u"sk",
         u"authorization", u"cookie", u"credentials", u"authparams", u"authparam",
         u"signatureprovided",
         // The object store's signature errors spell the signed request out byte by byte.
         u"canonicalrequestbytes", u"stringtosignbytes"},
        HiddenKeyNames::credential, false);
    // Every name ending so: "securitytoken", "xamzcredential", "awsaccesskeyid", "xapikey", …
    add({u"token", u"secret", u"password", u"passwd", u"signature", u"accesskey", u"accesskeyid",
         u"secretkey", u"privatekey", u"credential", u"apikey"},
        HiddenKeyNames::credential, true);
    // Whole names only: "isbindphone" is a flag, "devicename" no one's name.
    add({u"phone", u"mobile", u"phonenumber", u"phoneno", u"mobilephone", u"telephone", u"realname",
         u"cardid", u"idcard", u"idcardno", u"idcardnumber", u"idno", u"idnumber"},
        HiddenKeyNames::personal, false);
    add({u"authorization", u"cookie"}, HiddenKeyNames::wholeLine, false);
    // Entries: lists of cookies, fields and headers, the page's settings, the store's argument.
    add({u"name", u"key", u"argumentname"}, HiddenKeyNames::entryName, false);
    add({u"value", u"argumentvalue"}, HiddenKeyNames::entryValue, false);
    return tree;
}();

// What a character is to a name: its letter's place in the alphabet, or one of these.
constexpr int kSeparator = -1;  // "_", "."
constexpr int kOtherWord = -2;  // a digit: part of a name, though of no hidden one
constexpr int kNotInName = -3;
// Read past as "_" is, but the words after it may be a name of their own ("Set-Cookie").
constexpr int kHyphen = -4;

int classOf(char16_t code) {
    if (code < 0x80) {
        const auto lower = static_cast<char16_t>(code | 0x20);
        return lower >= u'a' && lower <= u'z' ? lower - u'a'
               : code >= u'0' && code <= u'9' ? kOtherWord
               : code == u'_' || code == u'.' ? kSeparator
               : code == u'-'                 ? kHyphen
                                              : kNotInName;
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

// A name read back from its last character, a character at a time.
class NameWalk {
public:
    // Takes the character before: false where it is none of a name's, or where no name goes on.
    bool takes(char16_t character) {
        if (m_cut) {
            return false;
        }
        const int letter = classOf(character);
        if (m_atEnd) {
            // "Token-0": a number after a "-" is read past.
            if (letter == kOtherWord && LogText::isDigit(QChar(character))) {
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
        // Entries are whole names.
        if (letter == kHyphen) {
            m_kinds |=
                kTree.nodes[m_node].whole & (HiddenKeyNames::kHidden | HiddenKeyNames::wholeLine);
        }
        // A digit or another script's letter inside a name: no hidden name goes on.
        m_cut = letter == kOtherWord;
        return letter == kHyphen || letter == kSeparator;
    }
    HiddenKeyNames::NameKinds kinds() const {
        return {m_cut ? m_kinds : m_kinds | kTree.nodes[m_node].whole, m_kinds};
    }

private:
    std::uint16_t m_node = 0;
    std::uint8_t m_kinds = 0;
    // Digits at the end, while nothing else was taken.
    bool m_atEnd = true;
    bool m_digits = false;
    // The name goes on where no name of the list does.
    bool m_cut = false;
};

}  // namespace

HiddenKeyNames::NameKinds HiddenKeyNames::walkBack(QStringView text, qsizetype end, qsizetype floor,
                                                   qsizetype& start) {
    NameWalk walk;
    const char16_t* characters = text.utf16();
    for (start = end; start > floor && walk.takes(characters[start - 1]);) {
        --start;
    }
    return walk.kinds();
}

HiddenKeyNames::NameKinds HiddenKeyNames::readBack(const LineReader& reader, qsizetype end,
                                                   qsizetype floor, qsizetype& start) {
    NameWalk walk;
    for (start = end; start > floor;) {
        const LineCharacter read = reader.before(start, floor);
        if (!walk.takes(read.character)) {
            break;
        }
        start = read.start;
    }
    return walk.kinds();
}

int HiddenKeyNames::kindsOf(QStringView key, bool wholeName) {
    qsizetype start = 0;
    const NameKinds kinds = readBack(LineReader(key), key.size(), 0, start);
    return wholeName && start == 0 ? kinds.whole : kinds.ending;
}
