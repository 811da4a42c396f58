#pragma once

#include "foundation/logging/LogLevel.h"
#include "foundation/logging/LogTag.h"
#include "foundation/logging/SourceLocation.h"

#include <QString>

// The logging entry the client uses: hands the line to the shared logger's writer of `level`.
// Level `none` writes nothing.
void KXLog(const QString& message, LogTag tag, LogLevel level,
           SourceLocation where = SourceLocation::current());

void LogVerbose(const QString& message, LogTag tag,
                SourceLocation where = SourceLocation::current());
void LogDebug(const QString& message, LogTag tag, SourceLocation where = SourceLocation::current());
void LogInfo(const QString& message, LogTag tag, SourceLocation where = SourceLocation::current());
void LogWarning(const QString& message, LogTag tag,
                SourceLocation where = SourceLocation::current());
void LogError(const QString& message, LogTag tag, SourceLocation where = SourceLocation::current());
