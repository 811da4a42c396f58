#include "foundation/logging/DigitGroups.h"

namespace {

constexpr int kPhoneDigits = 11;
constexpr int kLongestCountryCode = 3;
constexpr int kIdCardCharacters = 18;

}  // namespace

int DigitGroups::digitsOf(QStringView group, bool checkLetter) {
    if (checkLetter && (group.endsWith(u'X') || group.endsWith(u'x'))) {
        group.chop(1);
    }
    int digits = 0;
    for (const QChar character : group) {
        if (isDigit(character)) {
            ++digits;
        } else if (character != u'-') {
            return -1;
        }
    }
    return digits > 0 ? digits : -1;
}

bool DigitGroups::starts(QStringView group) {
    const bool plus = group.startsWith(u'+');
    m_digits = digitsOf(plus ? group.sliced(1) : group, false);
    if (m_digits < 0) {
        return false;
    }
    if (plus) {
        // A code glued to the number counts with it.
        const qsizetype code = group.sliced(1).indexOf(u'-');
        const int run = static_cast<int>(code < 0 ? m_digits : code);
        m_countryCode = run <= kLongestCountryCode ? run : 0;
    }
    return true;
}

bool DigitGroups::isWhole() const {
    if (m_countryCode >= 0) {
        return m_countryCode > 0 ? m_digits - m_countryCode == kPhoneDigits
                                 : m_digits > kPhoneDigits;
    }
    return m_digits == kPhoneDigits || m_digits == kIdCardCharacters ||
           (m_checkLetter && m_digits == kIdCardCharacters - 1);
}

bool DigitGroups::takes(QStringView group) {
    if (isWhole() || m_checkLetter) {
        return false;
    }
    const bool idCardEnd = m_countryCode < 0;
    const int digits = digitsOf(group, idCardEnd);
    if (digits < 0) {
        return false;
    }
    const int total = m_digits + digits;
    const bool checkLetter = idCardEnd && (group.endsWith(u'X') || group.endsWith(u'x'));
    const bool fits = m_countryCode > 0    ? total - m_countryCode <= kPhoneDigits
                      : m_countryCode == 0 ? total <= kLongestCountryCode + kPhoneDigits
                      : checkLetter        ? total == kIdCardCharacters - 1
                                           : total <= kIdCardCharacters;
    if (!fits) {
        return false;
    }
    m_digits = total;
    m_checkLetter = checkLetter;
    return true;
}
