#pragma once

#include <QString>

#include <compare>

// Orders version texts the way people read them: runs of decimal digits compare by their value
// ("1.10.0" is above "1.9.9"), any other character by its code, and a text that is a prefix of
// the other is the smaller one ("2.0" is below "2.0.0").
std::strong_ordering compareVersionsNumerically(const QString& left, const QString& right);

inline bool isVersionNewer(const QString& candidate, const QString& current) {
    return compareVersionsNumerically(candidate, current) == std::strong_ordering::greater;
}
