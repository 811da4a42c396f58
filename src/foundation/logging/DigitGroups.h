#pragma once

#include <QStringView>

#include <array>
#include <string_view>

// A number's digits read group by group ("139 1234 5678", "+86-139-…"), and whether they are a
// personal number as those of a list under a personal key are ("phone: 13912345678 13800001111"):
// a mainland mobile number, 11 digits from 13 to 19 after 86 or nothing, in groups of 3, 4 and 4 or
// fewer; or an ID-card number, 17 digits and a digit or X whose 7th to 14th are a date, in groups
// of 6, 8 and 4 or of 6, 4, 4 and 4 or fewer. A device id, an order number, a code, an epoch or a
// count is neither.
class DigitGroups {
public:
    static constexpr int kMobileDigits = 11;
    static constexpr int kIdCardCharacters = 18;

    // A group's digits and dashes, an ID card's X last; a dash ends a group too.
    void add(QStringView group);
    qsizetype size() const { return static_cast<qsizetype>(m_size); }
    bool isPersonal() const;

private:
    static constexpr size_t kMostDigits = 31;

    void endGroup();

    std::array<char16_t, kMostDigits> m_digits{};
    size_t m_size = 0;
    // Bit i: a group ended after i digits.
    quint32 m_groupEnds = 0;
};
