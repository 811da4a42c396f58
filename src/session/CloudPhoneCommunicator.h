#pragma once

#include "session/ClientInitOptions.h"
#include "session/DeviceOperations.h"
#include "session/DeviceOptions.h"
#include "session/DeviceRegistry.h"
#include "session/InputSync.h"
#include "session/LiveStreams.h"
#include "session/UserIdentityProviding.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class CloudPhoneEventProtocol;
class CloudPhonePlayerView;
class CloudPhoneStreamProtocol;
class DeviceTransport;
class SentryService;

// The one owner of the device SDK's client and of every SDK device object; other parts of the
// client name devices by their id only. Its owned parts each hold one concern: the device
// registry with the authentication-failure latch, the live streams, input sync and the device
// operations; its methods forward to them and order the steps that span several (removing a
// streaming device, shutting down). Lives on the GUI thread and is called there; registration
// completions and handler calls run there too. Refusals are printed as console lines.
class CloudPhoneCommunicator : public QObject {
    Q_OBJECT

public:
    using Device = DeviceRegistry::Device;
    using CompletionHandler = DeviceRegistry::CompletionHandler;
    using AuthenticationFailureHandler = DeviceRegistry::AuthenticationFailureHandler;
    using DeviceAction = InputSync::DeviceAction;
    using DelayedTaskScheduler = InputSync::DelayedTaskScheduler;
    using ErrorCompletion = DeviceOperations::ErrorCompletion;
    using PackageNameCompletion = DeviceOperations::PackageNameCompletion;
    using DictionaryCompletion = DeviceOperations::DictionaryCompletion;
    using SnapshotCompletion = LiveStreams::SnapshotCompletion;

    // Made on first use, which must be on the GUI thread, and kept until exit.
    static CloudPhoneCommunicator& shared();

    // Without a transport, the SDK's own (the simulated cloud) is used.
    explicit CloudPhoneCommunicator(std::shared_ptr<DeviceTransport> transport = {},
                                    QObject* parent = nullptr);
    ~CloudPhoneCommunicator() override;

    // The owned parts; tests and the SDK relays reach the state through them.
    DeviceRegistry& registry() { return *m_registry; }
    LiveStreams& streams() { return *m_streams; }
    InputSync& inputSync() { return *m_inputSync; }
    // Also the operations the client has no caller for (mute, locale, shake, shell commands,
    // app and resource queries, and the forms that act on the first streaming device).
    DeviceOperations& operations() { return *m_operations; }

    // Crash reporting for breadcrumbs of streams and relays; the shared one otherwise.
    void setSentryService(SentryService* service);

    AuthenticationFailureHandler authenticationFailureHandler() const;
    void setAuthenticationFailureHandler(AuthenticationFailureHandler handler);

    void setupWithLogPath(const QString& path);
    void configClient(const ClientInitOptions& options,
                      std::shared_ptr<UserIdentityProviding> provider);
    // Shutdown: streams stopped, devices closed, registries emptied, SDK cleaned up. Later calls
    // are refused.
    void destory();

    // Registers a device with parameters from the options (address and port), else from the
    // cache of an earlier registration, else asked of the service. The completion says whether
    // a device object was made.
    void add(const QString& deviceID, const std::optional<DeviceOptions>& options,
             const std::optional<QString>& userID, const std::optional<QString>& userToken,
             CompletionHandler completionHandler = {});
    // Recreates a registered device with the other transport; the completion runs before return.
    void updateDevice(const QString& deviceID, DeviceConnectType connectType,
                      CompletionHandler completionHandler = {});
    void remove(const QString& deviceID);
    // The first failure of a registered device removes it and calls the handler; later ones are
    // ignored until `refreshUserToken()` or `destory` clears the latch.
    void handleAuthenticationFailure(const QString& deviceID, const Device& from);
    void refreshUserToken();
    // When no stream is shown: input sync off, every device closed and forgotten (the
    // parameter cache stays).
    void closeIdleDevices();
    void revokeOtherUsersAccess(const QString& deviceID);
    bool isDeviceAdded(const QString& deviceID) const;
    Device realTimeDevice(const QString& deviceID) const;
    QList<Device> realTimeDeviceList() const;

