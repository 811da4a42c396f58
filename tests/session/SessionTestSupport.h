#pragma once

#include "foundation/concurrency/MainQueue.h"
#include "foundation/crashreporting/CrashReportClient.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/settings/SettingsManager.h"
#include "sdk/KXClient.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhoneEventProtocol.h"
#include "session/CloudPhoneStreamProtocol.h"
#include "session/UserIdentityProviding.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
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

// Stands in for the device window: notes every handler call as "name:id:arguments", in order,
// and whether it came on the GUI thread. `onCall` sees each call as it happens. As in the window,
// one error call and one connection call serve both protocols.
class RecordingWindow : public CloudPhoneEventProtocol, public CloudPhoneStreamProtocol {
public:
    std::function<void(const QString& call)> onCall;

    QStringList calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // Without the once-a-second statistics.
    QStringList events() const {
        QStringList events = calls();
        events.removeIf([](const QString& call) { return call.startsWith("didUpdateNetwork"); });
        return events;
    }
    bool allOnGuiThread() const {
        std::lock_guard lock(m_mutex);
        return m_allOnGuiThread;
    }
    QVariantMap lastStatistics() const {
        std::lock_guard lock(m_mutex);
        return m_lastStatistics;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

    void didLoseControl(const QString& id, TerminatedReason reason) override {
        note("didLoseControl", id, static_cast<int>(reason));
    }
    void didAdd(const QString& id, bool added) override { note("didAdd", id, added); }
    void didEncounterError(const QString& id, qint64 code) override {
        note("didEncounterError", id, code);
    }
    void didUpdateConnection(const QString& id, qint64 state,
                             const std::optional<QString>& message) override {
        note("didUpdateConnection", id, QString::number(state) + ":" + message.value_or("<none>"));
    }
    void didUpdateScreenSize(const QString& id, qreal width, qreal height) override {
        note("didUpdateScreenSize", id, QString("%1x%2").arg(width).arg(height));
    }
    void didUpdateOrientation(const QString& id, KXRotationObc rotation) override {
        note("didUpdateOrientation", id, static_cast<int>(rotation));
    }
    void didUpdateKeyboardState(const QString& id, const DeviceKeyboardState& state) override {
        note("didUpdateKeyboardState", id,
             QString("show=%1,imeIsActive=%2").arg(state.show).arg(state.imeIsActive.value_or(0)));
    }
    void didCopyText(const QString& id, const QString& text) override {
        note("didCopyText", id, text);
    }
    void didReceivePushMessage(const QString& id, const std::optional<QString>& message) override {
        note("didReceivePushMessage", id, message.value_or("<none>"));
    }
    void didStreamReady(const QString& id, KXRotationObc rotation) override {
        note("didStreamReady", id, static_cast<int>(rotation));
    }
    void didReceiveFirstVideoFrame(const QString& id, KXRotationObc rotation) override {
        note("didReceiveFirstVideoFrame", id, static_cast<int>(rotation));
    }
    void didTimeout(const QString& id, DeviceTimeoutReason reason) override {
        note("didTimeout", id, reason == DeviceTimeoutReason::stream ? "stream" : "inactivity");
    }
    void didUpdateNetworkStatus(const QString& id, const QVariantMap& statistics) override {
        {
            std::lock_guard lock(m_mutex);
            m_lastStatistics = statistics;
        }
        note("didUpdateNetworkStatus", id, {});
    }
    void stallDueToPoorNetwork(const QString& id) override {
        note("stallDueToPoorNetwork", id, {});
    }

private:
    void note(const char* name, const QString& id, const QVariant& arguments) {
        QString call = QString::fromLatin1(name) + ":" + id;
        if (arguments.isValid()) {
            call += ":" + arguments.toString();
        }
        {
            std::lock_guard lock(m_mutex);
            m_calls.append(call);
            m_allOnGuiThread = m_allOnGuiThread && MainQueue::isMainThread();
        }
        if (onCall) {
            onCall(call);
        }
    }

    mutable std::mutex m_mutex;
    QStringList m_calls;
    bool m_allOnGuiThread = true;
    QVariantMap m_lastStatistics;
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
    std::shared_ptr<RecordingWindow> window = std::make_shared<RecordingWindow>();
    std::unique_ptr<QWidget> container;  // made on first use: widget tests only

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
        communicator->inputSync().setSettingsManager(settings.get());
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
        communicator->inputSync().setDelayedTaskScheduler(
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

    // A shown top-level widget that holds the players, as a device window's content does.
    QWidget* containerWidget() {
        if (!container) {
            container = std::make_unique<QWidget>();
            container->resize(360, 640);
            container->show();
        }
        return container.get();
    }
    static DeviceRealTimeOptions streamOptions() {
        DeviceRealTimeOptions options;
        options.displaySize = QSizeF(360, 640);
        options.fps = 30;
        return options;
    }
    // Starts the stream with `window` as both handlers and waits for its first frame.
    bool play(const QString& id, const DeviceRealTimeOptions& options = streamOptions()) {
        communicator->startRealTimePlay(id, options, window, window, containerWidget());
        return QTest::qWaitFor(
            [&] { return window->calls().contains("didReceiveFirstVideoFrame:" + id + ":0"); });
    }
};
