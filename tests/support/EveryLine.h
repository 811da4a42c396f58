#pragma once

#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/FileLogger.h"
#include "foundation/logging/ForeignLogLines.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <mutex>

// Every line the process writes while it lives: plain console lines and the logger's lines as
// they go to the console, Qt's messages among them through the client's own handler.
class EveryLine {
public:
    EveryLine() {
        ConsoleOutput::setSinkForTesting([](const QString& line) { add(line); });
        FileLogger::shared().setConsoleSink(
            [](const QByteArray& line) { add(QString::fromUtf8(line).trimmed()); });
        s_previous = qInstallMessageHandler(nullptr);
        ForeignLogLines::installQtMessageHandler();
    }
    ~EveryLine() {
        qInstallMessageHandler(s_previous);
        FileLogger::shared().setConsoleSink({});
        ConsoleOutput::setSinkForTesting({});
    }
    EveryLine(const EveryLine&) = delete;
    EveryLine& operator=(const EveryLine&) = delete;

    static QStringList lines() {
        std::lock_guard lock(s_mutex);
        return s_lines;
    }
    // Turns the shared logger's file on, "mac_brisca_cn.log" in the folder; the file's path.
    static QString logToFileIn(const QString& folder) {
        LoggerConfig config;
        config.enableFileLogging = true;
        config.logFilePath = QDir(folder).filePath(QStringLiteral("mac_brisca_cn.log"));
        FileLogger::shared().setup(config);
        return *config.logFilePath;
    }

    static void clear() {
        std::lock_guard lock(s_mutex);
        s_lines.clear();
    }

private:
    static void add(const QString& line) {
        std::lock_guard lock(s_mutex);
        s_lines << line;
    }

    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};
