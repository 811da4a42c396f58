#pragma once

#include "foundation/Result.h"
#include "sdk/DeviceTransport.h"
#include "sdk/KXDeviceParamsObc.h"
#include "session/ADBCommand.h"
#include "session/ClientInitOptions.h"
#include "session/DeviceKeyboardState.h"
#include "session/DeviceOptions.h"
#include "session/DeviceRealTimeOptions.h"
#include "session/DeviceTouchName.h"
#include "session/SnapshotOptions.h"
#include "session/UserIdentityProviding.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariantMap>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CloudPhoneEventDelegate;
class CloudPhoneEventProtocol;
class CloudPhoneStreamDelegate;
class CloudPhoneStreamProtocol;
class CloudPhoneTouchEventForwarder;
class CloudPhoneTouchView;
class KXClient;
class KXDevice;
class KXDeviceAudioPlayer;
class SentryService;
class SettingsManager;

// The one owner of the device SDK's client and of every SDK device object; other parts of the
// client name devices by their id only. It sets the SDK up, registers devices, switches their
// transport, removes them, handles an authentication failure once, pushes refreshed tokens and
// tears everything down at quit. It also plays devices live in players of their windows, relays
// the SDK's reports to those windows, mirrors input to input-sync devices and runs device
// operations. Lives on the GUI thread and is called there; registration completions and handler
// calls run there too. Refusals are printed as console lines.
class CloudPhoneCommunicator : public QObject {
    Q_OBJECT

public:
    using Device = std::shared_ptr<KXDevice>;
    using CompletionHandler = std::function<void(bool)>;
    using AuthenticationFailureHandler = std::function<void(const QString& deviceID)>;
    // Sends one thing to the device it is given.
    using DeviceAction = std::function<void(const Device& device)>;
    // Runs a task on the GUI thread once the delay has passed.
    using DelayedTaskScheduler =
        std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;
    using ErrorCompletion = std::function<void(const std::optional<Error>& error)>;
    using PackageNameCompletion = std::function<void(const std::optional<QString>& package,
                                                     const std::optional<Error>& error)>;
    using TextCompletion =
        std::function<void(const std::optional<QString>& text, const std::optional<Error>& error)>;
    using DictionaryCompletion = std::function<void(const std::optional<QVariantMap>& dictionary,
                                                    const std::optional<Error>& error)>;
    using SnapshotCompletion =
        std::function<void(const std::optional<SnapshotInfo>& info, const QString& deviceID,
                           const std::optional<Error>& error)>;

    // Made on first use, which must be on the GUI thread, and kept until exit.
    static CloudPhoneCommunicator& shared();

    // Without a transport, the SDK's own (the simulated cloud) is used.
    explicit CloudPhoneCommunicator(std::shared_ptr<DeviceTransport> transport = {},
                                    QObject* parent = nullptr);
    ~CloudPhoneCommunicator() override;

    // Collaborators for tests; the shared ones and the GUI thread's timers otherwise.
    void setSentryService(SentryService* service);
    void setSettingsManager(SettingsManager* settings);
    void setDelayedTaskScheduler(DelayedTaskScheduler scheduler);

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

    // Input sync: what reaches the main device is replayed on the others after the "sync-time"
    // delay, unless sync was changed in between.
    void enableInputSync(const QString& mainDeviceID, const QStringList& deviceIDs);
    void setInputSyncEnabled(bool enabled);
    void disableInputSync();
    bool isInputSyncActive() const;
    std::optional<bool> inputSyncState(const QString& deviceID) const;
    void mirrorInputToSyncDevices(const QString& deviceID, const DeviceAction& action);
    void endMirroredTouches();
    void forwardClipboardText(const QString& deviceID, const QString& text);
    void forwardText(const QString& deviceID, const QString& text);
    void forwardFunctionKey(const QString& deviceID, DeviceTouchName name, DeviceTouchEvent event);
    // Seconds, from the "sync-time" setting: 0 when missing or not a number, at most 1000.
    double inputSyncDelay() const;

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

    // Contacts through the device's touch view, in its own coordinates; they reach the device,
    // and input-sync devices, as mouse contacts do. An index must fit 32 bits.
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

    // Device operations. A completion of an unknown device runs before the call returns, with
    // the device-not-found error; the SDK's answers arrive on its own threads, except the
    // foreground app's, which comes on the GUI thread.
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
    void disableAudioStream(bool disabled, const QString& deviceID);
    void setLanguage(const QString& locale, const QString& deviceID);
    void shakeDevice(const QString& deviceID);
    void sendCommand(const ADBCommand& command, const QString& deviceID,
                     ErrorCompletion completionHandler = {});
    void fetchLaunchableAppInfo(const QString& deviceID, TextCompletion completionHandler);
    void fetchUninstallableAppInfo(const QString& deviceID, TextCompletion completionHandler);
    void fetchCloudPhoneResourceInfo(const QString& deviceID,
                                     DictionaryCompletion completionHandler);
    // The same on one streaming device, whichever comes first; never mirrored.
    void sendTouchEvent(DeviceTouchName name, DeviceTouchEvent event);
    void sendText(const QString& text);
    void copyTextToPasteboard(const QString& text);
    void setVideoQuality(VideoQuality quality);
    void setKeyboard(DeviceKeyboardType type);
    void disableAudioStream(bool disabled);
    void setLanguage(const QString& locale);
    void shakeDevice();
    void transferFile(const QString& location, ErrorCompletion completionHandler);
    void installFile(const QString& location, ErrorCompletion completionHandler);
    void sendCommand(const ADBCommand& command, ErrorCompletion completionHandler);

