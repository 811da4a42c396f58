#include "foundation/settings/DeviceInfoManager.h"

#include "foundation/AppInfo.h"
#include "foundation/settings/BundleInfo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>

namespace {

// Serial and machine-id files hold one line; reads are capped, the file may be anything.
QString firstLineOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.read(256)).section(QLatin1Char('\n'), 0, 0).trimmed();
}

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
        {QStringLiteral("/sys/class/dmi/id/product_serial")},
        {QStringLiteral("/etc/machine-id")},
        QString::fromUtf8(AppInfo::kBundleIdentifier),
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
        const QString serial = firstLineOf(path);
        if (!serial.isEmpty() && !isPlaceholderSerialNumber(serial)) {
            return serial;
        }
    }
    for (const QString& path : m_sources.machineIdFiles) {
        const QString machineId = firstLineOf(path);
        if (!machineId.isEmpty()) {
            return QString::fromLatin1(QMessageAuthenticationCode::hash(
                                           machineId.toUtf8(), m_sources.machineIdHashKey.toUtf8(),
                                           QCryptographicHash::Sha256)
                                           .toHex());
        }
    }
    return std::nullopt;
}

bool DeviceInfoManager::isPlaceholderSerialNumber(const QString& serial) {
    static const QStringList placeholders = {
        QStringLiteral("To Be Filled By O.E.M."),
        QStringLiteral("Default string"),
        QStringLiteral("System Serial Number"),
        QStringLiteral("Chassis Serial Number"),
        QStringLiteral("None"),
        QStringLiteral("Not Specified"),
        QStringLiteral("Not Applicable"),
        QStringLiteral("N/A"),
        QStringLiteral("0"),
    };
    const QString text = serial.trimmed();
    if (text.isEmpty() || placeholders.contains(text, Qt::CaseInsensitive)) {
        return true;
    }
    // "0000000", "xxxxxxxx", "........": one character over and over.
    return std::all_of(text.begin(), text.end(), [&text](QChar c) { return c == text.front(); });
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
