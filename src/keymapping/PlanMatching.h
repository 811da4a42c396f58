#pragma once

#include "keymapping/KMPDirectory.h"

#include <QList>
#include <QString>

// Which built-in plans serve a package, and in which order plans are offered.
namespace PlanMatching {

// A pattern is a "|"-separated list of pieces; a piece matches the package name when it equals
// it or, read as a regular expression anchored at both ends, matches it whole.
bool patternMatches(const QString& pattern, const QString& packageName);

// Higher priority first (absent counts as 0), then the longer pattern, then the file name.
bool entryComesBefore(const KMPIndexEntry& a, const KMPIndexEntry& b);

// File names in code-point order, case-sensitive.
bool fileNameComesBefore(const QString& a, const QString& b);

}  // namespace PlanMatching

// The entries that match `packageName`, in offering order. Never fails.
QList<KMPIndexEntry> matchPlanEntries(const QString& packageName,
                                      const QList<KMPIndexEntry>& entries);
