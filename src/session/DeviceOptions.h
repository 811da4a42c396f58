#pragma once

#include "sdk/KXDeviceParamsObc.h"

#include <QString>

#include <optional>

enum class DeviceConnectType {
    udp,
    tcp,
};

KXTransportProtocolTypeObc transportOf(DeviceConnectType type);
DeviceConnectType connectTypeOf(KXTransportProtocolTypeObc transport);
// "udp" or "tcp".
QString caseName(DeviceConnectType type);

// How the page asks to reach a device: an address and port of its own, or neither.
struct DeviceOptions {
    std::optional<QString> hostStr;
    std::optional<int> port;
    DeviceConnectType connectType = DeviceConnectType::udp;

    bool operator==(const DeviceOptions&) const = default;
};
