#pragma once

#include "foundation/logging/FileLogger.h"

#include <QStringList>

#include <memory>
#include <mutex>

// Collects the lines the shared logger prints for as long as it lives.
class LogCapture {
public:
    LogCapture() {
        FileLogger::shared().setConsoleSink([state = m_state](const QByteArray& line) {
            std::lock_guard lock(state->mutex);
            state->lines << QString::fromUtf8(line).trimmed();
        });
    }
    ~LogCapture() { FileLogger::shared().setConsoleSink({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line since the last call.
    QStringList take() {
        std::lock_guard lock(m_state->mutex);
        return std::exchange(m_state->lines, {});
    }

private:
    struct State {
        std::mutex mutex;
        QStringList lines;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};
