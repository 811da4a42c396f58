#pragma once

#include <QString>
#include <QtGlobal>

enum class KXTransportProtocolTypeObc : int {
    udp = 0,
    tcp = 1,
};

// How to reach one cloud device and as whom. A device keeps the parameters it was made with
// (`KXDevice::config`), so callers can reuse them for a later connection.
class KXDeviceParamsObc {
public:
    void setDeviceID(const QString& deviceID) { m_deviceID = deviceID; }
    const QString& deviceID() const { return m_deviceID; }

    void setIpAddress(const QString& ipAddress) { m_ipAddress = ipAddress; }
    const QString& ipAddress() const { return m_ipAddress; }

    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }

    void setUid(const QString& uid) { m_uid = uid; }
    const QString& uid() const { return m_uid; }

    void setTransport(KXTransportProtocolTypeObc transport) { m_transport = transport; }
    KXTransportProtocolTypeObc transport() const { return m_transport; }

    void setToken(const QString& token) { m_token = token; }
    const QString& token() const { return m_token; }

    bool operator==(const KXDeviceParamsObc&) const = default;

private:
    QString m_deviceID;
    QString m_ipAddress;
    quint16 m_port = 0;
    QString m_uid;
    KXTransportProtocolTypeObc m_transport = KXTransportProtocolTypeObc::udp;
    QString m_token;
};
