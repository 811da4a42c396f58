#include "foundation/logging/DigitGroups.h"

#include <algorithm>

namespace {

constexpr auto kMobileDigits = static_cast<size_t>(DigitGroups::kMobileDigits);
constexpr auto kIdCardCharacters = static_cast<size_t>(DigitGroups::kIdCardCharacters);
constexpr std::u16string_view kChinaCode = u"86";
// An ID card's date of birth: its 7th to 14th characters.
constexpr size_t kBirthDate = 6;
constexpr int kEarliestBirthYear = 1800;
constexpr int kLatestBirthYear = 2099;

constexpr quint32 bit(size_t digits) {
    return digits < 32 ? quint32{1} << digits : 0;
}

bool isDigit(char16_t character) {
    return character >= u'0' && character <= u'9';
}

int numberOf(std::u16string_view digits) {
    int number = 0;
    for (const char16_t digit : digits) {
        number = number * 10 + (digit - u'0');
    }
    return number;
}

// YYYYMMDD, a day of the calendar.
bool isDate(std::u16string_view text) {
    const int year = numberOf(text.substr(0, 4));
    const int month = numberOf(text.substr(4, 2));
    const int day = numberOf(text.substr(6, 2));
    if (year < kEarliestBirthYear || year > kLatestBirthYear || month < 1 || month > 12 ||
        day < 1) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool isMobile(std::u16string_view digits, quint32 groupEnds) {
    if (digits.size() < kMobileDigits || !std::ranges::all_of(digits, isDigit)) {
        return false;
    }
    const size_t code = digits.size() - kMobileDigits;
    if (code != 0 && digits.substr(0, code) != kChinaCode) {
        return false;
    }
    const std::u16string_view number = digits.substr(code);
    const quint32 allowed = bit(code) | bit(code + 3) | bit(code + 7) | bit(digits.size());
    return number[0] == u'1' && number[1] >= u'3' && number[1] <= u'9' &&
           (groupEnds & ~allowed) == 0;
}

bool isIdCard(std::u16string_view digits, quint32 groupEnds) {
    if (digits.size() != kIdCardCharacters ||
        !std::ranges::all_of(digits.substr(0, kIdCardCharacters - 1), isDigit)) {
        return false;
    }
    const char16_t check = digits.back();
    const quint32 allowed = bit(6) | bit(10) | bit(14) | bit(kIdCardCharacters);
    return (isDigit(check) || check == u'X' || check == u'x') &&
           isDate(digits.substr(kBirthDate, 8)) && (groupEnds & ~allowed) == 0;
}

}  // namespace

void DigitGroups::add(QStringView group) {
    for (const QChar character : group) {
        if (character == u'-') {
            endGroup();
        } else if (m_size < m_digits.size()) {
            m_digits[m_size++] = character.unicode();
        }
    }
    endGroup();
}

void DigitGroups::endGroup() {
    if (m_size > 0) {
        m_groupEnds |= bit(m_size);
    }
}

bool DigitGroups::isPersonal() const {
    const std::u16string_view digits(m_digits.data(), m_size);
    return isMobile(digits, m_groupEnds) || isIdCard(digits, m_groupEnds);
}
