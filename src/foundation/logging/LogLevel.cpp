#include "foundation/logging/LogLevel.h"

std::optional<LogLevel> logLevelFromRaw(int raw) {
    if (raw < 0 || raw > static_cast<int>(LogLevel::none)) {
        return std::nullopt;
    }
    return static_cast<LogLevel>(raw);
}

QString logLevelDisplayText(LogLevel level) {
    switch (level) {
        case LogLevel::verbose:
            return QStringLiteral("VERBOSE");
        case LogLevel::debug:
            return QStringLiteral("DEBUG");
        case LogLevel::info:
            return QStringLiteral("INFO");
        case LogLevel::warning:
            return QStringLiteral("WARN");
        case LogLevel::error:
            return QStringLiteral("ERROR");
        case LogLevel::none:
            break;
    }
    return QStringLiteral("NONE");
}
