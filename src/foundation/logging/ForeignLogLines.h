#pragma once

#include "foundation/logging/LogLevel.h"
#include "foundation/logging/LogTag.h"
#include "foundation/logging/SourceLocation.h"

#include <QString>

// Lines the client does not write itself: Qt's own messages and what pages write to their
// console. They go through the logger like every line, masked and kept to one line: warnings and
// errors to the console and the log file, information and debug lines to the log file alone, so
// that the console keeps to what tells the user something.
namespace ForeignLogLines {

// The logging category of the client's system log, whose lines keep going to standard error (as
// one line each, masked).
inline constexpr char kSystemLogCategory[] = "kx.system";

// From now on Qt's messages take this way, "category: text" as Qt shows them (tag "web" for
// pages' console messages that reach Qt, "app" for the rest). Installed first thing at start-up;
// until start-up has made the logger, whose first lines are the client's own, they go to
// standard error, one line each and masked.
void installQtMessageHandler();

void write(LogLevel level, LogTag tag, const QString& text,
           SourceLocation where = SourceLocation::current());

}  // namespace ForeignLogLines
