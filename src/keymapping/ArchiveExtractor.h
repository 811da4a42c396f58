#pragma once

#include "foundation/Result.h"

#include <QString>

// Unpacks an archive (any format and compression libarchive reads) into a folder, in process.
// Entries that would land outside the folder are refused: absolute names, ".." components,
// links that point out of the folder, and anything written through a symbolic link. A refused
// or unreadable entry fails the whole extraction; what was written by then stays in the
// folder, so callers unpack into a folder of their own and drop it on failure.
class ArchiveExtractor {
public:
    static Result<void> extract(const QString& archivePath, const QString& destinationFolder);
};
