#pragma once

#include <QChar>
#include <QStringView>

// A number written in groups as the numbers the mask hides are: a phone number of 11 digits,
// after a country code or not ("+86 138 0000 0000"), and an ID-card number of 17 digits and a
// check digit or X ("110101 19900307 044X"). Groups join while they can still make one such
// number, and no longer once they have.
class DigitGroups {
public:
    // Digits and dashes with at least one digit, after a "+" maybe: the first group.
    bool starts(QStringView group);
    // Takes the next group, when the number can go on with it.
    bool takes(QStringView group);
    bool isWhole() const;

    // What stands between groups: blanks, a dash, the no-break, thin and ideographic spaces.
    static bool joins(char16_t character) {
        return character == u' ' || character == u'\t' || character == u'-' ||
               character == 0x00a0 || character == 0x2009 || character == 0x3000;
    }
    static bool isDigit(QChar character) { return character >= u'0' && character <= u'9'; }

private:
    // The digits of a group of digits and dashes ending in a check letter where `checkLetter`
    // allows one; -1 for any other group.
    static int digitsOf(QStringView group, bool checkLetter);

    int m_digits = 0;
    // The digits of the country code after a "+"; -1 without a "+".
    int m_countryCode = -1;
    bool m_checkLetter = false;
};
