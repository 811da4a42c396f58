#pragma once

#include "foundation/Result.h"
#include "session/ADBCommand.h"
#include "session/DeviceKeyboardState.h"
#include "session/DeviceRealTimeOptions.h"
#include "session/DeviceTouchName.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class DeviceRegistry;
class InputSync;
class KXDevice;
class LiveStreams;

// One SDK call on a device named by id, found among the registered or the streaming devices;
// keys, text and clipboard text go through input sync. A completion of an unknown device runs
// before the call returns, with the device-not-found error; the SDK's answers arrive on its own
// threads, except the foreground app's, which comes on the GUI thread. Keeps no state.
class DeviceOperations {
public:
    using Device = std::shared_ptr<KXDevice>;
    using ErrorCompletion = std::function<void(const std::optional<Error>& error)>;
    using PackageNameCompletion = std::function<void(const std::optional<QString>& package,
                                                     const std::optional<Error>& error)>;
    using TextCompletion =
        std::function<void(const std::optional<QString>& text, const std::optional<Error>& error)>;
    using DictionaryCompletion = std::function<void(const std::optional<QVariantMap>& dictionary,
                                                    const std::optional<Error>& error)>;

    DeviceOperations(const DeviceRegistry& registry, const LiveStreams& streams,
                     InputSync& inputSync);

    static Error deviceNotFoundError(const QString& operation);

    void forwardClipboardText(const QString& deviceID, const QString& text);
    void forwardText(const QString& deviceID, const QString& text);
    void forwardFunctionKey(const QString& deviceID, DeviceTouchName name, DeviceTouchEvent event);

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

private:
    // A streaming device; else prints the operation's "not connected" line.
    Device streamingDevice(const QString& deviceID, const QString& operation) const;
    // The first streaming device; else prints the operation's "none connected" line.
    Device anyStreamingDevice(const QString& operation) const;

    const DeviceRegistry& m_registry;
    const LiveStreams& m_streams;
    InputSync& m_inputSync;
};
