#pragma once

#include "foundation/logging/LoggerConfig.h"
#include "foundation/logging/SourceLocation.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QFile;

// The client's one logger: filters by level and tags, prints every accepted line to the console
// and, with file logging on, appends it to the log file. The message of each line is shown as
// LogRedaction::shownLine shows it (masked, one line), before the logger's lock is taken. Every
// entry may be called from any thread; a line is always written whole.
class FileLogger {
public:
    // Where a line goes: the console and the log file, or the log file alone.
    enum class Reach { consoleAndFile, fileOnly };

    // Receives each console line, newline included. The default writes to standard output.
    using ConsoleSink = std::function<void(const QByteArray& line)>;

    static FileLogger& shared();
    // The shared logger once something has used it, without making it; null before.
    static FileLogger* sharedIfMade();

    explicit FileLogger(ConsoleSink consoleSink = {});
    ~FileLogger();
    FileLogger(const FileLogger&) = delete;
    FileLogger& operator=(const FileLogger&) = delete;

    // With a configuration: takes it whole and opens or closes the log file to match.
    // Without one: keeps the configuration and closes the file.
    void setup(const std::optional<LoggerConfig>& config);
    void setLogLevel(LogLevel level);
    void setWhitelist(const std::optional<QSet<LogTag>>& tags);
    void setBlacklist(const QSet<LogTag>& tags);

    LogLevel currentLevel() const;
    std::optional<QString> currentLogFilePath() const;
    LoggerConfig config() const;

    // Where console lines go from now on; an empty sink restores standard output.
    void setConsoleSink(ConsoleSink consoleSink);

    // Empties the log file; only while file logging is on and the file is open.
    void clearLogFile();

    void verbose(const QString& message, LogTag tag,
                 SourceLocation where = SourceLocation::current());
    void debug(const QString& message, LogTag tag,
               SourceLocation where = SourceLocation::current());
    void info(const QString& message, LogTag tag, SourceLocation where = SourceLocation::current());
    void warning(const QString& message, LogTag tag,
                 SourceLocation where = SourceLocation::current());
    void error(const QString& message, LogTag tag,
               SourceLocation where = SourceLocation::current());

    void verbose(const QString& message, SourceLocation where = SourceLocation::current());
    void debug(const QString& message, SourceLocation where = SourceLocation::current());
    void info(const QString& message, SourceLocation where = SourceLocation::current());
    void warning(const QString& message, SourceLocation where = SourceLocation::current());
    void error(const QString& message, SourceLocation where = SourceLocation::current());

    void write(LogLevel level, LogTag tag, const QString& message, const SourceLocation& where,
               Reach reach = Reach::consoleAndFile);
    // The same for a message that took LogRedaction::maskedLine already (a text shown in several
    // places is masked once): it is only kept to one line.
    void writeMasked(LogLevel level, LogTag tag, const QString& maskedMessage,
                     const SourceLocation& where = SourceLocation::current());

    // "mac_brisca_cn.log" in the user's cache folder.
    static QString defaultLogFilePath();

private:
    bool admits(LogLevel level, LogTag tag) const;
    bool admitsLocked(LogLevel level, LogTag tag) const;
    // A message already shown as lines show it.
    void writeShown(LogLevel level, LogTag tag, const QString& shown, const SourceLocation& where,
                    Reach reach);
    void writeShownLocked(LogLevel level, LogTag tag, const QString& shown,
                          const SourceLocation& where, Reach reach = Reach::consoleAndFile);
    QString formatLine(LogLevel level, LogTag tag, const QString& message,
                       const SourceLocation& where) const;
    void openLogFileLocked();
    void closeLogFileLocked();
    bool isFileOpenLocked() const;
    QString effectivePathLocked() const;
    void printLocked(const QString& line);

    mutable std::mutex m_mutex;
    LoggerConfig m_config;
    std::unique_ptr<QFile> m_logFile;
    ConsoleSink m_consoleSink;
};
