#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

// The crash-reporting service as the client sees it. One implementation writes the service's
// envelopes itself; a full reporting library can take its place behind this interface.

enum class CrashReportLevel { debug = 1, info = 2, warning = 3, error = 4, fatal = 5 };

struct CrashReportOptions {
    QString dsn;  // empty: nothing leaves the machine
    QString releaseName;
    QString environment;
    bool debug = false;
};

struct CrashReportUser {
    QString userId;
    std::optional<QString> username;
    std::optional<QString> email;

    bool operator==(const CrashReportUser&) const = default;
};

struct CrashReportBreadcrumb {
    QString category;
    QString message;
    CrashReportLevel level = CrashReportLevel::info;
    std::optional<QVariantMap> data;
    QDateTime timestamp = QDateTime::currentDateTimeUtc();
};

// Tags that every later report carries.
class CrashReportScope {
public:
    void setTag(const QString& value, const QString& key) { m_tags.insert(key, value); }
    void removeTag(const QString& key) { m_tags.remove(key); }
    const QMap<QString, QString>& tags() const { return m_tags; }

private:
    QMap<QString, QString> m_tags;
};

// Every call may come from any thread; calls before `start` are dropped.
class CrashReportClient {
public:
    virtual ~CrashReportClient() = default;

    virtual void start(const CrashReportOptions& options) = 0;
    // One change of the scope, seen whole by every report; `change` must not call the client.
    virtual void configureScope(const std::function<void(CrashReportScope& scope)>& change) = 0;
    // Nothing clears the user.
    virtual void setUser(const std::optional<CrashReportUser>& user) = 0;
    virtual void addBreadcrumb(const CrashReportBreadcrumb& breadcrumb) = 0;
    // Reports a message with the current scope; gives the event id, empty when not started.
    virtual QString captureMessage(const QString& message, CrashReportLevel level) = 0;
};
