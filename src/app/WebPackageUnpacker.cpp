#include "app/WebPackageUnpacker.h"

#include "foundation/storage/ArchiveExtractor.h"

namespace WebPackageUnpacker {
namespace {

// The extractor's code and text stay; only the domain is the one callers know.
Error unzipError(const Error& error) {
    return Error{kErrorDomain, error.code, error.message};
}

}  // namespace

Result<int> countEntries(const QString& zipPath) {
    const Result<ArchiveExtractor::Listing> listed =
        ArchiveExtractor::list(zipPath, ExtractionPolicy::webPackage());
    if (!listed) {
        return unzipError(listed.error());
    }
    // The policy caps the count far below the range of int.
    return static_cast<int>(listed.value().entryCount);
}

Result<void> extract(const QString& zipPath, const QString& destinationFolder) {
    const Result<void> extracted =
        ArchiveExtractor::extract(zipPath, destinationFolder, ExtractionPolicy::webPackage());
    if (!extracted) {
        return unzipError(extracted.error());
    }
    return {};
}

}  // namespace WebPackageUnpacker
