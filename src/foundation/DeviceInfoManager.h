#pragma once

#include <QList>
#include <QNetworkInterface>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

// What crash reports, start-up settings and update checks say about the client and the machine.
// Nothing is cached: every answer reads its source again.
class DeviceInfoManager {
public:
    struct Interface {
        QString name;
        QNetworkInterface::InterfaceType type = QNetworkInterface::Unknown;
        bool isLoopback = false;
        QString hardwareAddress;  // as the system prints it, any case
    };

    struct Sources {
        std::function<QVariantMap()> infoDictionary;
        std::function<QString()> kernelRelease;  // e.g. "6.1.0-18-amd64"
        std::function<QList<Interface>()> networkInterfaces;
        QStringList serialNumberFiles;  // tried in order
        // Tried after the serial numbers; their identifier is only ever given out hashed.
        QStringList machineIdFiles;
        QString machineIdHashKey;  // the application's own key for that hash
    };

    static const DeviceInfoManager& shared();

    // The running client and machine.
    DeviceInfoManager();
    explicit DeviceInfoManager(Sources sources);

    static Sources systemSources();

    // "CFBundleShortVersionString" when it is a text, else "1.0.0".
    QString appVersion() const;
    // "CFBundleVersion" when it is a text, else "1".
    QString buildNumber() const;
    QString versionCode() const { return versionCode(appVersion()); }
    // Major, minor and patch of the running kernel, e.g. "6.1.0".
    QString macOSVersion() const;
    // The first non-loopback Ethernet-like interface with a hardware address, as aa:bb:cc:dd:ee:ff.
    std::optional<QString> primaryMACAddress() const;
    // The first real serial number among the serial number files (placeholders firmware writes
    // where no serial was set are passed over), else the machine identifier as the lower-case
    // hex HMAC-SHA-256 keyed by `machineIdHashKey`: the raw identifier never leaves the machine.
    std::optional<QString> platformSerialNumber() const;

    // Texts firmware leaves in the serial number field when none was set.
    static bool isPlaceholderSerialNumber(const QString& serial);

    // "a.b.c.d" to a number text: a as given with a "0" appended below 10, the others with at least
    // two digits (1.2.3.4 gives 10020304). Not four parts: empty; a part that is not a whole
    // number adds nothing.
    static QString versionCode(const QString& appVersion);
    static QString operatingSystemVersion(const QString& kernelRelease);

private:
    Sources m_sources;
};
