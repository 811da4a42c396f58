#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>

class CloudPhoneCommunicator;
class DeviceWindowPageLink;
class ImageSaveManager;
class KeyMappingConfigManager;
class LanguageManager;
class NotificationCenter;
class SentryService;
class SettingsManager;
class WindowActiveManager;

// The device a window shows. The window owns it and changes it only when it switches to another
// device, keeping its parts; the parts hold a reference and read the id, name and key here at the
// moment they act, never a copy that a switch would leave behind.
struct DeviceIdentity {
    qint64 deviceID = 0;
    QString deviceName;

    // The device's key in the session: its id in decimal.
    QString deviceKey() const { return QString::number(deviceID); }
};

// What a device window and its parts work with, handed to them when they are made: the
// client's shared services, unless a test hands in others. Every pointer is set.
struct DeviceWindowEnvironment {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::milliseconds kIdleCheckInterval{15000};

    CloudPhoneCommunicator* communicator = nullptr;
    WindowActiveManager* activeManager = nullptr;
    SettingsManager* settings = nullptr;
    NotificationCenter* notifications = nullptr;
    LanguageManager* language = nullptr;
    SentryService* sentry = nullptr;
    KeyMappingConfigManager* keyMappingStore = nullptr;
    ImageSaveManager* imageSaver = nullptr;
    // The link the web bridge installed, asked at each message; nullptr while there is none.
    std::function<DeviceWindowPageLink*()> pageLink;
    // The idle policy's time; the monotonic clock when empty, so that a jump of the wall clock
    // changes no idle time.
    Clock clock;
    std::chrono::milliseconds idleCheckInterval = kIdleCheckInterval;

    static DeviceWindowEnvironment standard();
};
