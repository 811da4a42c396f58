#include "foundation/KXLog.h"

#include "foundation/FileLogger.h"

void KXLog(const QString& message, LogTag tag, LogLevel level, SourceLocation where) {
    if (level == LogLevel::none) {
        return;
    }
    FileLogger::shared().write(level, tag, message, where);
}

void LogVerbose(const QString& message, LogTag tag, SourceLocation where) {
    FileLogger::shared().write(LogLevel::verbose, tag, message, where);
}
void LogDebug(const QString& message, LogTag tag, SourceLocation where) {
    FileLogger::shared().write(LogLevel::debug, tag, message, where);
}
void LogInfo(const QString& message, LogTag tag, SourceLocation where) {
    FileLogger::shared().write(LogLevel::info, tag, message, where);
}
void LogWarning(const QString& message, LogTag tag, SourceLocation where) {
    FileLogger::shared().write(LogLevel::warning, tag, message, where);
}
void LogError(const QString& message, LogTag tag, SourceLocation where) {
    FileLogger::shared().write(LogLevel::error, tag, message, where);
}