    // Input sync: what reaches the main device is replayed on the others after the "sync-time"
    // delay, unless sync was changed in between.
    void enableInputSync(const QString& mainDeviceID, const QStringList& deviceIDs);
    void setInputSyncEnabled(bool enabled);
    void disableInputSync();
    bool isInputSyncActive() const;
    std::optional<bool> inputSyncState(const QString& deviceID) const;
    void mirrorInputToSyncDevices(const QString& deviceID, const DeviceAction& action);
    void endMirroredTouches();
    // Read directly by the device window and the web bridge.
    const std::optional<QString>& inputSyncMainDeviceID() const;
    bool isInputSyncEnabled() const;

    // Puts the device's live picture, with its touch surface, into `container` and holds the
    // handlers until `stopRealTimePlay`. Refused for an unknown device or one already playing.
    void startRealTimePlay(const QString& deviceID, const DeviceRealTimeOptions& options,
                           std::shared_ptr<CloudPhoneEventProtocol> deviceEventHandler,
                           std::shared_ptr<CloudPhoneStreamProtocol> streamEventHandler,
                           QWidget* container);
    // The player goes; the device stays registered.
    void stopRealTimePlay(const QString& deviceID);
    // The completion runs on the GUI thread, or at once for an unknown device.
    void captureSnapshot(const QString& deviceID, const SnapshotOptions& options,
                         SnapshotCompletion completion);
    // The player among the container's children, turned a quarter (landscape) or by `degrees`.
    void setPlayerLandscape(bool landscape, QWidget* container);
    void setPlayerRotation(qreal degrees, QWidget* container);
    bool isNotPlaying(const QString& deviceID) const;
    // The device's stream was started and not stopped since; its player may be gone already.
    bool isStreaming(const QString& deviceID) const;
    // The device's player while its stream shows one, else nullptr.
    CloudPhonePlayerView* playerView(const QString& deviceID) const;
    // The size of the device's player, none without one.
    std::optional<QSizeF> videoSize(const QString& deviceID) const;

    // Contacts through the device's touch view, in its own coordinates; they reach the device,
    // and input-sync devices, as mouse contacts do. An index must fit 32 bits.
    void simulateTap(const QString& deviceID, const QPointF& point);
    void simulateTouchDown(const QString& deviceID, const QPointF& point, qint64 index);
    void simulateTouchMove(const QString& deviceID, const QPointF& point, qint64 index);
    void simulateTouchUp(const QString& deviceID, const QPointF& point, qint64 index);
    void cancelSimulatedTouches(const QString& deviceID);

    // The device operations other parts of the client call (see `DeviceOperations`).
    static Error deviceNotFoundError(const QString& operation);
    void setVideoQuality(VideoQuality quality, const QString& deviceID);
    void sendTouchEvent(DeviceTouchName name, DeviceTouchEvent event, const QString& deviceID);
    void fetchActivePackageName(const QString& deviceID, PackageNameCompletion completionHandler);
    void setKeyboard(DeviceKeyboardType type, const QString& deviceID);
    void fetchDiskInfo(const QString& deviceID, DictionaryCompletion completionHandler);
    void copyTextToPasteboard(const QString& text, const QString& deviceID);
    void sendText(const QString& text, const QString& deviceID);
    void transferFile(const QString& location, const QString& deviceID,
                      ErrorCompletion completionHandler = {});
    void installFile(const QString& location, const QString& deviceID,
                     ErrorCompletion completionHandler = {});

private:
    void stopIfStreaming(const QString& deviceID);

    std::unique_ptr<DeviceRegistry> m_registry;
    std::unique_ptr<InputSync> m_inputSync;
    std::unique_ptr<LiveStreams> m_streams;
    std::unique_ptr<DeviceOperations> m_operations;
    // Owned by the registry and the streams, which drop them at shutdown.
    std::weak_ptr<CloudPhoneEventDelegate> m_eventDelegate;
    std::weak_ptr<CloudPhoneStreamDelegate> m_streamDelegate;
};
