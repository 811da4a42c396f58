#pragma once

#include <QtGlobal>

#include <optional>

// The kind of a file the user uploads; sent as its integer value.
enum class FileType : int {
    all = 0,
    app = 1,
    picture = 2,
    document = 3,
};

// Exactly 0 to 3, else nothing.
std::optional<FileType> fileTypeFromRaw(qint64 raw);

constexpr int rawValue(FileType type) {
    return static_cast<int>(type);
}
