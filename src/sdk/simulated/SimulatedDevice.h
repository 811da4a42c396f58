#pragma once

#include "foundation/json/Result.h"
#include "sdk/DeviceControl.h"
#include "sdk/DeviceEvent.h"
#include "sdk/DeviceRequest.h"
#include "sdk/KXClientParamsObc.h"
#include "sdk/KXDeviceParamsObc.h"
#include "sdk/KXMediaParamsObc.h"
#include "sdk/KXRotationObc.h"
#include "sdk/KXSizeObc.h"
#include "sdk/TouchRecord.h"
#include "sdk/simulated/TestPicture.h"

#include <QHash>
#include <QList>
#include <QMap>
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
    QString launcherApp = QStringLiteral("com.android.launcher3");
    QString foregroundApp = QStringLiteral("com.android.launcher3");
    // Apps that came with the device, and apps the user installed (these can be uninstalled).
    QStringList systemApps{QStringLiteral("com.android.launcher3"),
                           QStringLiteral("com.android.settings"),
                           QStringLiteral("com.android.chrome")};
    QStringList installedApps;
    qint64 diskTotalBytes = 64LL << 30;
    qint64 diskUsedBytes = 12LL << 30;
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

    // Records of each kind the device keeps, the newest ones.
    static constexpr qsizetype kKeptRecords = 4096;

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
    QList<DeviceControl> controls() const;
    QList<DeviceRequest> requests() const;
    QStringList shellCommands() const;
    // Where pushed files landed on the device, oldest first.
    QStringList transferredFiles() const;
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
    QStringList installedApps() const;
    QString clipboard() const;
    // This command is answered with the reply instead of from the device's own table.
    void setShellAnswer(const QString& command, const DeviceReply& reply);
    // Every request of this kind fails with the error until it is cleared.
    void setRequestError(DeviceRequest::Kind kind, std::optional<Error> error);
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
    void recordControl(const DeviceControl& control);
    // On the device's thread.
    DeviceReply answer(const DeviceRequest& request);
    DeviceReply runShell(const QString& command);
    DeviceReply receiveFile(const QString& location, bool install);
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
    QList<DeviceControl> m_controls;
    QList<DeviceRequest> m_requests;
    QStringList m_transferredFiles;
    QString m_clipboard;
    QHash<QString, DeviceReply> m_shellAnswers;
    QMap<DeviceRequest::Kind, Error> m_requestErrors;
    // Last member: destroyed first, so queued reports never outlive the state they read.
    std::unique_ptr<SerialQueue> m_events;
};
