#pragma once

#include "devicewindow/DeviceWindowPageLink.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/FileLogger.h"

#include <QDir>
#include <QStringList>
#include <QWidget>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <mutex>

// Lines written while it lives: the logger's lines, plain console lines and system-log lines.
class LineCapture {
public:
    LineCapture() {
        s_previous = qInstallMessageHandler(&LineCapture::handle);
        FileLogger::shared().setConsoleSink([](const QByteArray& line) {
            std::lock_guard lock(s_mutex);
            s_log << QString::fromUtf8(line).trimmed();
        });
        ConsoleOutput::setSinkForTesting([](const QString& line) {
            std::lock_guard lock(s_mutex);
            s_console << line;
        });
    }
    ~LineCapture() {
        ConsoleOutput::setSinkForTesting({});
        FileLogger::shared().setConsoleSink({});
        qInstallMessageHandler(s_previous);
    }
    LineCapture(const LineCapture&) = delete;
    LineCapture& operator=(const LineCapture&) = delete;

    static void clear() {
        std::lock_guard lock(s_mutex);
        s_log.clear();
        s_console.clear();
        s_system.clear();
    }
    static QStringList log() {
        std::lock_guard lock(s_mutex);
        return s_log;
    }
    static QStringList console() {
        std::lock_guard lock(s_mutex);
        return s_console;
    }
    static QStringList system() {
        std::lock_guard lock(s_mutex);
        return s_system;
    }
    // Logger lines end with the message after their time, level, tag and source prefix.
    static int logCount(const QString& message) {
        int count = 0;
        for (const QString& line : log()) {
            count += line.endsWith(message) ? 1 : 0;
        }
        return count;
    }
    static bool logged(const QString& message) { return logCount(message) > 0; }
    static bool logContains(const QString& part) {
        for (const QString& line : log()) {
            if (line.contains(part)) {
                return true;
            }
        }
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtInfoMsg && qstrcmp(context.category, "kx.system") == 0) {
            std::lock_guard lock(s_mutex);
            s_system << text;
            return;
        }
        s_previous(type, context, text);
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_mutex;
    static inline QStringList s_log;
    static inline QStringList s_console;
    static inline QStringList s_system;
};

// What the device windows told the page.
class RecordingPageLink : public DeviceWindowPageLink {
public:
    std::function<void(int status)> onBatchControlStatus;
    QStringList messages;

    void sendOpenNewCloudphone(int deviceId, bool previous) override {
        messages << QStringLiteral("open:%1:%2").arg(deviceId).arg(previous);
    }
    void sendBatchControlStatus(int status) override {
        messages << QStringLiteral("status:%1").arg(status);
        if (onBatchControlStatus) {
            onBatchControlStatus(status);
        }
    }
};

// Shown as far as its own window goes, whether or not that window is on screen.
inline bool isVisibleIn(QWidget* widget) {
    return widget && widget->isVisibleTo(widget->window());
}

inline void saveArtifact(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("KX_TEST_ARTIFACTS", QDir::tempPath());
    QDir().mkpath(folder);
    widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}
