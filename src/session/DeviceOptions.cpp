#include "session/DeviceOptions.h"

KXTransportProtocolTypeObc transportOf(DeviceConnectType type) {
    return type == DeviceConnectType::tcp ? KXTransportProtocolTypeObc::tcp
                                          : KXTransportProtocolTypeObc::udp;
}

DeviceConnectType connectTypeOf(KXTransportProtocolTypeObc transport) {
    return transport == KXTransportProtocolTypeObc::tcp ? DeviceConnectType::tcp
                                                        : DeviceConnectType::udp;
}

QString caseName(DeviceConnectType type) {
    return type == DeviceConnectType::tcp ? QStringLiteral("tcp") : QStringLiteral("udp");
}
