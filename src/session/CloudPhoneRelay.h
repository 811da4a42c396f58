#pragma once

#include "foundation/crashreporting/CrashReportClient.h"
#include "foundation/json/Result.h"

#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CloudPhoneCommunicator;
class KXDevice;
class SentryService;

// What both SDK relays share. A report is printed and recorded as a breadcrumb on the thread on
// which the SDK delivered it; everything that reads the session or reaches a handler is moved to
// the GUI thread first, in the order the reports came.
class CloudPhoneRelay : public std::enable_shared_from_this<CloudPhoneRelay> {
public:
    virtual ~CloudPhoneRelay();
    CloudPhoneRelay(const CloudPhoneRelay&) = delete;
    CloudPhoneRelay& operator=(const CloudPhoneRelay&) = delete;

    // The shared crash reporting unless set; any thread.
    void setSentryService(SentryService* service);

    // The device's configured id; empty without a device.
    static QString deviceIDOf(const std::shared_ptr<KXDevice>& device);

protected:
    // Lines start with `linePrefix`; breadcrumbs go under `category`.
    CloudPhoneRelay(CloudPhoneCommunicator* communicator, QString linePrefix, QString category);

    // The prefix, then the callback's name, then `rest`.
    void print(const QString& callback, const QString& rest) const;
    void breadcrumb(const QString& message, CrashReportLevel level, const QVariantMap& data,
                    const QString& deviceID) const;
    // An error callback's line and breadcrumb, when there is an error; gives the code the
    // handler receives, -999 without an error.
    qint64 reportError(const QString& callback, const QString& deviceID,
                       const std::optional<Error>& error) const;
    // A connection-status callback's line and breadcrumb.
    void reportStatus(const QString& callback, const QString& deviceID, int status,
                      const std::optional<QString>& msg) const;
    // Queued behind every earlier report; dropped when the communicator is gone by then.
    void onGuiThread(std::function<void(CloudPhoneCommunicator& communicator)> work);

private:
    QPointer<CloudPhoneCommunicator> m_communicatorRef;  // read on the GUI thread only
    const QString m_linePrefix;
    const QString m_category;
    std::atomic<SentryService*> m_sentry{nullptr};
};
