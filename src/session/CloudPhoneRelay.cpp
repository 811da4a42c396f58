#include "session/CloudPhoneRelay.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/logging/ConsoleFormat.h"
#include "sdk/KXDevice.h"
#include "session/CloudPhoneCommunicator.h"

namespace {
constexpr qint64 kNoErrorCode = -999;
}

CloudPhoneRelay::CloudPhoneRelay(CloudPhoneCommunicator* communicator, QString linePrefix,
                                 QString category)
    : m_communicatorRef(communicator),
      m_linePrefix(std::move(linePrefix)),
      m_category(std::move(category)) {}

CloudPhoneRelay::~CloudPhoneRelay() = default;

void CloudPhoneRelay::setSentryService(SentryService* service) {
    m_sentry = service;
}

QString CloudPhoneRelay::deviceIDOf(const std::shared_ptr<KXDevice>& device) {
    return device ? device->config().deviceID() : QString();
}

void CloudPhoneRelay::print(const QString& callback, const QString& rest) const {
    ConsoleFormat::print(m_linePrefix + callback + rest);
}

void CloudPhoneRelay::breadcrumb(const QString& message, CrashReportLevel level,
                                 const QVariantMap& data, const QString& deviceID) const {
    SentryService* sentry = m_sentry.load();
    (sentry ? *sentry : SentryService::shared())
        .addCloudPhoneBreadcrumb(m_category, message, level, data, deviceID);
}

qint64 CloudPhoneRelay::reportError(const QString& callback, const QString& deviceID,
                                    const std::optional<Error>& error) const {
    if (!error) {
        return kNoErrorCode;
    }
    print(callback, QStringLiteral(",device:") + deviceID + QStringLiteral(",error:") +
                        QString::number(error->code));
    breadcrumb(QStringLiteral("sdk.") + callback, CrashReportLevel::error,
               {{QStringLiteral("error_code"), error->code},
                {QStringLiteral("error_domain"), error->domain}},
               deviceID);
    return error->code;
}

void CloudPhoneRelay::reportStatus(const QString& callback, const QString& deviceID, int status,
                                   const std::optional<QString>& msg) const {
    print(callback, QStringLiteral(",device:") + deviceID + QStringLiteral(", status:") +
                        QString::number(status) + QStringLiteral(", msg:") +
                        msg.value_or(QStringLiteral("none")));
    breadcrumb(
        QStringLiteral("sdk.") + callback,
        status != 0 ? CrashReportLevel::warning : CrashReportLevel::info,
        {{QStringLiteral("status"), status}, {QStringLiteral("message"), msg.value_or(QString())}},
        deviceID);
}

void CloudPhoneRelay::onGuiThread(std::function<void(CloudPhoneCommunicator& communicator)> work) {
    MainQueue::async([self = shared_from_this(), work = std::move(work)] {
        if (const QPointer<CloudPhoneCommunicator> communicator = self->m_communicatorRef) {
            work(*communicator);
        }
    });
}
