#pragma once

#include "foundation/logging/FileLogger.h"
#include "web/NativeWebView.h"

#include <QJsonObject>
#include <QStringList>

#include <memory>
#include <mutex>

// The logger's lines while it lives, from any thread.
class LogLines {
public:
    LogLines() {
        FileLogger::shared().setConsoleSink([state = m_state](const QByteArray& line) {
            const std::lock_guard lock(state->mutex);
            state->lines << QString::fromUtf8(line).trimmed();
        });
    }
    ~LogLines() { FileLogger::shared().setConsoleSink({}); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    bool contains(const QString& text) const {
        const std::lock_guard lock(m_state->mutex);
        return m_state->lines.join(QLatin1Char('\n')).contains(text);
    }

private:
    struct State {
        std::mutex mutex;
        QStringList lines;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// A native web view that records what it is asked to load and send instead of loading it.
class RecordingWebView : public NativeWebView {
public:
    using NativeWebView::NativeWebView;

    QStringList loadedURLs;
    QStringList loadedFiles;
    QStringList loadedHTML;
    QList<std::pair<QString, QJsonObject>> sent;

    void loadURL(const QString& text) override { loadedURLs << text; }
    void loadLocalFile(const QString& path) override { loadedFiles << path; }
    void loadHTMLString(const QString& html, const std::optional<QString>&) override {
        loadedHTML << html;
    }
    void sendNative2Web(const QString& type, const QJsonObject& payload) override {
        sent.append({type, payload});
    }
    int loadCount() const {
        return static_cast<int>(loadedURLs.size() + loadedFiles.size() + loadedHTML.size());
    }
};
