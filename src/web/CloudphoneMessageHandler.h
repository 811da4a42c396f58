#pragma once

#include "session/DeviceOptions.h"
#include "web/Web2NativeMessageHandler.h"

#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class CloudPhoneCommunicator;
class DeviceWindowDirectory;
class PreviewImageStore;
class SecureStorageManager;
class SettingsManager;

// The page's cloud-phone messages: registering and removing devices, opening, switching and
// closing their windows, input sync across devices, previews served by the loopback server and
// pasting text onto device clipboards. Nothing is answered except previews; refusals are logged
// or printed and the message is dropped. GUI thread; preview completions come from the device
// SDK's threads and move to the GUI thread before they touch anything.
class CloudphoneMessageHandler : public Web2NativeMessageHandler {
public:
    struct Environment {
        CloudPhoneCommunicator* communicator = nullptr;
        SettingsManager* settings = nullptr;
        DeviceWindowDirectory* windows = nullptr;
        // Where the signed-in user's record is kept ("user_data.encrypted").
        const SecureStorageManager* userStorage = nullptr;
        QString userDataFile;
        // "batch-control-status" and "batch-response-preview" to the page.
        std::function<void(int status)> sendBatchControlStatus;
        std::function<void(qint64 deviceId, int rotation)> sendBatchResponsePreview;
        // Read when a preview arrives; none installed means the preview is not kept.
        std::function<PreviewImageStore*()> previewStore;

        // The shared communicator, settings, windows, user store and sender.
        static Environment shared();
    };

    // Input-sync codes shared with the page.
    enum InputSyncStatus { pauseMirroring = 0, mirror = 1, endSync = 2 };

    explicit CloudphoneMessageHandler(Environment environment = Environment::shared());

    void handle(const Web2NativeMessage& message) override;

    // The address the page gave for one device: "ip" a non-empty text and "port" an integer (or
    // its decimal text) between 1 and 65535; otherwise none.
    static std::optional<DeviceOptions> deviceOptions(const QJsonObject& device);
    // A device id of "batch-control": a non-empty text as it is, an integer in decimal, another
    // number in its shortest form; anything else none.
    static std::optional<QString> batchDeviceIDText(const QJsonValue& value);

private:
    // Registration and windows.
    void addDevices(const QJsonObject& data);
    void removeDevices(const QJsonObject& data);
    void openDevice(const Web2NativeMessage& message);
    void openDeviceInExistingWindow(const Web2NativeMessage& message);
    void closeAllDevices();
    void closeSelectedDevices(const QJsonObject& data);
    void openManyDevices(const QJsonObject& data);
    void syncSignWithSavedUser(const QString& token);
    void endInputSyncIfActive();
    bool isStreaming(qint64 deviceID) const;

    // Input sync, previews and paste.
    void startInputSync(const QJsonObject& data);
    void changeInputSyncStatus(const Web2NativeMessage& message);
    void requestPreviews(const Web2NativeMessage& message);
    void pasteText(const Web2NativeMessage& message);
    void acceptPreviewPath(const QJsonObject& data);

    Environment m_environment;
};
