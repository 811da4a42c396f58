#pragma once

#include "app/DownloadProgress.h"
#include "foundation/json/Result.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <vector>

// The worker-thread half of installing a downloaded web package: taking over the downloaded file,
// checking that it is a zip, and unpacking it into its version folder. Nothing here touches the
// manager; progress and outcomes travel through the reporter.
namespace WebPackageInstaller {

// Where the validated package waits for unpacking.
inline const QString kTemporaryZipName = QStringLiteral("KXVWebContent_temp_download.zip");

struct Job {
    QString logPrefix = QStringLiteral("[WebPath]");
    QString targetFolder;  // <web-content root>/<version>
    QString zipPath;       // <temporary folder>/kTemporaryZipName
    // A finished transfer to move to `zipPath` and validate first; absent when the zip is there.
    std::optional<QString> downloadedFile;
    int httpStatus = -1;
    QString mimeType = QStringLiteral("-");
};

struct Reporter {
    std::function<void(DownloadStep step, std::optional<double> extractionFraction,
                       const QString& message)>
        publish;
    std::function<void(int totalEntries)> counted;
};

enum class FailureStage { handlingDownload, extracting };
struct Failure {
    FailureStage stage = FailureStage::extracting;
    Error error;
};

Result<void, Failure> run(const Job& job, const Reporter& reporter);

// Accepts a file that exists, is not empty and starts with "PK"; the HTTP status and MIME type
// only go into the log and the error text.
Result<void> validateDownloadedZip(const QString& filePath, int httpStatus, const QString& mimeType,
                                   const QString& logPrefix = QStringLiteral("[WebPath]"));

// Moves a file or folder; across file systems by copying and removing the original. Reports
// failures through `code`, never by throwing.
void moveItem(const std::filesystem::path& from, const std::filesystem::path& to,
              std::error_code& code);

// The items directly in `folder`, read whole before the caller changes anything there. Reports
// failures through `code`, never by throwing.
std::vector<std::filesystem::path> folderItems(const std::filesystem::path& folder,
                                               std::error_code& code);

// Makes the folder where it is missing; the system's error for it when it cannot be made or
// nothing can be written in it.
Result<void> ensureWritableFolder(const QString& folder);
// Clears the folder's place for the unpacker, which makes the folder itself: whatever is there
// (folder, file or link) goes, and the parents are created.
Result<void> prepareExtractionTarget(const QString& folder);
// The archive's entry count, never below 10.
Result<int> countZipEntries(const QString& zipPath, const QString& logPrefix);
Result<void> dittoExtract(const QString& zipPath, const QString& destination,
                          const QString& logPrefix);

}  // namespace WebPackageInstaller