    bool isDeviceAdded(const QString& deviceID) const;
    Device realTimeDevice(const QString& deviceID) const;
    QList<Device> realTimeDeviceList() const;
    Device createDeviceWithInfo(const KXDeviceParamsObc& params);
    // The token handed to the SDK: with an app key, the JSON text of device id, token and uid;
    // otherwise the user token itself.
    Result<QString> makeDeviceToken(const QString& deviceID, const QString& userID,
                                    const QString& userToken) const;

    // State that other parts read directly.
    const std::optional<ClientInitOptions>& clientOptions() const { return m_clientOptions; }
    const std::shared_ptr<UserIdentityProviding>& userIdentityProvider() const {
        return m_userIdentityProvider;
    }
    const std::vector<Device>& devices() const { return m_devices; }
    Device device(const QString& deviceID) const { return m_deviceMap.value(deviceID); }
    const QHash<QString, Device>& realTimeDevices() const { return m_realTimeDevices; }
    const QHash<QString, KXDeviceParamsObc>& realTimeDeviceParamsMap() const {
        return m_realTimeDeviceParamsMap;
    }
    const QHash<QString, QPointer<QWidget>>& realTimeDevicePlayerMap() const {
        return m_realTimeDevicePlayerMap;
    }
    const QHash<QString, std::shared_ptr<CloudPhoneTouchEventForwarder>>& touchEventForwarders()
        const {
        return m_touchEventForwarders;
    }
    const std::optional<QString>& inputSyncMainDeviceID() const { return m_inputSyncMainDeviceID; }
    const QSet<QString>& inputSyncDeviceIDs() const { return m_inputSyncDeviceIDs; }
    bool isInputSyncEnabled() const { return m_isInputSyncEnabled; }
    int inputSyncGeneration() const { return m_inputSyncGeneration; }
    int playerViewTag() const { return m_playerViewTag; }
    const std::shared_ptr<KXDeviceAudioPlayer>& audioPlayer() const { return m_audioPlayer; }
    bool hasClient() const { return m_client != nullptr; }

private:
    bool refusedAfterDestory(const QString& operation) const;
    bool isStreaming(const QString& deviceID) const;
    bool hasAppKey() const;
    void loadDeviceInfo(const Result<KXDeviceParamsObc>& result, DeviceConnectType connectType,
                        const QString& userID, const QString& userToken,
                        const CompletionHandler& completion);
    bool registerWithParameters(KXDeviceParamsObc params, DeviceConnectType connectType,
                                const QString& userID, const QString& userToken);
    bool registerDevice(const KXDeviceParamsObc& params);
    // Stops its stream, closes it and drops it from the registries (not from the cache).
    void closeAndForget(const QString& deviceID, const Device& device);
    void clearInputSync();
    void replayOnSyncDevices(const QStringList& targets, const DeviceAction& action) const;
    // A streaming device; else prints the operation's "not connected" line.
    Device streamingDevice(const QString& deviceID, const QString& operation) const;
    // The first streaming device; else prints the operation's "none connected" line.
    Device anyStreamingDevice(const QString& operation) const;
    void streamBreadcrumb(const QString& message, bool refusal, const QString& deviceID) const;
    void firstVideoFrameReceived(const std::optional<QString>& deviceID);
    // The touch view of the device's player; else prints the operation's "no player" line.
    CloudPhoneTouchView* touchViewOf(const QString& deviceID, const QString& operation) const;
    // Contact indices are 32-bit on the device; a wider one is refused with a line.
    CloudPhoneTouchView* touchViewFor(const QString& deviceID, qint64 index,
                                      const QString& operation) const;

    AuthenticationFailureHandler m_authenticationFailureHandler;
    QMutex m_authenticationFailureLock;
    bool m_isHandlingAuthenticationFailure = false;
    std::shared_ptr<DeviceTransport> m_transport;
    std::unique_ptr<KXClient> m_client;
    std::optional<ClientInitOptions> m_clientOptions;
    std::shared_ptr<UserIdentityProviding> m_userIdentityProvider;
    std::vector<Device> m_devices;
    QHash<QString, Device> m_realTimeDevices;
    QHash<QString, Device> m_deviceMap;
    QHash<QString, KXDeviceParamsObc> m_realTimeDeviceParamsMap;
    QHash<QString, QPointer<QWidget>> m_realTimeDevicePlayerMap;
    std::optional<QString> m_inputSyncMainDeviceID;
    QSet<QString> m_inputSyncDeviceIDs;
    bool m_isInputSyncEnabled = false;
    int m_inputSyncGeneration = 0;
    int m_playerViewTag = 101;
    std::shared_ptr<KXDeviceAudioPlayer> m_audioPlayer;
    QHash<QString, std::shared_ptr<CloudPhoneEventProtocol>> m_deviceEventHandlers;
    QHash<QString, std::shared_ptr<CloudPhoneStreamProtocol>> m_streamEventHandlers;
    std::shared_ptr<CloudPhoneEventDelegate> m_eventDelegate;
    std::shared_ptr<CloudPhoneStreamDelegate> m_streamDelegate;
    QHash<QString, std::shared_ptr<CloudPhoneTouchEventForwarder>> m_touchEventForwarders;
    SentryService* m_sentry = nullptr;
    SettingsManager* m_settings = nullptr;
    DelayedTaskScheduler m_delayedTaskScheduler;
    bool m_destroyed = false;
};
