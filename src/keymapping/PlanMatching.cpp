#include "keymapping/PlanMatching.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// Length as a person counts characters: grapheme clusters, not UTF-16 units.
qsizetype characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0) {
        ++count;
    }
    return count;
}

}  // namespace

namespace PlanMatching {

bool patternMatches(const QString& pattern, const QString& packageName) {
    const QStringList pieces = pattern.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    for (const QString& rawPiece : pieces) {
        const QString piece = rawPiece.trimmed();
        if (piece.isEmpty()) {
            continue;
        }
        if (piece == packageName) {
            return true;
        }
        // A piece that is no valid expression can only match by equality, tried above.
        const QRegularExpression expression(QLatin1Char('^') + piece + QLatin1Char('$'));
        if (expression.isValid() && expression.match(packageName).hasMatch()) {
            return true;
        }
    }
    return false;
}

bool fileNameComesBefore(const QString& a, const QString& b) {
    return a.toUcs4() < b.toUcs4();
}

bool entryComesBefore(const KMPIndexEntry& a, const KMPIndexEntry& b) {
    const qint64 priorityA = a.priority.value_or(0);
    const qint64 priorityB = b.priority.value_or(0);
    if (priorityA != priorityB) {
        return priorityA > priorityB;
    }
    const qsizetype lengthA = characterCount(a.packageNamePattern);
    const qsizetype lengthB = characterCount(b.packageNamePattern);
    if (lengthA != lengthB) {
        return lengthA > lengthB;
    }
    return fileNameComesBefore(a.fileName, b.fileName);
}

}  // namespace PlanMatching

QList<KMPIndexEntry> matchPlanEntries(const QString& packageName,
                                      const QList<KMPIndexEntry>& entries) {
    QList<KMPIndexEntry> matching;
    for (const KMPIndexEntry& entry : entries) {
        if (PlanMatching::patternMatches(entry.packageNamePattern, packageName)) {
            matching.append(entry);
        }
    }
    // Stable: entries that no rule tells apart keep their index order.
    std::stable_sort(matching.begin(), matching.end(), PlanMatching::entryComesBefore);
    return matching;
}
