#include "api/FileType.h"

std::optional<FileType> fileTypeFromRaw(qint64 raw) {
    if (raw < rawValue(FileType::all) || raw > rawValue(FileType::document)) {
        return std::nullopt;
    }
    return static_cast<FileType>(raw);
}
