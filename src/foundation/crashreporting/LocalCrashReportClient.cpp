#include "foundation/crashreporting/LocalCrashReportClient.h"

#include "foundation/crashreporting/CrashReportDsn.h"
#include "foundation/crashreporting/CrashReportSender.h"
#include "foundation/crashreporting/CrashSignalHandler.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/BundleInfo.h"
#include "foundation/storage/FileExtensions.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaObject>
#include <QStandardPaths>
#include <QUuid>

namespace {

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString crashReportLevelText(CrashReportLevel level) {
    switch (level) {
        case CrashReportLevel::debug:
            return QStringLiteral("debug");
        case CrashReportLevel::info:
            return QStringLiteral("info");
        case CrashReportLevel::warning:
            return QStringLiteral("warning");
        case CrashReportLevel::error:
            return QStringLiteral("error");
        case CrashReportLevel::fatal:
            break;
    }
    return QStringLiteral("fatal");
}

double epochSeconds(const QDateTime& time) {
    return static_cast<double>(time.toMSecsSinceEpoch()) / 1000.0;
}

QJsonObject breadcrumbJson(const CrashReportBreadcrumb& breadcrumb) {
    QJsonObject json{
        {QStringLiteral("timestamp"), epochSeconds(breadcrumb.timestamp)},
        {QStringLiteral("type"), QStringLiteral("default")},
        {QStringLiteral("category"), breadcrumb.category},
        {QStringLiteral("message"), breadcrumb.message},
        {QStringLiteral("level"), crashReportLevelText(breadcrumb.level)},
    };
    if (breadcrumb.data) {
        json.insert(QStringLiteral("data"), QJsonObject::fromVariantMap(*breadcrumb.data));
    }
    return json;
}

}  // namespace

QString LocalCrashReportClient::defaultSpoolDirectory() {
    const QString identifier =
        BundleInfo::main().bundleIdentifier().value_or(QStringLiteral("AppData"));
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(identifier + QStringLiteral("/crash-reports"));
}

LocalCrashReportClient::LocalCrashReportClient(Settings settings)
    : m_settings(std::move(settings)) {}

LocalCrashReportClient::~LocalCrashReportClient() {
    if (m_settings.captureCrashes && m_started) {
        CrashSignalHandler::publish(nullptr);
    }
}

void LocalCrashReportClient::start(const CrashReportOptions& options) {
    std::lock_guard lock(m_mutex);
    if (m_started) {
        return;
    }
    m_options = options;
    // Reports carry the device identity and the user's id.
    createFolder(m_settings.spoolDirectory, FileAccess::ownerOnly);
    if (const std::optional<CrashReportDsn> dsn = CrashReportDsn::parse(options.dsn)) {
        m_sender = std::make_unique<CrashReportSender>(m_settings.spoolDirectory, *dsn);
    } else if (options.debug) {
        LogDebug(QStringLiteral("崩溃报告: 未配置 DSN，报告只保存在本地"), LogTag::app);
    }
    if (m_settings.captureCrashes) {
        CrashSignalHandler::install();
    }
    m_started = true;
    prepareCrashReportLocked();
    requestFlush();
}

void LocalCrashReportClient::configureScope(
    const std::function<void(CrashReportScope& scope)>& change) {
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        return;
    }
    change(m_scope);
    prepareCrashReportLocked();
}

void LocalCrashReportClient::setUser(const std::optional<CrashReportUser>& user) {
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        return;
    }
    m_user = user;
    prepareCrashReportLocked();
}

void LocalCrashReportClient::addBreadcrumb(const CrashReportBreadcrumb& breadcrumb) {
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        return;
    }
    m_breadcrumbs.push_back(breadcrumb);
    while (m_breadcrumbs.size() > static_cast<size_t>(qMax(m_settings.maxBreadcrumbs, 0))) {
        m_breadcrumbs.pop_front();
    }
    prepareCrashReportLocked();
}

QString LocalCrashReportClient::captureMessage(const QString& message, CrashReportLevel level) {
    std::lock_guard lock(m_mutex);
    if (!m_started) {
        return {};
    }
    const QString eventId = QUuid::createUuid().toString(QUuid::Id128);
    QJsonObject event = eventBaseLocked(eventId);
    event.insert(QStringLiteral("timestamp"), epochSeconds(QDateTime::currentDateTimeUtc()));
    event.insert(QStringLiteral("level"), crashReportLevelText(level));
    event.insert(QStringLiteral("message"), QJsonObject{{QStringLiteral("formatted"), message}});
    spoolLocked(eventId, envelopeHeaderLocked(eventId) + compact(event) + '\n');
    requestFlush();
    return eventId;
}

