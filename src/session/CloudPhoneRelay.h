#pragma once

#include "foundation/CrashReportClient.h"

#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>

class CloudPhoneCommunicator;
class KXDevice;
class SentryService;

// What both SDK relays share. A report is printed and recorded as a breadcrumb on the thread on
// which the SDK delivered it; everything that reads the session or reaches a handler is moved to
// the GUI thread first, in the order the reports came.
class CloudPhoneRelay : public std::enable_shared_from_this<CloudPhoneRelay> {
public:
    explicit CloudPhoneRelay(CloudPhoneCommunicator* communicator);
    virtual ~CloudPhoneRelay();
    CloudPhoneRelay(const CloudPhoneRelay&) = delete;
    CloudPhoneRelay& operator=(const CloudPhoneRelay&) = delete;

    // The shared crash reporting unless set; any thread.
    void setSentryService(SentryService* service);

    // The device's configured id; empty without a device.
    static QString deviceIDOf(const std::shared_ptr<KXDevice>& device);

protected:
    void breadcrumb(const QString& category, const QString& message, CrashReportLevel level,
                    const QVariantMap& data, const QString& deviceID) const;
    // Queued behind every earlier report; dropped when the communicator is gone by then.
    void onGuiThread(std::function<void(CloudPhoneCommunicator& communicator)> work);

private:
    QPointer<CloudPhoneCommunicator> m_communicatorRef;  // read on the GUI thread only
    std::atomic<SentryService*> m_sentry{nullptr};
};
