#pragma once

#include "foundation/json/Result.h"

#include <QString>

// The one place the web package's archive is read, through the hardened extractor with the
// web-package limits. A web package holds plain files and folders only: entries with absolute
// names, ".." components, links of any kind or special files are refused, and a refused entry
// fails the whole operation. Failures have the domain "UnzipError" and the extractor's text,
// which carries the archive library's own.
namespace WebPackageUnpacker {

inline const QString kErrorDomain = QStringLiteral("UnzipError");

// How many entries the archive lists, from the headers alone; a damaged archive or one past the
// entry cap fails here, before anything is written.
Result<int> countEntries(const QString& zipPath);

// Unpacks into `destinationFolder`, which must not exist yet; its parent must. The folder
// appears only once the whole archive is unpacked; on failure it does not exist.
Result<void> extract(const QString& zipPath, const QString& destinationFolder);

}  // namespace WebPackageUnpacker
