#include "session/CloudPhoneStreamDelegate.h"

#include "sdk/KXDevice.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhoneStreamProtocol.h"
#include "session/ConsoleText.h"

namespace {

const QString kLine = QStringLiteral("CloudPhoneCommunicator.streamDelegate.");
constexpr qint64 kNoErrorCode = -999;

}  // namespace

void CloudPhoneStreamDelegate::breadcrumb(const QString& message, CrashReportLevel level,
                                          const QVariantMap& data, const QString& deviceID) const {
    CloudPhoneRelay::breadcrumb(QStringLiteral("cloud_phone.stream"), message, level, data,
                                deviceID);
}

void CloudPhoneStreamDelegate::toHandler(const QString& deviceID,
                                         std::function<void(CloudPhoneStreamProtocol&)> call) {
    onGuiThread([deviceID, call = std::move(call)](CloudPhoneCommunicator& communicator) {
        if (const auto handler = communicator.streamEventHandler(deviceID)) {
            call(*handler);
        }
    });
}

void CloudPhoneStreamDelegate::onRealPlayReady(const Device& device) {
    const QString id = deviceIDOf(device);
    const KXRotationObc rotation = device ? device->rotation() : KXRotationObc::rotation0;
    ConsoleText::print(kLine + QStringLiteral("onRealPlayReady,device:") + id);
    breadcrumb(QStringLiteral("sdk.onRealPlayReady"), CrashReportLevel::info,
               {{QStringLiteral("rotation"), static_cast<int>(rotation)}}, id);
    toHandler(id, [id, rotation](CloudPhoneStreamProtocol& handler) {
        handler.didStreamReady(id, rotation);
    });
}

void CloudPhoneStreamDelegate::onRealPlayStreamTimeout(const Device& device) {
    const QString id = deviceIDOf(device);
    ConsoleText::print(kLine + QStringLiteral("onRealPlayStreamTimeout,device:") + id);
    breadcrumb(QStringLiteral("sdk.onRealPlayStreamTimeout"), CrashReportLevel::warning, {}, id);
    toHandler(id, [id](CloudPhoneStreamProtocol& handler) {
        handler.didTimeout(id, DeviceTimeoutReason::stream);
    });
}

void CloudPhoneStreamDelegate::onRealPlayNoOpTimeout(const Device& device) {
    const QString id = deviceIDOf(device);
    ConsoleText::print(kLine + QStringLiteral("onRealPlayNoOpTimeout,device:") + id);
    breadcrumb(QStringLiteral("sdk.onRealPlayNoOpTimeout"), CrashReportLevel::warning, {}, id);
    toHandler(id, [id](CloudPhoneStreamProtocol& handler) {
        handler.didTimeout(id, DeviceTimeoutReason::inactivity);
    });
}

void CloudPhoneStreamDelegate::onRealPlayNetStat(const Device& device,
                                                 const std::optional<QVariantMap>& stat) {
    const QString id = deviceIDOf(device);
    const QVariantMap statistics = stat.value_or(QVariantMap());
    ConsoleText::print(kLine + QStringLiteral("onRealPlayNetStat,device:") + id +
                       QStringLiteral(",stat:") + ConsoleText::describe(statistics));
    onGuiThread([id, statistics](CloudPhoneCommunicator& communicator) {
        if (!communicator.realTimeDevices().contains(id)) {
            return;
        }
        QVariantMap merged = statistics;
        const QVariantMap counters = communicator.playerFrameCounters(id);
        for (auto it = counters.cbegin(); it != counters.cend(); ++it) {
            merged.insert(it.key(), it.value());
        }
        if (const auto handler = communicator.streamEventHandler(id)) {
            handler->didUpdateNetworkStatus(id, merged);
        }
    });
}

void CloudPhoneStreamDelegate::onRealPlayError(const Device& device,
                                               const std::optional<Error>& error) {
    const QString id = deviceIDOf(device);
    const qint64 code = error ? error->code : kNoErrorCode;
    if (error) {
        ConsoleText::print(kLine + QStringLiteral("onRealPlayError,device:") + id +
                           QStringLiteral(",error:") + QString::number(code));
        breadcrumb(
            QStringLiteral("sdk.onRealPlayError"), CrashReportLevel::error,
            {{QStringLiteral("error_code"), code}, {QStringLiteral("error_domain"), error->domain}},
            id);
    }
    toHandler(
        id, [id, code](CloudPhoneStreamProtocol& handler) { handler.didEncounterError(id, code); });
}

void CloudPhoneStreamDelegate::onRealPlayExceptionStatus(const Device& device, int status,
                                                         const std::optional<QString>& msg) {
    const QString id = deviceIDOf(device);
    ConsoleText::print(kLine + QStringLiteral("onRealPlayExceptionStatus,device:") + id +
                       QStringLiteral(", status:") + QString::number(status) +
                       QStringLiteral(", msg:") + msg.value_or(QStringLiteral("none")));
    breadcrumb(
        QStringLiteral("sdk.onRealPlayExceptionStatus"),
        status != 0 ? CrashReportLevel::warning : CrashReportLevel::info,
        {{QStringLiteral("status"), status}, {QStringLiteral("message"), msg.value_or(QString())}},
        id);
    toHandler(id, [id, status, msg](CloudPhoneStreamProtocol& handler) {
        handler.didUpdateConnection(id, status, msg);
    });
}

void CloudPhoneStreamDelegate::onRealPlayNetworkStuck(const Device& device) {
    const QString id = deviceIDOf(device);
    ConsoleText::print(kLine + QStringLiteral("onRealPlayNetworkStuck, device:") + id);
    breadcrumb(QStringLiteral("sdk.onRealPlayNetworkStuck"), CrashReportLevel::warning, {}, id);
    toHandler(id, [id](CloudPhoneStreamProtocol& handler) { handler.stallDueToPoorNetwork(id); });
}
