#include "foundation/crashreporting/SentryService.h"

#include "foundation/AppInfo.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/crashreporting/LocalCrashReportClient.h"
#include "foundation/settings/BundleInfo.h"

#include <QStringDecoder>

#include <sys/utsname.h>

namespace {

const QString kWindowContext = QStringLiteral("window_context");
const QString kCloudDeviceId = QStringLiteral("cloud_device_id");
const QString kCloudDeviceName = QStringLiteral("cloud_device_name");

QByteArray unameMachine() {
    utsname names{};
    return ::uname(&names) == 0 ? QByteArray(names.machine) : QByteArray();
}

}  // namespace

SentryService& SentryService::shared() {
    // Kept until exit: SDK threads may still record breadcrumbs while the process ends.
    static SentryService* const instance = [] {
        LocalCrashReportClient::Settings settings;
        settings.spoolDirectory = LocalCrashReportClient::defaultSpoolDirectory();
        settings.captureCrashes = true;
        return new SentryService(
            Environment{QString::fromUtf8(AppInfo::kCrashReportDsn),
                        BundleInfo::main().bundleIdentifier(), DeviceInfoManager(), unameMachine(),
                        &NotificationCenter::defaultCenter()},
            std::make_unique<LocalCrashReportClient>(settings));
    }();
    return *instance;
}

SentryService::SentryService(Environment environment, std::unique_ptr<CrashReportClient> client)
    : m_environment(std::move(environment)), m_client(std::move(client)) {}

SentryService::~SentryService() {
    if (m_environment.notifications) {
        for (NotificationCenter::ObserverId id : m_observers) {
            m_environment.notifications->removeObserver(id);
        }
    }
}

std::optional<QString> SentryService::activeCloudDeviceID() const {
    std::lock_guard lock(m_mutex);
    return m_activeCloudDeviceID;
}

void SentryService::setUserProvider(UserProvider provider) {
    {
        std::lock_guard lock(m_mutex);
        m_userProvider = std::move(provider);
    }
    updateUser();
}

void SentryService::start() {
    if (m_didStart.exchange(true)) {
        return;
    }
    const DeviceInfoManager& device = m_environment.deviceInfo;
    const QString appVersion = device.appVersion();
    const QString buildNumber = device.buildNumber();
    m_client->start(CrashReportOptions{
        m_environment.dsn,
        bundleIdentifier() + QLatin1Char('@') + appVersion + QLatin1Char('+') + buildNumber,
        QStringLiteral("release"),
        false,
    });

    const QString deviceId = appDeviceID();
    const QString macOSVersion = device.macOSVersion();
    const QString cpuArch = cpuArchitectureTag(m_environment.machineName);
    m_client->configureScope([&](CrashReportScope& scope) {
        scope.setTag(deviceId, QStringLiteral("app_device_id"));
        scope.setTag(bundleIdentifier(), QStringLiteral("bundle_id"));
        scope.setTag(appVersion, QStringLiteral("app_version"));
        scope.setTag(buildNumber, QStringLiteral("build_version"));
        scope.setTag(macOSVersion, QStringLiteral("macos_version"));
        scope.setTag(cpuArch, QStringLiteral("cpu_arch"));
        scope.setTag(QStringLiteral("app_window"), kWindowContext);
    });

    updateUser();

    if (m_environment.notifications) {
        for (const QString& name : {NotificationNames::userLogin, NotificationNames::userLogout}) {
            m_observers.push_back(m_environment.notifications->addObserver(
                nullptr, name, [this](const Notification&) { handleUserSessionDidChange(); }));
        }
    }
}

QString SentryService::appDeviceID() const {
    const std::optional<QString> serial = m_environment.deviceInfo.platformSerialNumber();
    if (serial && !serial->isEmpty()) {
        return *serial;
    }
    const std::optional<QString> mac = m_environment.deviceInfo.primaryMACAddress();
    if (mac && !mac->isEmpty()) {
        return *mac;
    }
    return QStringLiteral("unknown-mac-device");
}

void SentryService::updateUser() {
    if (!m_didStart) {
        return;
    }
    const UserProvider provider = [this] {
        std::lock_guard lock(m_mutex);
        return m_userProvider;
    }();
    const std::optional<UserInfo> user = provider ? provider() : std::nullopt;
    if (user && !user->uid.isEmpty()) {
        m_client->setUser(CrashReportUser{user->uid, user->username, user->phone});
        m_client->configureScope(
            [&](CrashReportScope& scope) { scope.setTag(user->uid, QStringLiteral("user_id")); });
    } else {
        m_client->setUser(std::nullopt);
        m_client->configureScope([](CrashReportScope& scope) {
            scope.setTag(QStringLiteral("anonymous"), QStringLiteral("user_id"));
        });
    }
}

void SentryService::setActiveCloudDevice(qint64 deviceID,
                                         const std::optional<QString>& deviceName) {
    if (!m_didStart) {
        return;
    }
    const QString id = QString::number(deviceID);
    std::lock_guard lock(m_mutex);
    m_activeCloudDeviceID = id;
    m_client->configureScope([&](CrashReportScope& scope) {
        scope.setTag(QStringLiteral("cloud_phone_window"), kWindowContext);
        scope.setTag(id, kCloudDeviceId);
        if (deviceName && !deviceName->isEmpty()) {
            scope.setTag(*deviceName, kCloudDeviceName);
        } else {
            scope.removeTag(kCloudDeviceName);
        }
    });
}

void SentryService::clearActiveCloudDevice(qint64 deviceID) {
    if (!m_didStart) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (!m_activeCloudDeviceID || *m_activeCloudDeviceID != QString::number(deviceID)) {
        return;
    }
    m_activeCloudDeviceID.reset();
    m_client->configureScope([](CrashReportScope& scope) {
        scope.setTag(QStringLiteral("app_window"), kWindowContext);
        scope.removeTag(kCloudDeviceId);
        scope.removeTag(kCloudDeviceName);
    });
}

void SentryService::addCloudPhoneBreadcrumb(const QString& category, const QString& message,
                                            CrashReportLevel level, const QVariantMap& data,
                                            const QString& deviceID) {
    if (!m_didStart) {
        return;
    }
    QVariantMap attached = data;
    if (!deviceID.isEmpty()) {
        attached.insert(QStringLiteral("device_id"), deviceID);
    }
    if (const std::optional<QString> active = activeCloudDeviceID(); active && !active->isEmpty()) {
        attached.insert(QStringLiteral("active_cloud_device_id"), *active);
    }
    CrashReportBreadcrumb breadcrumb;
    breadcrumb.category = category;
    breadcrumb.message = message;
    breadcrumb.level = level;
    if (!attached.isEmpty()) {
        breadcrumb.data = attached;
    }
    m_client->addBreadcrumb(breadcrumb);
}

QString SentryService::cpuArchitectureTag(const QByteArray& machineName) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString machine = decoder.decode(machineName);
    if (decoder.hasError()) {
        return QStringLiteral("intel");
    }
    // 64-bit ARM machines call themselves "aarch64" on Linux.
    return machine.startsWith(QLatin1String("arm")) || machine.startsWith(QLatin1String("aarch64"))
               ? QStringLiteral("apple_silicon")
               : QStringLiteral("intel");
}

QString SentryService::bundleIdentifier() const {
    const std::optional<QString>& identifier = m_environment.bundleIdentifier;
    return identifier && !identifier->isEmpty() ? *identifier : QStringLiteral("com.unknown.app");
}
