#pragma once

#include "devicewindow/DeviceWindowPageLink.h"
#include "web/CloudphoneMessageHandler.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

// The page as the built-in one behaves: its device list, and the next or previous device of it
// opened in the window that asked ("cloudphone-open-at-exist").
class SwitchingPage : public DeviceWindowPageLink {
public:
    explicit SwitchingPage(QList<qint64> devices) : m_devices(std::move(devices)) {}

    CloudphoneMessageHandler* handler = nullptr;
    QStringList messages;

    void sendOpenNewCloudphone(int deviceId, bool previous) override {
        const qsizetype index = m_devices.indexOf(deviceId);
        if (index < 0) {
            return;
        }
        const qsizetype count = m_devices.size();
        openAtExist(deviceId, m_devices[(index + (previous ? -1 : 1) + count) % count]);
    }
    void sendBatchControlStatus(int status) override {
        messages << QStringLiteral("status:%1").arg(status);
    }
    void openAtExist(qint64 oldID, qint64 newID) const {
        handler->handle({QStringLiteral("cloudphone-open-at-exist"), std::nullopt,
                         QJsonObject{{"oldDeviceId", oldID},
                                     {"deviceId", newID},
                                     {"devicename", QStringLiteral("P%1").arg(newID)}}});
    }

private:
    QList<qint64> m_devices;
};
