#pragma once

#include "foundation/json/Result.h"
#include "sdk/DeviceLink.h"
#include "sdk/KXDeviceParamsObc.h"
#include "sdk/KXImageObc.h"
#include "sdk/KXMediaParamsObc.h"
#include "sdk/KXRotationObc.h"
#include "sdk/KXSizeObc.h"
#include "sdk/KXTouchObc.h"

#include <QList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class KXDeviceAudioPlayer;
class KXDeviceDelegate;
class KXDeviceRealPlayDelegate;
class KXDeviceVideoView;
class VideoFrameSlot;

// One connected cloud device, made by `KXClient::createDevice`. Calls may come from any thread
// (the client makes them on the GUI thread); reports reach the delegates on the SDK's threads.
// After `close` the device is disconnected for good: calls are ignored and nothing is reported.
class KXDevice : public DeviceLinkListener, public std::enable_shared_from_this<KXDevice> {
public:
    using ErrorCompletion = std::function<void(const std::optional<Error>&)>;
    using CommandResultCompletion =
        std::function<void(const std::optional<Error>&, const std::optional<QString>&)>;
    using TextCompletion =
        std::function<void(const std::optional<QString>&, const std::optional<Error>&)>;
    using DictionaryCompletion =
        std::function<void(const std::optional<QVariantMap>&, const std::optional<Error>&)>;

    ~KXDevice() override;
    KXDevice(const KXDevice&) = delete;
    KXDevice& operator=(const KXDevice&) = delete;

    // The parameters the device was made with.
    const KXDeviceParamsObc& config() const { return m_config; }
    // The device's orientation as last reported.
    KXRotationObc rotation() const { return m_rotation.load(); }

    // The delegates are held weakly, as their owners decide how long they live.
    void setAudioDelegate(std::weak_ptr<KXDeviceAudioPlayer> player);
    void setPlayDelegate(std::weak_ptr<KXDeviceRealPlayDelegate> delegate);

    // Starts the live stream into `render` (GUI thread); a running stream is replaced. 0 when it
    // started, -1 when the device is closed or there is no view.
    int startRealPlay(const KXMediaParamsObc& params, KXDeviceVideoView* render);
    int stopRealPlay();

    void touchBegin();
    void touchMove(const QList<KXTouchObc>& touches);
    void touchEnd();

    // The device authenticates with this token from now on.
    void refreshToken(const QString& token);
    // Disconnects every other party using the device.
    void kickoutOther();

    // Answers on an SDK thread with an image or an error. Format: 0 JPEG, 1 WebP, 2 PNG.
    void getPreview(const KXSizeObc& size, qint32 quality, quint8 format,
                    PreviewCompletion completion);

    // Key codes 1 to 14 (back, home, overview, volume, power, mute, arrows, backspace, enter,
    // delete); state 0 pressed and released, 1 pressed, 2 released.
    void sendFunctionKey(int key, int state);
    void sendClipdata(const QString& text);
    void sendText(const QString& text);
    // The stream's bit rate from now on.
    void switchVideoQuality(qint32 bitrateKbps);
    // 0: the device's own keyboard, 1: the built-in one; or a custom input method by name.
    void switchIme(int type, const std::optional<QString>& customIME);
    void mute(bool muted);
    void switchSystemLocale(const QString& locale);
    void shake();

    // The answers below come on an SDK thread, never before the call returns; a closed device
    // answers with an error.
    void sendAdbCommand(const QString& command, ErrorCompletion completion);
    void sendAdbCommandWithResult(const QString& command, CommandResultCompletion completion);
    void queryDiskDetail(DictionaryCompletion completion);
    void getResourceDetail(DictionaryCompletion completion);
    // JSON text: an array of {"packageName", "appName"}.
    void getAppForStart(TextCompletion completion);
    void getAppForUninstall(TextCompletion completion);
    // A local path, a file URL or a download URL, handed on unchanged.
    void transferWithUrl(const QString& url, ErrorCompletion completion);
    void installWithUrl(const QString& url, ErrorCompletion completion);

    void close();
    bool isClosed() const;

private:
    friend class KXClient;

    KXDevice(KXDeviceParamsObc config, std::weak_ptr<KXDeviceDelegate> delegate);
    void attach(std::shared_ptr<DeviceLink> link);
    std::shared_ptr<DeviceLink> openLink() const;
    void sendTouch(TouchPhase phase, const QList<KXTouchObc>& touches);
    void sendControl(const DeviceControl& control);
    void request(const DeviceRequest& request, DeviceReplyCompletion completion);

    void linkEvent(const DeviceEvent& event) override;
    void linkAudio(const QByteArray& samples) override;
    void deliverDeviceEvent(const DeviceEvent& event);
    void deliverStreamEvent(const DeviceEvent& event);

    const KXDeviceParamsObc m_config;
    std::atomic<KXRotationObc> m_rotation{KXRotationObc::rotation0};

    mutable std::mutex m_mutex;
    std::shared_ptr<DeviceLink> m_link;
    bool m_closed = false;
    std::weak_ptr<KXDeviceDelegate> m_delegate;
    std::weak_ptr<KXDeviceRealPlayDelegate> m_playDelegate;
    std::weak_ptr<KXDeviceAudioPlayer> m_audioPlayer;
    std::shared_ptr<VideoFrameSlot> m_streamSlot;
    quint64 m_streamGeneration = 0;
};
