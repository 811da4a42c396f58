#pragma once

#include <QString>

#include <optional>

// Ordered by raw value; a configured level admits lines of that level and above.
enum class LogLevel : int {
    verbose = 0,
    debug = 1,
    info = 2,
    warning = 3,
    error = 4,
    none = 5,
};

// 0…5, anything else yields nothing.
std::optional<LogLevel> logLevelFromRaw(int raw);

// "VERBOSE", "DEBUG", "INFO", "WARN", "ERROR", "NONE".
QString logLevelDisplayText(LogLevel level);

// Whether a line of `lineLevel` passes a logger configured at `configured`.
constexpr bool logLevelAdmits(LogLevel configured, LogLevel lineLevel) {
    return configured != LogLevel::none && lineLevel != LogLevel::none && configured <= lineLevel;
}
