#pragma once

#include "foundation/crashreporting/CrashReportClient.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class CrashReportSender;

// The client's own crash reporting: keeps the scope, the user and the latest breadcrumbs, writes
// every report as an envelope of the service into a spool folder and, when a DSN is configured,
// uploads the folder to it. With crash capture on, a fatal signal leaves a report in the folder
// that the next start sends. `start` and `flush` belong to the thread that owns the sender (the
// GUI thread); everything else may be called from any thread.
class LocalCrashReportClient : public CrashReportClient {
public:
    struct Settings {
        QString spoolDirectory;
        bool captureCrashes = false;
        int maxBreadcrumbs = 100;
        int maxSpooledReports = 30;
    };

    // "crash-reports" in the application's cache folder.
    static QString defaultSpoolDirectory();

    explicit LocalCrashReportClient(Settings settings);
    ~LocalCrashReportClient() override;
    LocalCrashReportClient(const LocalCrashReportClient&) = delete;
    LocalCrashReportClient& operator=(const LocalCrashReportClient&) = delete;

    void start(const CrashReportOptions& options) override;
    void configureScope(const std::function<void(CrashReportScope& scope)>& change) override;
    void setUser(const std::optional<CrashReportUser>& user) override;
    void addBreadcrumb(const CrashReportBreadcrumb& breadcrumb) override;
    QString captureMessage(const QString& message, CrashReportLevel level) override;

    // Uploads what is spooled; start does it, and every report asks for it.
    void flush();
    // Nothing before start or without a usable DSN.
    CrashReportSender* sender() const { return m_sender.get(); }
    const QString& spoolDirectory() const { return m_settings.spoolDirectory; }

private:
    // The event without its level, time and content: what every report of the moment shares.
    QJsonObject eventBaseLocked(const QString& eventId) const;
    QByteArray envelopeHeaderLocked(const QString& eventId) const;
    void spoolLocked(const QString& eventId, const QByteArray& envelope);
    void prepareCrashReportLocked();
    void requestFlush();

    const Settings m_settings;
    std::atomic<bool> m_started{false};
    mutable std::mutex m_mutex;
    CrashReportOptions m_options;
    CrashReportScope m_scope;
    std::optional<CrashReportUser> m_user;
    std::deque<CrashReportBreadcrumb> m_breadcrumbs;
    quint64 m_spoolCounter = 0;
    std::unique_ptr<CrashReportSender> m_sender;
};
