#include "foundation/logging/ForeignLogLines.h"

#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/FileLogger.h"

#include <QtGlobal>

#include <cstring>

namespace {

LogLevel levelOf(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return LogLevel::debug;
        case QtInfoMsg:
            return LogLevel::info;
        case QtWarningMsg:
            return LogLevel::warning;
        case QtCriticalMsg:
        case QtFatalMsg:
            break;
    }
    return LogLevel::error;
}

void handleQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // A message raised while one is written goes to standard error, not round again.
    thread_local bool writing = false;
    const char* category = context.category;
    const bool named = category != nullptr && std::strcmp(category, "default") != 0;
    QString text =
        (named ? QString::fromLatin1(category) + QStringLiteral(": ") : QString()) + message;
    // Some end in a line break of their own.
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'))) {
        text.chop(1);
    }
    // The client's own system log, and anything before start-up has made the logger, whose first
    // lines are the client's own: standard error, as Qt would.
    if (writing || FileLogger::sharedIfMade() == nullptr ||
        (named && std::strcmp(category, ForeignLogLines::kSystemLogCategory) == 0)) {
        ConsoleOutput::printError(text);
        return;
    }
    writing = true;
    ForeignLogLines::write(
        levelOf(type), named && std::strcmp(category, "js") == 0 ? LogTag::web : LogTag::app, text);
    writing = false;
}

}  // namespace

namespace ForeignLogLines {

void installQtMessageHandler() {
    qInstallMessageHandler(handleQtMessage);
}

void write(LogLevel level, LogTag tag, const QString& text, SourceLocation where) {
    FileLogger::shared().write(level, tag, text, where,
                               level >= LogLevel::warning ? FileLogger::Reach::consoleAndFile
                                                          : FileLogger::Reach::fileOnly);
}

}  // namespace ForeignLogLines
