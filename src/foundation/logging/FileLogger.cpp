#include "foundation/logging/FileLogger.h"

#include "foundation/logging/LogRedaction.h"
#include "foundation/storage/FileExtensions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QTime>

#include <atomic>
#include <cstdio>

namespace {

const QString kLogFileName = QStringLiteral("mac_brisca_cn.log");

void writeToStandardOutput(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

QString tagList(const QSet<LogTag>& tags) {
    QStringList texts;
    for (LogTag tag : kAllLogTags) {
        if (tags.contains(tag)) {
            texts << logTagText(tag);
        }
    }
    return texts.join(QStringLiteral(", "));
}

QString lastPathComponent(const char* path) {
    const QString text = QString::fromUtf8(path);
    return text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

namespace {

std::atomic<FileLogger*> madeShared{nullptr};

}  // namespace

FileLogger& FileLogger::shared() {
    static FileLogger* const instance = [] {
        auto* logger = new FileLogger();
        logger->setup(LoggerConfig{});
        madeShared.store(logger);
        return logger;
    }();
    return *instance;
}

FileLogger* FileLogger::sharedIfMade() {
    return madeShared.load();
}

FileLogger::FileLogger(ConsoleSink consoleSink)
    : m_consoleSink(consoleSink ? std::move(consoleSink) : ConsoleSink(writeToStandardOutput)) {}

FileLogger::~FileLogger() = default;

QString FileLogger::defaultLogFilePath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return QDir(folder).filePath(kLogFileName);
}

void FileLogger::setup(const std::optional<LoggerConfig>& config) {
    const LoggerConfig reported = config.value_or(LoggerConfig{});
    const QString message = LogRedaction::shownLine(
        QStringLiteral("FileLogger initialized - Level: ") + logLevelDisplayText(reported.level) +
        QStringLiteral(", File: ") +
        (reported.enableFileLogging ? QStringLiteral("ON") : QStringLiteral("OFF")));
    std::lock_guard lock(m_mutex);
    if (config) {
        m_config = *config;
        if (m_config.enableFileLogging) {
            openLogFileLocked();
        } else {
            closeLogFileLocked();
        }
    } else {
        closeLogFileLocked();
    }
    writeShownLocked(LogLevel::info, LogTag::app, message, SourceLocation::current());
}

void FileLogger::setLogLevel(LogLevel level) {
    const QString message = LogRedaction::shownLine(QStringLiteral("Log level changed to: ") +
                                                    logLevelDisplayText(level));
    std::lock_guard lock(m_mutex);
    m_config.level = level;
    writeShownLocked(LogLevel::info, LogTag::app, message, SourceLocation::current());
}

void FileLogger::setWhitelist(const std::optional<QSet<LogTag>>& tags) {
    const QString message = LogRedaction::shownLine(
        QStringLiteral("Log whitelist: ") + (tags ? tagList(*tags) : QStringLiteral("ALL")));
    std::lock_guard lock(m_mutex);
    m_config.whitelistTags = tags;
    writeShownLocked(LogLevel::info, LogTag::app, message, SourceLocation::current());
}

void FileLogger::setBlacklist(const QSet<LogTag>& tags) {
    const QString message =
        LogRedaction::shownLine(QStringLiteral("Log blacklist: ") + tagList(tags));
    std::lock_guard lock(m_mutex);
    m_config.blacklistTags = tags;
    writeShownLocked(LogLevel::info, LogTag::app, message, SourceLocation::current());
}

LogLevel FileLogger::currentLevel() const {
    std::lock_guard lock(m_mutex);
    return m_config.level;
}

LoggerConfig FileLogger::config() const {
    std::lock_guard lock(m_mutex);
    return m_config;
}

void FileLogger::setConsoleSink(ConsoleSink consoleSink) {
    std::lock_guard lock(m_mutex);
    m_consoleSink = consoleSink ? std::move(consoleSink) : ConsoleSink(writeToStandardOutput);
}

std::optional<QString> FileLogger::currentLogFilePath() const {
    std::lock_guard lock(m_mutex);
    if (!m_config.enableFileLogging || !isFileOpenLocked()) {
        return std::nullopt;
    }
    return effectivePathLocked();
}

void FileLogger::clearLogFile() {
    std::lock_guard lock(m_mutex);
    if (!m_config.enableFileLogging || !isFileOpenLocked()) {
        return;
    }
    QFile::remove(effectivePathLocked());
    closeLogFileLocked();
    openLogFileLocked();
    writeShownLocked(LogLevel::info, LogTag::app, QStringLiteral("Log file cleared"),
                     SourceLocation::current());
}

void FileLogger::verbose(const QString& message, LogTag tag, SourceLocation where) {
    write(LogLevel::verbose, tag, message, where);
}
void FileLogger::debug(const QString& message, LogTag tag, SourceLocation where) {
    write(LogLevel::debug, tag, message, where);
}
void FileLogger::info(const QString& message, LogTag tag, SourceLocation where) {
    write(LogLevel::info, tag, message, where);
}
void FileLogger::warning(const QString& message, LogTag tag, SourceLocation where) {
    write(LogLevel::warning, tag, message, where);
}
void FileLogger::error(const QString& message, LogTag tag, SourceLocation where) {
    write(LogLevel::error, tag, message, where);
}
void FileLogger::verbose(const QString& message, SourceLocation where) {
    write(LogLevel::verbose, LogTag::app, message, where);
}
void FileLogger::debug(const QString& message, SourceLocation where) {
    write(LogLevel::debug, LogTag::app, message, where);
}
void FileLogger::info(const QString& message, SourceLocation where) {
    write(LogLevel::info, LogTag::app, message, where);
}
void FileLogger::warning(const QString& message, SourceLocation where) {
    write(LogLevel::warning, LogTag::app, message, where);
}
void FileLogger::error(const QString& message, SourceLocation where) {
    write(LogLevel::error, LogTag::app, message, where);
}

void FileLogger::write(LogLevel level, LogTag tag, const QString& message,
                       const SourceLocation& where, Reach reach) {
    if (admits(level, tag)) {
        writeShown(level, tag, LogRedaction::shownLine(message), where, reach);
    }
}

void FileLogger::writeMasked(LogLevel level, LogTag tag, const QString& maskedMessage,
                             const SourceLocation& where) {
    if (admits(level, tag)) {
        writeShown(level, tag, LogRedaction::singleLine(maskedMessage), where,
                   Reach::consoleAndFile);
    }
}

// Asked before the message is shown, so that a line no one writes costs no mask.
bool FileLogger::admits(LogLevel level, LogTag tag) const {
    std::lock_guard lock(m_mutex);
    return admitsLocked(level, tag);
}

bool FileLogger::admitsLocked(LogLevel level, LogTag tag) const {
    return logLevelAdmits(m_config.level, level) &&
           (!m_config.whitelistTags || m_config.whitelistTags->contains(tag)) &&
           !m_config.blacklistTags.contains(tag);
}

void FileLogger::writeShown(LogLevel level, LogTag tag, const QString& shown,
                            const SourceLocation& where, Reach reach) {
    std::lock_guard lock(m_mutex);
    writeShownLocked(level, tag, shown, where, reach);
}

void FileLogger::writeShownLocked(LogLevel level, LogTag tag, const QString& shown,
                                  const SourceLocation& where, Reach reach) {
    // Asked again: the configuration may have changed while the message was shown.
    if (!admitsLocked(level, tag)) {
        return;
    }
    const QByteArray line = formatLine(level, tag, shown, where).toUtf8() + '\n';
    if (reach == Reach::consoleAndFile) {
        m_consoleSink(line);
    }
    if (m_config.enableFileLogging && m_logFile) {
        m_logFile->write(line);
    }
}

QString FileLogger::formatLine(LogLevel level, LogTag tag, const QString& message,
                               const SourceLocation& where) const {
    QStringList parts;
    if (m_config.showTimestamp) {
        parts << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    }
    parts << QLatin1Char('[') + logLevelDisplayText(level) + QStringLiteral("][") +
                 logTagText(tag) + QLatin1Char(']');
    if (m_config.showFileLine) {
        parts << lastPathComponent(where.file_name()) + QLatin1Char(':') +
                     QString::number(where.line());
    }
    if (m_config.showFunction) {
        parts << QString::fromUtf8(where.function_name());
    }
    parts << message;
    return parts.join(QLatin1Char(' '));
}

QString FileLogger::effectivePathLocked() const {
    return m_config.logFilePath.value_or(defaultLogFilePath());
}

bool FileLogger::isFileOpenLocked() const {
    return m_logFile && m_logFile->isOpen();
}

void FileLogger::openLogFileLocked() {
    const QString path = effectivePathLocked();
    createFolder(QFileInfo(path).absolutePath());
    // Every opening starts an empty log; nothing from an earlier run is appended to.
    auto file = std::make_unique<QFile>(path);
    // The log may quote the user's account details; it is the user's alone.
    constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered,
                    ownerOnly) ||
        !file->setPermissions(ownerOnly)) {
        printLocked(QStringLiteral("❌ Failed to create log file at: ") + path);
        return;
    }
    m_logFile = std::move(file);
    printLocked(QStringLiteral("✅ Log file opened: ") + path);
}

void FileLogger::closeLogFileLocked() {
    m_logFile.reset();
}

void FileLogger::printLocked(const QString& line) {
    m_consoleSink(LogRedaction::shownLine(line).toUtf8() + '\n');
}
