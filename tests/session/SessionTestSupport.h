#pragma once

#include "foundation/MainQueue.h"
#include "session/UserIdentityProviding.h"

#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <mutex>

class FakeIdentity : public UserIdentityProviding {
public:
    FakeIdentity(QString id, QString secret) : uid(std::move(id)), token(std::move(secret)) {}
    QString userID() const override { return uid; }
    QString userToken() const override { return token; }

    QString uid;
    QString token;
};

// Console lines printed while a test runs; other messages go on to the test's own handler.
class ConsoleCapture {
public:
    ConsoleCapture() { s_previous = qInstallMessageHandler(&ConsoleCapture::handle); }
    ~ConsoleCapture() { qInstallMessageHandler(s_previous); }

    static QStringList lines() {
        std::lock_guard lock(s_mutex);
        return s_lines;
    }
    static void clear() {
        std::lock_guard lock(s_mutex);
        s_lines.clear();
    }
    static bool contains(const QString& line) { return lines().contains(line); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtInfoMsg) {
            std::lock_guard lock(s_mutex);
            s_lines.append(text);
            return;
        }
        s_previous(type, context, text);
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
};

// What a completion received; shared so that a late completion never outlives it.
struct CompletionProbe {
    int calls = 0;
    bool value = false;
    bool onGuiThread = true;

    static std::function<void(bool)> into(const std::shared_ptr<CompletionProbe>& probe) {
        return [probe](bool registered) {
            ++probe->calls;
            probe->value = registered;
            probe->onGuiThread = probe->onGuiThread && MainQueue::isMainThread();
        };
    }
};
