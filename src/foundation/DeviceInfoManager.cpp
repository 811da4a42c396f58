#include "foundation/DeviceInfoManager.h"

#include "foundation/BundleInfo.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>

namespace {

std::optional<qint64> parseWholeNumber(const QString& piece) {
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+$"));
    if (!pattern.match(piece).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = piece.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

bool isEthernetLike(const DeviceInfoManager::Interface& interface) {
    return !interface.isLoopback && (interface.type == QNetworkInterface::Ethernet ||
                                     interface.type == QNetworkInterface::Wifi);
}

// Loopback and some tunnels report an all-zero address; it names no hardware.
bool isHardwareAddress(const QString& address) {
    static const QRegularExpression zeros(QStringLiteral("^[0:]*$"));
    return !address.isEmpty() && !zeros.match(address).hasMatch();
}

}  // namespace

const DeviceInfoManager& DeviceInfoManager::shared() {
    static const DeviceInfoManager instance;
    return instance;
}

DeviceInfoManager::DeviceInfoManager() : DeviceInfoManager(systemSources()) {}

DeviceInfoManager::DeviceInfoManager(Sources sources) : m_sources(std::move(sources)) {}

DeviceInfoManager::Sources DeviceInfoManager::systemSources() {
    return Sources{
        [] { return BundleInfo::main().dictionary(); },
        [] { return QSysInfo::kernelVersion(); },
        [] {
            QList<Interface> interfaces;
            for (const QNetworkInterface& system : QNetworkInterface::allInterfaces()) {
                interfaces.append({system.name(), system.type(),
                                   system.flags().testFlag(QNetworkInterface::IsLoopBack),
                                   system.hardwareAddress()});
            }
            return interfaces;
        },
        {QStringLiteral("/sys/class/dmi/id/product_serial"), QStringLiteral("/etc/machine-id")},
    };
}

QString DeviceInfoManager::appVersion() const {
    const BundleInfo info(m_sources.infoDictionary());
    return info.string(BundleInfo::kShortVersionKey).value_or(QStringLiteral("1.0.0"));
}

QString DeviceInfoManager::buildNumber() const {
    const BundleInfo info(m_sources.infoDictionary());
    return info.string(BundleInfo::kVersionKey).value_or(QStringLiteral("1"));
}

QString DeviceInfoManager::macOSVersion() const {
    return operatingSystemVersion(m_sources.kernelRelease());
}

std::optional<QString> DeviceInfoManager::primaryMACAddress() const {
    for (const Interface& interface : m_sources.networkInterfaces()) {
        if (isEthernetLike(interface) && isHardwareAddress(interface.hardwareAddress)) {
            return interface.hardwareAddress.toLower();
        }
    }
    return std::nullopt;
}

std::optional<QString> DeviceInfoManager::platformSerialNumber() const {
    for (const QString& path : m_sources.serialNumberFiles) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QString serial = QString::fromUtf8(file.readAll()).trimmed();
        if (!serial.isEmpty()) {
            return serial;
        }
    }
    return std::nullopt;
}

QString DeviceInfoManager::versionCode(const QString& appVersion) {
    const QStringList pieces = appVersion.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.size() != 4) {
        return {};
    }
    QString code;
    for (qsizetype index = 0; index < pieces.size(); ++index) {
        const std::optional<qint64> value = parseWholeNumber(pieces[index]);
        if (!value) {
            continue;
        }
        if (index == 0) {
            code += QString::number(*value) + (*value <= 9 ? QStringLiteral("0") : QString());
        } else {
            code += QStringLiteral("%1").arg(*value, 2, 10, QLatin1Char('0'));
        }
    }
    return code;
}

QString DeviceInfoManager::operatingSystemVersion(const QString& kernelRelease) {
    static const QRegularExpression leading(
        QStringLiteral("^([0-9]+)(?:\\.([0-9]+))?(?:\\.([0-9]+))?"));
    const QRegularExpressionMatch match = leading.match(kernelRelease);
    QStringList parts;
    for (int group = 1; group <= 3; ++group) {
        const QString digits = match.captured(group);
        parts << (digits.isEmpty() ? QStringLiteral("0") : QString::number(digits.toULongLong()));
    }
    return parts.join(QLatin1Char('.'));
}
