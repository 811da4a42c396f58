#include "update/VersionComparison.h"

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

qsizetype digitRunEnd(const QString& text, qsizetype start) {
    qsizetype end = start;
    while (end < text.size() && isDigit(text[end])) {
        ++end;
    }
    return end;
}

// Compares two runs of digits by value, whatever their length: leading zeros are skipped, then
// the longer run is larger, and runs of equal length compare digit by digit.
std::strong_ordering compareDigitRuns(QStringView left, QStringView right) {
    while (left.size() > 1 && left.front() == QLatin1Char('0')) {
        left = left.mid(1);
    }
    while (right.size() > 1 && right.front() == QLatin1Char('0')) {
        right = right.mid(1);
    }
    if (left.size() != right.size()) {
        return left.size() <=> right.size();
    }
    for (qsizetype i = 0; i < left.size(); ++i) {
        if (left[i] != right[i]) {
            return left[i].unicode() <=> right[i].unicode();
        }
    }
    return std::strong_ordering::equal;
}

}  // namespace

std::strong_ordering compareVersionsNumerically(const QString& left, const QString& right) {
    qsizetype l = 0;
    qsizetype r = 0;
    while (l < left.size() && r < right.size()) {
        if (isDigit(left[l]) && isDigit(right[r])) {
            const qsizetype lEnd = digitRunEnd(left, l);
            const qsizetype rEnd = digitRunEnd(right, r);
            const std::strong_ordering runs = compareDigitRuns(
                QStringView(left).sliced(l, lEnd - l), QStringView(right).sliced(r, rEnd - r));
            if (runs != std::strong_ordering::equal) {
                return runs;
            }
            l = lEnd;
            r = rEnd;
            continue;
        }
        if (left[l] != right[r]) {
            return left[l].unicode() <=> right[r].unicode();
        }
        ++l;
        ++r;
    }
    return (left.size() - l) <=> (right.size() - r);
}
