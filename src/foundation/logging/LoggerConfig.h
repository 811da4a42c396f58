#pragma once

#include "foundation/logging/LogLevel.h"
#include "foundation/logging/LogTag.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>

struct LoggerConfig {
    LogLevel level = LogLevel::debug;
    bool enableFileLogging = false;
    std::optional<QString> logFilePath;    // absent: the default path in the cache folder
    std::uint64_t maxFileSize = 10485760;  // carried for callers; the logger never rotates
    int maxFileCount = 5;
    bool showTimestamp = true;
    bool showFileLine = true;
    bool showFunction = false;
    std::optional<QSet<LogTag>> whitelistTags;  // present: only these tags are written
    QSet<LogTag> blacklistTags;
};
