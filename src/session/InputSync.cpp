#include "session/InputSync.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/settings/SettingsManager.h"
#include "sdk/KXDevice.h"
#include "session/DeviceRegistry.h"

#include <QPointer>

#include <cmath>

namespace {

// ["a", "b"]
QString arrayText(QStringList ids) {
    ids.sort();
    for (QString& id : ids) {
        id = QLatin1Char('"') + id + QLatin1Char('"');
    }
    return QLatin1Char('[') + ids.join(QStringLiteral(", ")) + QLatin1Char(']');
}

}  // namespace

InputSync::InputSync(const DeviceRegistry& registry, QObject* parent)
    : QObject(parent), m_registry(registry) {}

void InputSync::clear() {
    m_mainDeviceID.reset();
    m_deviceIDs.clear();
    m_isEnabled = false;
}

void InputSync::forgetDevice(const QString& deviceID) {
    m_deviceIDs.remove(deviceID);
    if (m_mainDeviceID == deviceID) {
        disable();
    }
}

void InputSync::enable(const QString& mainDeviceID, const QStringList& deviceIDs) {
    endMirroredTouches();
    ++m_generation;
    m_mainDeviceID = mainDeviceID;
    QSet<QString> members(deviceIDs.cbegin(), deviceIDs.cend());
    members.remove(mainDeviceID);
    m_deviceIDs = members;
    m_isEnabled = true;

    QStringList missing;
    for (const QString& id : std::as_const(members)) {
        if (!m_registry.contains(id)) {
            missing << id;
        }
    }
    if (!missing.isEmpty()) {
        ConsoleFormat::print(QStringLiteral("⚠️ 批量输入同步设备尚未添加: ") +
                             arrayText(missing));
    }
    ConsoleFormat::print(QStringLiteral("批量输入同步已开启，主控: ") + mainDeviceID +
                         QStringLiteral("，设备: ") +
                         arrayText(QStringList(members.cbegin(), members.cend())));
}

void InputSync::setEnabled(bool enabled) {
    if (!m_mainDeviceID) {
        return;
    }
    if (!enabled) {
        endMirroredTouches();
        ++m_generation;
    }
    m_isEnabled = enabled;
    ConsoleFormat::print(QStringLiteral("批量输入同步已") +
                         (enabled ? QStringLiteral("继续") : QStringLiteral("暂停")));
}

void InputSync::disable() {
    endMirroredTouches();
    ++m_generation;
    clear();
    ConsoleFormat::print(QStringLiteral("批量输入同步已关闭"));
}

std::optional<bool> InputSync::state(const QString& deviceID) const {
    if (m_mainDeviceID != deviceID) {
        return std::nullopt;
    }
    return m_isEnabled;
}

void InputSync::endMirroredTouches() {
    if (!m_isEnabled) {
        return;
    }
    for (const QString& id : std::as_const(m_deviceIDs)) {
        if (const Device device = m_registry.device(id)) {
            device->touchEnd();
        }
    }
}

double InputSync::delay() const {
    const SettingsManager& settings = m_settings ? *m_settings : SettingsManager::shared();
    return settings.number(TypedSettings::syncDelaySeconds).value_or(0);
}

void InputSync::replay(const QStringList& targets, const DeviceAction& action) const {
    for (const QString& id : targets) {
        if (const Device device = m_registry.device(id)) {
            action(device);
        }
    }
}

void InputSync::mirror(const QString& deviceID, const DeviceAction& action) {
    const Device device = m_registry.device(deviceID);
    if (!device) {
        return;
    }
    action(device);
    if (!m_isEnabled || m_mainDeviceID != deviceID) {
        return;
    }
    QStringList targets(m_deviceIDs.cbegin(), m_deviceIDs.cend());
    targets.removeAll(deviceID);
    targets.sort();

    const double seconds = delay();
    if (seconds <= 0) {
        replay(targets, action);
        return;
    }
    const int generation = m_generation;
    QPointer<InputSync> weakSelf(this);
    auto replayLater = [weakSelf, deviceID, generation, targets, action] {
        if (!weakSelf || !weakSelf->m_isEnabled || weakSelf->m_mainDeviceID != deviceID ||
            weakSelf->m_generation != generation) {
            return;
        }
        weakSelf->replay(targets, action);
    };
    // Rounded up, so a replay never comes before the delay the user set.
    const std::chrono::milliseconds wait(static_cast<qint64>(std::ceil(seconds * 1000)));
    if (m_delayedTaskScheduler) {
        m_delayedTaskScheduler(wait, std::move(replayLater));
    } else {
        MainQueue::asyncAfter(wait, std::move(replayLater));
    }
}
