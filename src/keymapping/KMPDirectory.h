#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct ResolutionPattern {
    double width = 0;
    double height = 0;

    bool operator==(const ResolutionPattern&) const = default;
};

// One entry of the plan package's index: a plan file and the package names it serves.
struct KMPIndexEntry {
    QString packageNamePattern;
    std::optional<qint64> resolutionType;                // kept, not used
    std::optional<ResolutionPattern> resolutionPattern;  // kept, not used
    std::optional<qint64> priority;
    QString fileName;

    bool operator==(const KMPIndexEntry&) const = default;
};

// The index file "dir_kmps.dir" of the plan package.
struct KMPDirectory {
    QList<KMPIndexEntry> kmps;

    static Result<KMPDirectory> decode(const QByteArray& data);
};
