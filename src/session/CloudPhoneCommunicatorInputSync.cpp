#include "session/CloudPhoneCommunicator.h"

#include "foundation/MainQueue.h"
#include "foundation/SettingsManager.h"
#include "sdk/KXDevice.h"
#include "session/ConsoleFormat.h"

#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaximumSyncDelaySeconds = 1000;

// ["a", "b"]
QString arrayText(QStringList ids) {
    ids.sort();
    for (QString& id : ids) {
        id = QLatin1Char('"') + id + QLatin1Char('"');
    }
    return QLatin1Char('[') + ids.join(QStringLiteral(", ")) + QLatin1Char(']');
}

}  // namespace

void CloudPhoneCommunicator::clearInputSync() {
    m_inputSyncMainDeviceID.reset();
    m_inputSyncDeviceIDs.clear();
    m_isInputSyncEnabled = false;
}

void CloudPhoneCommunicator::enableInputSync(const QString& mainDeviceID,
                                             const QStringList& deviceIDs) {
    endMirroredTouches();
    ++m_inputSyncGeneration;
    m_inputSyncMainDeviceID = mainDeviceID;
    QSet<QString> members(deviceIDs.cbegin(), deviceIDs.cend());
    members.remove(mainDeviceID);
    m_inputSyncDeviceIDs = members;
    m_isInputSyncEnabled = true;

    QStringList missing;
    for (const QString& id : std::as_const(members)) {
        if (!m_deviceMap.contains(id)) {
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

void CloudPhoneCommunicator::setInputSyncEnabled(bool enabled) {
    if (!m_inputSyncMainDeviceID) {
        return;
    }
    if (!enabled) {
        endMirroredTouches();
        ++m_inputSyncGeneration;
    }
    m_isInputSyncEnabled = enabled;
    ConsoleFormat::print(QStringLiteral("批量输入同步已") +
                         (enabled ? QStringLiteral("继续") : QStringLiteral("暂停")));
}

void CloudPhoneCommunicator::disableInputSync() {
    endMirroredTouches();
    ++m_inputSyncGeneration;
    clearInputSync();
    ConsoleFormat::print(QStringLiteral("批量输入同步已关闭"));
}

bool CloudPhoneCommunicator::isInputSyncActive() const {
    return m_inputSyncMainDeviceID.has_value();
}

std::optional<bool> CloudPhoneCommunicator::inputSyncState(const QString& deviceID) const {
    if (m_inputSyncMainDeviceID != deviceID) {
        return std::nullopt;
    }
    return m_isInputSyncEnabled;
}

void CloudPhoneCommunicator::endMirroredTouches() {
    if (!m_isInputSyncEnabled) {
        return;
    }
    for (const QString& id : std::as_const(m_inputSyncDeviceIDs)) {
        if (const Device device = m_deviceMap.value(id)) {
            device->touchEnd();
        }
    }
}

double CloudPhoneCommunicator::inputSyncDelay() const {
    const SettingsManager& settings = m_settings ? *m_settings : SettingsManager::shared();
    const QString text = settings.string(SettingKey::syncTime).value_or(QStringLiteral("0"));
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || std::isnan(seconds)) {
        return 0;
    }
    return std::clamp(seconds, 0.0, kMaximumSyncDelaySeconds);
}

void CloudPhoneCommunicator::replayOnSyncDevices(const QStringList& targets,
                                                 const DeviceAction& action) const {
    for (const QString& id : targets) {
        if (const Device device = m_deviceMap.value(id)) {
            action(device);
        }
    }
}

void CloudPhoneCommunicator::mirrorInputToSyncDevices(const QString& deviceID,
                                                      const DeviceAction& action) {
    const Device device = m_deviceMap.value(deviceID);
    if (!device) {
        return;
    }
    action(device);
    if (!m_isInputSyncEnabled || m_inputSyncMainDeviceID != deviceID) {
        return;
    }
    QStringList targets(m_inputSyncDeviceIDs.cbegin(), m_inputSyncDeviceIDs.cend());
    targets.removeAll(deviceID);
    targets.sort();

    const double delay = inputSyncDelay();
    if (delay <= 0) {
        replayOnSyncDevices(targets, action);
        return;
    }
    const int generation = m_inputSyncGeneration;
    QPointer<CloudPhoneCommunicator> weakSelf(this);
    auto replay = [weakSelf, deviceID, generation, targets, action] {
        if (!weakSelf || !weakSelf->m_isInputSyncEnabled ||
            weakSelf->m_inputSyncMainDeviceID != deviceID ||
            weakSelf->m_inputSyncGeneration != generation) {
            return;
        }
        weakSelf->replayOnSyncDevices(targets, action);
    };
    // Rounded up, so a replay never comes before the delay the user set.
    const std::chrono::milliseconds wait(static_cast<qint64>(std::ceil(delay * 1000)));
    if (m_delayedTaskScheduler) {
        m_delayedTaskScheduler(wait, std::move(replay));
    } else {
        MainQueue::asyncAfter(wait, std::move(replay));
    }
}
