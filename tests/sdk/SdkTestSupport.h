#pragma once

#include "foundation/concurrency/MainQueue.h"
#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "sdk/KXDeviceDelegate.h"
#include "sdk/KXDeviceRealPlayDelegate.h"
#include "sdk/simulated/SimulatedCloud.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <mutex>

// Notes every report of the SDK as "name:value" and whether it came on the GUI thread.
class RecordingDelegate : public KXDeviceDelegate, public KXDeviceRealPlayDelegate {
public:
    using Device = std::shared_ptr<KXDevice>;

    struct Report {
        QString text;
        bool onGuiThread = false;
    };

    QList<Report> reports() const {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }
    QStringList texts() const {
        QStringList texts;
        for (const Report& report : reports()) {
            texts << report.text;
        }
        return texts;
    }
    int count(const QString& prefix) const {
        int matches = 0;
        for (const QString& text : texts()) {
            matches += text.startsWith(prefix) ? 1 : 0;
        }
        return matches;
    }
    bool anyOnGuiThread() const {
        for (const Report& report : reports()) {
            if (report.onGuiThread) {
                return true;
            }
        }
        return false;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_reports.clear();
    }

    void onKickout(const Device&, int reason) override { note("kickout", reason); }
    void onReady(const Device&) override { note("ready"); }
    void onError(const Device&, const std::optional<Error>& error) override {
        note("error", error ? QVariant(error->code) : QVariant());
    }
    void onExceptionStatus(const Device&, int status, const std::optional<QString>& msg) override {
        note("exceptionStatus", QStringLiteral("%1/%2").arg(status).arg(msg.value_or("none")));
    }
    void onScreenSize(const Device&, const std::optional<KXSizeObc>& size) override {
        note("screenSize",
             size ? QStringLiteral("%1x%2").arg(size->width()).arg(size->height()) : QVariant());
    }
    void onRotation(const Device&, KXRotationObc rotation) override {
        note("rotation", static_cast<int>(rotation));
    }
    void onIMEStatus(const Device&, const std::optional<QVariantMap>& ime) override {
        note("ime", ime ? ime->value(QStringLiteral("soft")) : QVariant());
    }
    void onClipData(const Device&, const std::optional<QString>& text) override {
        note("clip", text ? QVariant(*text) : QVariant());
    }
    void onPushMsg(const Device&, const std::optional<QString>& msg) override {
        note("push", msg ? QVariant(*msg) : QVariant());
    }
    void onRealPlayReady(const Device&) override { note("streamReady"); }
    void onRealPlayStreamTimeout(const Device&) override { note("streamTimeout"); }
    void onRealPlayNoOpTimeout(const Device&) override { note("noOpTimeout"); }
    void onRealPlayNetStat(const Device&, const std::optional<QVariantMap>& stat) override {
        note("netStat", stat ? stat->value(QStringLiteral("rtt")) : QVariant());
    }
    void onRealPlayError(const Device&, const std::optional<Error>& error) override {
        note("streamError", error ? QVariant(error->code) : QVariant());
    }
    void onRealPlayExceptionStatus(const Device&, int status,
                                   const std::optional<QString>& msg) override {
        note("streamStatus", QStringLiteral("%1/%2").arg(status).arg(msg.value_or("none")));
    }
    void onRealPlayNetworkStuck(const Device&) override { note("stuck"); }

private:
    void note(const char* name, const QVariant& value = {}) {
        QString text = QString::fromLatin1(name);
        if (value.isValid()) {
            text += QLatin1Char(':') + value.toString();
        }
        std::lock_guard lock(m_mutex);
        m_reports.append({text, MainQueue::isMainThread()});
    }

    mutable std::mutex m_mutex;
    QList<Report> m_reports;
};

// An initialised SDK, a simulated cloud of its own and a client that reaches it.
struct SdkTestBench {
    QTemporaryDir logs;
    std::shared_ptr<SimulatedCloud> cloud = std::make_shared<SimulatedCloud>();
    std::unique_ptr<KXClient> client;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();

    SdkTestBench() {
        KXClient::sdkInit(logs.path());
        client = std::make_unique<KXClient>(KXClientParamsObc(), cloud);
    }
    ~SdkTestBench() {
        client.reset();
        cloud.reset();
        KXClient::sdkCleanup();
    }

    static KXDeviceParamsObc params(const QString& id,
                                    const QString& address = QStringLiteral("10.0.0.9")) {
        KXDeviceParamsObc params;
        params.setDeviceID(id);
        params.setIpAddress(address);
        params.setPort(9000);
        params.setUid(QStringLiteral("u1"));
        params.setToken(QStringLiteral("t1"));
        return params;
    }

    // A device whose reports, stream ones included, go to `delegate`; the reports of its
    // connection have been delivered.
    std::shared_ptr<KXDevice> connect(const QString& id) {
        auto device = client->createDevice(params(id), delegate);
        if (!device) {
            qWarning() << device.error().message;
            return nullptr;
        }
        device.value()->setPlayDelegate(delegate);
        cloud->device(id)->drain();
        return device.value();
    }
};
