#pragma once

#include "foundation/ConsoleOutput.h"
#include "foundation/FileLogger.h"
#include "web/Web2NativeMessageHandler.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QtGlobal>

#include <memory>
#include <mutex>
#include <utility>

// What the logger writes and what is printed on the console while a test runs; both
// without the logger's time, level and source prefix.
class LineCapture {
public:
    LineCapture() {
        FileLogger::shared().setConsoleSink([state = m_state](const QByteArray& line) {
            std::lock_guard lock(state->mutex);
            QString text = QString::fromUtf8(line);
            if (text.endsWith(QLatin1Char('\n'))) {
                text.chop(1);
            }
            state->log << text;
        });
        ConsoleOutput::setSinkForTesting([state = m_state](const QString& line) {
            std::lock_guard lock(state->mutex);
            state->console << line;
        });
        s_state = m_state;
        m_previous = qInstallMessageHandler(&LineCapture::handle);
        s_previous = m_previous;
    }
    ~LineCapture() {
        qInstallMessageHandler(m_previous);
        ConsoleOutput::setSinkForTesting({});
        FileLogger::shared().setConsoleSink({});
        s_state.reset();
    }
    LineCapture(const LineCapture&) = delete;
    LineCapture& operator=(const LineCapture&) = delete;

    QStringList log() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->log;
    }
    QStringList console() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->console;
    }
    void clear() {
        std::lock_guard lock(m_state->mutex);
        m_state->log.clear();
        m_state->console.clear();
    }
    // A log line whose message is exactly this text.
    bool logged(const QString& message) const {
        for (const QString& line : log()) {
            if (line.endsWith(QLatin1Char(' ') + message)) {
                return true;
            }
        }
        return false;
    }
    bool loggedStartingWith(const QString& prefix) const {
        for (const QString& line : log()) {
            if (line.contains(QLatin1Char(' ') + prefix)) {
                return true;
            }
        }
        return false;
    }
    bool printed(const QString& line) const { return console().contains(line); }
    bool printedStartingWith(const QString& prefix) const {
        for (const QString& line : console()) {
            if (line.startsWith(prefix)) {
                return true;
            }
        }
        return false;
    }

private:
    struct State {
        std::mutex mutex;
        QStringList log;
        QStringList console;
    };

    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtInfoMsg) {
            if (auto state = s_state.lock()) {
                std::lock_guard lock(state->mutex);
                state->console << text;
                return;
            }
        }
        if (s_previous) {
            s_previous(type, context, text);
        }
    }

    std::shared_ptr<State> m_state = std::make_shared<State>();
    QtMessageHandler m_previous = nullptr;
    static inline std::weak_ptr<State> s_state;
    static inline QtMessageHandler s_previous = nullptr;
};

// Notes every message it is given as "<label>:<type>:<compact data>".
class RecordingHandler : public Web2NativeMessageHandler {
public:
    explicit RecordingHandler(QString label, std::shared_ptr<QStringList> calls)
        : m_label(std::move(label)), m_calls(std::move(calls)) {}

    void handle(const Web2NativeMessage& message) override {
        const QJsonObject data{{QStringLiteral("d"), message.data}};
        *m_calls << m_label + QLatin1Char(':') + message.type + QLatin1Char(':') +
                        QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact));
    }

private:
    QString m_label;
    std::shared_ptr<QStringList> m_calls;
};
