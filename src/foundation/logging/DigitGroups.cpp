#include "foundation/logging/DigitGroups.h"

namespace {

constexpr int kPhoneDigits = 11;
constexpr int kLongestCountryCode = 3;
constexpr int kIdCardCharacters = 18;

bool isDigit(QChar character) {
    return character >= u'0' && character <= u'9';
}

bool joinsGroups(char16_t character) {
    return character == u' ' || character == u'\t' || character == u'-' || character == 0x00a0 ||
           character == 0x2009 || character == 0x3000;
}

// The digits of a group of digits and dashes; -1 for any other group.
int digitsOf(QStringView group) {
    int digits = 0;
    for (const QChar character : group) {
        if (character != u'-' && !isDigit(character)) {
            return -1;
        }
        digits += isDigit(character) ? 1 : 0;
    }
    return digits > 0 ? digits : -1;
}

struct Number {
    int digits = 0;
    // The digits of the code after a "+" (0 where it is glued to the number); -1 without a "+".
    int countryCode = -1;
    bool checkLetter = false;

    bool isWhole() const {
        if (countryCode >= 0) {
            return countryCode > 0 ? digits - countryCode == kPhoneDigits : digits > kPhoneDigits;
        }
        return digits == kPhoneDigits || digits == kIdCardCharacters ||
               (checkLetter && digits == kIdCardCharacters - 1);
    }
    int mostDigits() const {
        return countryCode < 0
                   ? kIdCardCharacters
                   : (countryCode > 0 ? countryCode : kLongestCountryCode) + kPhoneDigits;
    }
};

}  // namespace

qsizetype DigitGroups::end(const LineReader& reader, qsizetype start, qsizetype firstEnd,
                           NextWhere& ends, bool form) {
    const QStringView text = reader.text();
    const QStringView first = text.sliced(start, firstEnd - start);
    const bool plus = first.startsWith(u'+');
    Number number{digitsOf(plus ? first.sliced(1) : first)};
    if (number.digits < 0) {
        return firstEnd;
    }
    if (plus) {
        const qsizetype code = first.indexOf(u'-');
        const int run = code < 0 ? number.digits : static_cast<int>(code) - 1;
        number.countryCode = run <= kLongestCountryCode ? run : 0;
    }
    qsizetype end = firstEnd;
    while (!number.isWhole() && !number.checkLetter) {
        qsizetype group = end;
        while (group < text.size() && joinsGroups(reader.urlAt(group, form).character)) {
            group = reader.urlAt(group, form).end;
        }
        if (group == end || group == text.size() || !isDigit(text[group])) {
            break;
        }
        const qsizetype groupEnd = ends.from(group);
        const QStringView digits = text.sliced(group, groupEnd - group);
        const bool letter =
            number.countryCode < 0 && (digits.endsWith(u'X') || digits.endsWith(u'x'));
        const int count = digitsOf(letter ? digits.chopped(1) : digits);
        const int total = number.digits + count;
        if (count < 0 || (letter ? total != kIdCardCharacters - 1 : total > number.mostDigits())) {
            break;
        }
        number = Number{total, number.countryCode, letter};
        end = groupEnd;
    }
    return end;
}
