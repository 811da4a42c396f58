#pragma once

#include "foundation/Result.h"
#include "sdk/DeviceEvent.h"
#include "sdk/KXClientParamsObc.h"
#include "sdk/KXDeviceParamsObc.h"
#include "sdk/KXMediaParamsObc.h"
#include "sdk/KXRotationObc.h"
#include "sdk/KXSizeObc.h"
#include "sdk/TestPicture.h"
#include "sdk/TouchRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class SerialQueue;
class SimulatedSession;

struct SimulatedDeviceProfile {
    QString ipAddress = QStringLiteral("127.0.0.1");
    quint16 port = 0;
    KXTransportProtocolTypeObc transport = KXTransportProtocolTypeObc::udp;
    KXSizeObc screenSize{1080, 1920};
    QString foregroundApp = QStringLiteral("com.android.launcher3");
};

// One connection as the device saw it: who connected and with which parameters.
struct SimulatedConnection {
    KXClientParamsObc client;
    KXDeviceParamsObc params;
};

struct PreviewRequest {
    KXSizeObc size;
    qint32 quality = 0;
    quint8 format = 0;
};

// A cloud phone of the simulated cloud. It outlives the connections to it, records everything
// it receives, and reports events to every open connection on its own thread ("kxsdk.device."
// and the id). Every member may be called from any thread.
class SimulatedDevice : public std::enable_shared_from_this<SimulatedDevice> {
public:
    using Clock = std::chrono::steady_clock;

    SimulatedDevice(QString id, SimulatedDeviceProfile profile);
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    const QString& id() const { return m_id; }
    SimulatedDeviceProfile profile() const;

    // What the device received, oldest first.
    QList<SimulatedConnection> connections() const;
    int openSessionCount() const;
    int streamingSessionCount() const;
    std::optional<KXMediaParamsObc> lastStreamParams() const;
    QList<TouchRecord> touches() const;
    QList<KXTouchObc> activeContacts() const;
    QStringList refreshedTokens() const;
    int kickoutOtherCount() const;
    QList<PreviewRequest> previewRequests() const;
    quint64 renderedFrameCount() const;
    void clearRecords();

    // The device's state.
    void setForegroundApp(const QString& package);
    QString foregroundApp() const;
    KXRotationObc rotation() const;
    void setNetworkConditions(int rttMs, double lossPercent);
    // No pictures for a while, as when the network stalls.
    void stall(std::chrono::milliseconds duration);
    // Every preview request fails with this error until it is cleared.
    void setPreviewError(std::optional<Error> error);
    TestPicture picture() const;

    // Reports an event to every open connection, as the real service would. A rotation or a
    // screen size also becomes the device's state; a kick-out ends the connections it reaches.
    void inject(const DeviceEvent& event);
    // Waits until every report queued so far has been delivered.
    void drain();

private:
    friend class SimulatedSession;
    friend class SimulatedCloud;

    struct NetworkConditions {
        int rttMs = 20;
        double lossPercent = 0;
    };

    void attach(const std::shared_ptr<SimulatedSession>& session,
                const SimulatedConnection& record);
    void detach(const SimulatedSession* session);
    std::vector<std::shared_ptr<SimulatedSession>> openSessions() const;
    void post(const std::weak_ptr<SimulatedSession>& session, const DeviceEvent& event);
    void runOnDeviceThread(std::function<void()> work);

    void recordStreamStart(const KXMediaParamsObc& params);
    void recordTouch(const TouchRecord& touch);
    void recordToken(const QString& token);
    void kickOthers(const SimulatedSession* keeper);
    void recordPreview(const PreviewRequest& request);
    std::optional<Error> previewError() const;
    void noteFrameRendered();
    bool isStalled(Clock::time_point now) const;
    NetworkConditions networkConditions() const;

    const QString m_id;
    mutable std::mutex m_mutex;
    SimulatedDeviceProfile m_profile;
    KXRotationObc m_rotation = KXRotationObc::rotation0;
    NetworkConditions m_network;
    Clock::time_point m_stalledUntil{};
    std::optional<Error> m_previewError;
    std::vector<std::weak_ptr<SimulatedSession>> m_sessions;
    QList<SimulatedConnection> m_connections;
    std::optional<KXMediaParamsObc> m_lastStreamParams;
    QList<TouchRecord> m_touches;
    QList<KXTouchObc> m_activeContacts;
    QStringList m_refreshedTokens;
    int m_kickoutOtherCount = 0;
    QList<PreviewRequest> m_previewRequests;
    quint64 m_renderedFrames = 0;
    // Last member: destroyed first, so queued reports never outlive the state they read.
    std::unique_ptr<SerialQueue> m_events;
};
