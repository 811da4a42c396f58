#pragma once

#include "foundation/Result.h"

#include <QString>

// The one place the web package's archive is read. A web package holds plain files and folders
// only: entries with absolute names, ".." components, links of any kind or special files are
// refused, and a refused entry fails the whole operation. Failures have the domain "UnzipError"
// and the archive library's own text.
namespace WebPackageUnpacker {

// How many entries the archive lists; reading the whole listing also finds a damaged or hostile
// archive before anything is written.
Result<int> countEntries(const QString& zipPath);

// Unpacks into `destinationFolder`, which must exist. On failure what was written by then stays
// inside the folder; callers drop the folder.
Result<void> extract(const QString& zipPath, const QString& destinationFolder);

}  // namespace WebPackageUnpacker
