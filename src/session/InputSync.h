#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class DeviceRegistry;
class KXDevice;
class SettingsManager;

// Input sync: what reaches the main device is replayed on the other devices of the group after
// the "sync-time" delay, unless sync was changed in between (each enable, pause and disable
// advances the generation, which a waiting replay checks). GUI thread only.
class InputSync : public QObject {
public:
    using Device = std::shared_ptr<KXDevice>;
    // Sends one thing to the device it is given.
    using DeviceAction = std::function<void(const Device& device)>;
    // Runs a task on the GUI thread once the delay has passed.
    using DelayedTaskScheduler =
        std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;

    explicit InputSync(const DeviceRegistry& registry, QObject* parent = nullptr);

    // Collaborators for tests; the shared settings and the GUI thread's timers otherwise.
    void setSettingsManager(SettingsManager* settings) { m_settings = settings; }
    void setDelayedTaskScheduler(DelayedTaskScheduler scheduler) {
        m_delayedTaskScheduler = std::move(scheduler);
    }

    void enable(const QString& mainDeviceID, const QStringList& deviceIDs);
    void setEnabled(bool enabled);
    void disable();
    // Forgets the group without a line and without advancing the generation.
    void clear();
    // A removed device leaves the group; removing the main device ends sync.
    void forgetDevice(const QString& deviceID);

    bool isActive() const { return m_mainDeviceID.has_value(); }
    std::optional<bool> state(const QString& deviceID) const;
    // The action on the device and, when it leads an enabled group, later on the others.
    void mirror(const QString& deviceID, const DeviceAction& action);
    void endMirroredTouches();
    // Seconds, from the "sync-time" setting: 0 when missing or not a number, at most 1000.
    double delay() const;

    const std::optional<QString>& mainDeviceID() const { return m_mainDeviceID; }
    const QSet<QString>& deviceIDs() const { return m_deviceIDs; }
    bool isEnabled() const { return m_isEnabled; }
    int generation() const { return m_generation; }

private:
    void replay(const QStringList& targets, const DeviceAction& action) const;

    const DeviceRegistry& m_registry;
    std::optional<QString> m_mainDeviceID;
    QSet<QString> m_deviceIDs;
    bool m_isEnabled = false;
    int m_generation = 0;
    SettingsManager* m_settings = nullptr;
    DelayedTaskScheduler m_delayedTaskScheduler;
};
