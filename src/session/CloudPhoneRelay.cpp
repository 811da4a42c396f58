#include "session/CloudPhoneRelay.h"

#include "foundation/MainQueue.h"
#include "foundation/SentryService.h"
#include "sdk/KXDevice.h"
#include "session/CloudPhoneCommunicator.h"

CloudPhoneRelay::CloudPhoneRelay(CloudPhoneCommunicator* communicator)
    : m_communicatorRef(communicator) {}

CloudPhoneRelay::~CloudPhoneRelay() = default;

void CloudPhoneRelay::setSentryService(SentryService* service) {
    m_sentry = service;
}

QString CloudPhoneRelay::deviceIDOf(const std::shared_ptr<KXDevice>& device) {
    return device ? device->config().deviceID() : QString();
}

void CloudPhoneRelay::breadcrumb(const QString& category, const QString& message,
                                 CrashReportLevel level, const QVariantMap& data,
                                 const QString& deviceID) const {
    SentryService* sentry = m_sentry.load();
    (sentry ? *sentry : SentryService::shared())
        .addCloudPhoneBreadcrumb(category, message, level, data, deviceID);
}

void CloudPhoneRelay::onGuiThread(std::function<void(CloudPhoneCommunicator& communicator)> work) {
    MainQueue::async([self = shared_from_this(), work = std::move(work)] {
        if (const QPointer<CloudPhoneCommunicator> communicator = self->m_communicatorRef) {
            work(*communicator);
        }
    });
}
