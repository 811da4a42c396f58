#pragma once

#include "foundation/CrashReportClient.h"
#include "foundation/MainQueue.h"
#include "foundation/SentryService.h"
#include "foundation/SettingsManager.h"
#include "sdk/KXClient.h"
#include "sdk/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/UserIdentityProviding.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

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

// Breadcrumbs as the crash-reporting service would receive them.
class RecordingCrashReportClient : public CrashReportClient {
public:
    void start(const CrashReportOptions&) override {}
    void configureScope(const std::function<void(CrashReportScope&)>&) override {}
    void setUser(const std::optional<CrashReportUser>&) override {}
    void addBreadcrumb(const CrashReportBreadcrumb& breadcrumb) override {
        std::lock_guard lock(m_mutex);
        m_breadcrumbs.append(breadcrumb);
    }
    QString captureMessage(const QString&, CrashReportLevel) override { return {}; }

    QList<CrashReportBreadcrumb> breadcrumbs() const {
        std::lock_guard lock(m_mutex);
        return m_breadcrumbs;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_breadcrumbs.clear();
    }

private:
    mutable std::mutex m_mutex;
    QList<CrashReportBreadcrumb> m_breadcrumbs;
};

// A session core on a simulated cloud of its own, with its own settings file, crash reporting
// that has started, and delayed tasks either on real timers or held for the test to run.
struct SessionBench {
    QTemporaryDir dir;
    std::shared_ptr<SimulatedCloud> cloud = std::make_shared<SimulatedCloud>();
    std::shared_ptr<FakeIdentity> identity =
        std::make_shared<FakeIdentity>(QStringLiteral("u1"), QStringLiteral("t1"));
    std::unique_ptr<SettingsManager> settings;
    RecordingCrashReportClient* crashReports = nullptr;
    std::unique_ptr<SentryService> sentry;
    std::unique_ptr<CloudPhoneCommunicator> communicator;
    QList<std::pair<std::chrono::milliseconds, std::function<void()>>> delayed;

    SessionBench() {
        settings = std::make_unique<SettingsManager>(dir.filePath(QStringLiteral("settings.ini")));
        auto client = std::make_unique<RecordingCrashReportClient>();
        crashReports = client.get();
        sentry = std::make_unique<SentryService>(
            SentryService::Environment{
                {}, QStringLiteral("com.example.client"), DeviceInfoManager(), "x86_64", nullptr},
            std::move(client));
        sentry->start();
        communicator = std::make_unique<CloudPhoneCommunicator>(cloud);
        communicator->setSettingsManager(settings.get());
        communicator->setSentryService(sentry.get());
        communicator->setupWithLogPath(dir.filePath(QStringLiteral("videoLogs")));
        communicator->configClient(ClientInitOptions{}, identity);
    }
    ~SessionBench() {
        communicator.reset();
        // Reports already on their way still reach crash reporting; let them land first.
        for (const QString& id : cloud->deviceIDs()) {
            cloud->device(id)->drain();
        }
        cloud.reset();
        KXClient::sdkCleanup();
    }

    void holdDelayedTasks() {
        communicator->setDelayedTaskScheduler(
            [this](std::chrono::milliseconds delay, std::function<void()> task) {
                delayed.append({delay, std::move(task)});
            });
    }
    void runDelayedTasks() {
        const auto tasks = std::exchange(delayed, {});
        for (const auto& task : tasks) {
            task.second();
        }
    }
    void setSyncTime(const std::optional<QString>& seconds) {
        settings->set(seconds, SettingKey::syncTime);
    }

    // Registers the devices through the service and waits for their connection reports.
    bool add(const QStringList& ids) {
        for (const QString& id : ids) {
            bool done = false;
            bool registered = false;
            communicator->add(id, std::nullopt, std::nullopt, std::nullopt, [&](bool value) {
                done = true;
                registered = value;
            });
            if (!QTest::qWaitFor([&] { return done; }) || !registered) {
                return false;
            }
            cloud->device(id)->drain();
        }
        QCoreApplication::processEvents();
        return true;
    }
    std::shared_ptr<SimulatedDevice> device(const QString& id) const { return cloud->device(id); }
};
