#pragma once

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/crashreporting/CrashReportClient.h"
#include "foundation/settings/DeviceInfoManager.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Connects the client to its crash-reporting service: started once at launch, it tags every
// report with the machine and the build, keeps the signed-in user on the reports and marks the
// active cloud-phone window. Until `start` every operation does nothing, so callers never need
// to know whether crash reporting is on. Breadcrumbs may come from any thread.
class SentryService {
public:
    // What reports say about the signed-in user.
    struct UserInfo {
        QString uid;
        std::optional<QString> username;
        std::optional<QString> phone;
    };
    // Reads the signed-in user from where it is stored; nothing when nobody is signed in.
    using UserProvider = std::function<std::optional<UserInfo>()>;

    struct Environment {
        QString dsn;
        std::optional<QString> bundleIdentifier;
        DeviceInfoManager deviceInfo;
        QByteArray machineName;  // as uname reports it
        NotificationCenter* notifications = nullptr;
    };

    static SentryService& shared();

    SentryService(Environment environment, std::unique_ptr<CrashReportClient> client);
    ~SentryService();
    SentryService(const SentryService&) = delete;
    SentryService& operator=(const SentryService&) = delete;

    const QString& dsn() const { return m_environment.dsn; }
    bool didStart() const { return m_didStart.load(); }
    std::optional<QString> activeCloudDeviceID() const;

    // The signed-in user comes from here from now on (on start, "user_login" and "user_logout");
    // without a provider reports are anonymous.
    void setUserProvider(UserProvider provider);

    void start();
    // The serial number, else the MAC address, else "unknown-mac-device".
    QString appDeviceID() const;
    void updateUser();
    void handleUserSessionDidChange() { updateUser(); }
    void setActiveCloudDevice(qint64 deviceID, const std::optional<QString>& deviceName);
    void clearActiveCloudDevice(qint64 deviceID);
    void addCloudPhoneBreadcrumb(const QString& category, const QString& message,
                                 CrashReportLevel level, const QVariantMap& data,
                                 const QString& deviceID);

    // "apple_silicon" for an ARM machine name, else "intel" (also for one that is not UTF-8).
    static QString cpuArchitectureTag(const QByteArray& machineName);

private:
    QString bundleIdentifier() const;

    const Environment m_environment;
    const std::unique_ptr<CrashReportClient> m_client;
    std::atomic<bool> m_didStart{false};
    mutable std::mutex m_mutex;
    std::optional<QString> m_activeCloudDeviceID;
    UserProvider m_userProvider;
    std::vector<NotificationCenter::ObserverId> m_observers;
};