void LocalCrashReportClient::flush() {
    if (m_sender) {
        m_sender->flush();
    }
}

QJsonObject LocalCrashReportClient::eventBaseLocked(const QString& eventId) const {
    QJsonObject event{
        {QStringLiteral("event_id"), eventId},
        {QStringLiteral("platform"), QStringLiteral("native")},
        {QStringLiteral("release"), m_options.releaseName},
        {QStringLiteral("environment"), m_options.environment},
    };
    QJsonObject tags;
    for (auto it = m_scope.tags().cbegin(); it != m_scope.tags().cend(); ++it) {
        tags.insert(it.key(), it.value());
    }
    event.insert(QStringLiteral("tags"), tags);
    if (m_user) {
        QJsonObject user{{QStringLiteral("id"), m_user->userId}};
        if (m_user->username) {
            user.insert(QStringLiteral("username"), *m_user->username);
        }
        if (m_user->email) {
            user.insert(QStringLiteral("email"), *m_user->email);
        }
        event.insert(QStringLiteral("user"), user);
    }
    if (!m_breadcrumbs.empty()) {
        QJsonArray values;
        for (const CrashReportBreadcrumb& breadcrumb : m_breadcrumbs) {
            values.append(breadcrumbJson(breadcrumb));
        }
        event.insert(QStringLiteral("breadcrumbs"),
                     QJsonObject{{QStringLiteral("values"), values}});
    }
    return event;
}

QByteArray LocalCrashReportClient::envelopeHeaderLocked(const QString& eventId) const {
    QJsonObject header{{QStringLiteral("event_id"), eventId}};
    if (!m_options.dsn.isEmpty()) {
        header.insert(QStringLiteral("dsn"), m_options.dsn);
    }
    // Without a length the item ends at the newline; compact JSON holds none.
    return compact(header) + '\n' +
           compact(QJsonObject{{QStringLiteral("type"), QStringLiteral("event")}}) + '\n';
}

void LocalCrashReportClient::spoolLocked(const QString& eventId, const QByteArray& envelope) {
    QDir spool(m_settings.spoolDirectory);
    QStringList waiting = spool.entryList({QLatin1Char('*') + CrashReportSender::kFileSuffix},
                                          QDir::Files, QDir::Name);
    while (!waiting.isEmpty() && waiting.size() >= m_settings.maxSpooledReports) {
        spool.remove(waiting.takeFirst());
    }
    const QString name = QStringLiteral("%1-%2-%3%4")
                             .arg(QDateTime::currentMSecsSinceEpoch(), 13, 10, QLatin1Char('0'))
                             .arg(++m_spoolCounter, 6, 10, QLatin1Char('0'))
                             .arg(eventId, CrashReportSender::kFileSuffix);
    QFile file(spool.filePath(name));
    if (!file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(envelope) != envelope.size()) {
        if (m_options.debug) {
            LogDebug(QStringLiteral("崩溃报告: 无法写入 ") + file.fileName(), LogTag::app);
        }
    }
}

void LocalCrashReportClient::prepareCrashReportLocked() {
    if (!m_settings.captureCrashes) {
        return;
    }
    const QString eventId = QUuid::createUuid().toString(QUuid::Id128);
    QJsonObject event = eventBaseLocked(eventId);
    event.insert(QStringLiteral("level"), QStringLiteral("fatal"));
    const QByteArray body = compact(event);

    auto report = std::make_unique<CrashSignalHandler::Report>();
    report->path =
        QDir(m_settings.spoolDirectory)
            .filePath(QStringLiteral("%1-crash-%2%3")
                          .arg(QDateTime::currentMSecsSinceEpoch(), 13, 10, QLatin1Char('0'))
                          .arg(eventId, CrashReportSender::kFileSuffix))
            .toLocal8Bit();
    report->head = envelopeHeaderLocked(eventId) + '{';
    report->tail = ',' + body.mid(1) + '\n';
    CrashSignalHandler::publish(std::move(report));
}

void LocalCrashReportClient::requestFlush() {
    if (!m_sender) {
        return;
    }
    // Queued to the sender's thread; dropped if the sender is gone by then.
    CrashReportSender* sender = m_sender.get();
    QMetaObject::invokeMethod(
        sender, [sender] { sender->flush(); }, Qt::QueuedConnection);
}
