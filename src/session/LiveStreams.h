#pragma once

#include "foundation/Result.h"
#include "session/DeviceRealTimeOptions.h"
#include "session/SnapshotOptions.h"

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class CloudPhoneEventProtocol;
class CloudPhonePlayerView;
class CloudPhoneStreamDelegate;
class CloudPhoneStreamProtocol;
class CloudPhoneTouchEventForwarder;
class CloudPhoneTouchView;
class DeviceRegistry;
class InputSync;
class KXDevice;
class KXDeviceAudioPlayer;
class SentryService;

// The live streams of registered devices: one player per streaming device in a container of its
// window, the window's handlers, the touch forwarder that sends the player's touches through
// input sync, snapshots, player rotation and the simulated contacts of key mapping. GUI thread.
class LiveStreams : public QObject {
public:
    using Device = std::shared_ptr<KXDevice>;
    using SnapshotCompletion =
        std::function<void(const std::optional<SnapshotInfo>& info, const QString& deviceID,
                           const std::optional<Error>& error)>;
    // Makes the player of a device; the SDK's video view under a touch view by default.
    using PlayerViewFactory = std::function<CloudPhonePlayerView*(const QString& deviceID)>;

    LiveStreams(const DeviceRegistry& registry, InputSync& inputSync,
                std::shared_ptr<CloudPhoneStreamDelegate> streamDelegate,
                QObject* parent = nullptr);
    ~LiveStreams() override;

    void setSentryService(SentryService* service) { m_sentry = service; }
    void setPlayerViewFactory(PlayerViewFactory factory);

    void start(const QString& deviceID, const DeviceRealTimeOptions& options,
               std::shared_ptr<CloudPhoneEventProtocol> deviceEventHandler,
               std::shared_ptr<CloudPhoneStreamProtocol> streamEventHandler, QWidget* container);
    void stop(const QString& deviceID);
    bool isStreaming(const QString& deviceID) const;
    // Stops every stream, deletes the players, drops handlers and the stream delegate.
    void shutDown();

    void captureSnapshot(const QString& deviceID, const SnapshotOptions& options,
                         SnapshotCompletion completion);
    void setPlayerRotation(qreal degrees, QWidget* container);

    void simulateTap(const QString& deviceID, const QPointF& point);
    void simulateTouchDown(const QString& deviceID, const QPointF& point, qint64 index);
    void simulateTouchMove(const QString& deviceID, const QPointF& point, qint64 index);
    void simulateTouchUp(const QString& deviceID, const QPointF& point, qint64 index);
    void cancelSimulatedTouches(const QString& deviceID);

    // The handlers of a streaming device's window; none for other devices.
    std::shared_ptr<CloudPhoneEventProtocol> deviceEventHandler(const QString& deviceID) const;
    std::shared_ptr<CloudPhoneStreamProtocol> streamEventHandler(const QString& deviceID) const;
    // "fps" and "netFps" of the device's player, when it has one.
    QVariantMap playerFrameCounters(const QString& deviceID) const;

    const QHash<QString, Device>& realTimeDevices() const { return m_realTimeDevices; }
    const QHash<QString, QPointer<QWidget>>& realTimeDevicePlayerMap() const {
        return m_realTimeDevicePlayerMap;
    }
    const QHash<QString, std::shared_ptr<CloudPhoneTouchEventForwarder>>& touchEventForwarders()
        const {
        return m_touchEventForwarders;
    }
    int playerViewTag() const { return m_playerViewTag; }
    const std::shared_ptr<KXDeviceAudioPlayer>& audioPlayer() const { return m_audioPlayer; }

private:
    void breadcrumb(const QString& message, bool refusal, const QString& deviceID) const;
    void firstVideoFrameReceived(const std::optional<QString>& deviceID);
    // The touch view of the device's player; else prints the operation's "no player" line.
    CloudPhoneTouchView* touchViewOf(const QString& deviceID, const QString& operation) const;
    // Contact indices are 32-bit on the device; a wider one is refused with a line.
    CloudPhoneTouchView* touchViewFor(const QString& deviceID, qint64 index,
                                      const QString& operation) const;

    const DeviceRegistry& m_registry;
    InputSync& m_inputSync;
    std::shared_ptr<CloudPhoneStreamDelegate> m_streamDelegate;
    PlayerViewFactory m_playerViewFactory;
    QHash<QString, Device> m_realTimeDevices;
    QHash<QString, QPointer<QWidget>> m_realTimeDevicePlayerMap;
    QHash<QString, std::shared_ptr<CloudPhoneEventProtocol>> m_deviceEventHandlers;
    QHash<QString, std::shared_ptr<CloudPhoneStreamProtocol>> m_streamEventHandlers;
    QHash<QString, std::shared_ptr<CloudPhoneTouchEventForwarder>> m_touchEventForwarders;
    const int m_playerViewTag = 101;
    std::shared_ptr<KXDeviceAudioPlayer> m_audioPlayer;
    SentryService* m_sentry = nullptr;
};
