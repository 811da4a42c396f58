#pragma once

#include "foundation/LogLevel.h"
#include "foundation/LogTag.h"

#include <QString>

#include <source_location>

// The logging entry the client uses: hands the line to the shared logger's writer of `level`.
// Level `none` writes nothing.
void KXLog(const QString& message, LogTag tag, LogLevel level,
           std::source_location where = std::source_location::current());

void LogVerbose(const QString& message, LogTag tag,
                std::source_location where = std::source_location::current());
void LogDebug(const QString& message, LogTag tag,
              std::source_location where = std::source_location::current());
void LogInfo(const QString& message, LogTag tag,
             std::source_location where = std::source_location::current());
void LogWarning(const QString& message, LogTag tag,
                std::source_location where = std::source_location::current());
void LogError(const QString& message, LogTag tag,
              std::source_location where = std::source_location::current());
