#include "session/CloudPhoneStreamDelegate.h"

#include "foundation/logging/ConsoleFormat.h"
#include "sdk/KXDevice.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhoneStreamProtocol.h"

CloudPhoneStreamDelegate::CloudPhoneStreamDelegate(CloudPhoneCommunicator* communicator)
    : CloudPhoneRelay(communicator, QStringLiteral("CloudPhoneCommunicator.streamDelegate."),
                      QStringLiteral("cloud_phone.stream")) {}

void CloudPhoneStreamDelegate::toHandler(const QString& deviceID,
                                         std::function<void(CloudPhoneStreamProtocol&)> call) {
    onGuiThread([deviceID, call = std::move(call)](CloudPhoneCommunicator& communicator) {
        if (const auto handler = communicator.streams().streamEventHandler(deviceID)) {
            call(*handler);
        }
    });
}

void CloudPhoneStreamDelegate::onRealPlayReady(const Device& device) {
    const QString id = deviceIDOf(device);
    const KXRotationObc rotation = device ? device->rotation() : KXRotationObc::rotation0;
    print(QStringLiteral("onRealPlayReady"), QStringLiteral(",device:") + id);
    breadcrumb(QStringLiteral("sdk.onRealPlayReady"), CrashReportLevel::info,
               {{QStringLiteral("rotation"), static_cast<int>(rotation)}}, id);
    toHandler(id, [id, rotation](CloudPhoneStreamProtocol& handler) {
        handler.didStreamReady(id, rotation);
    });
}

void CloudPhoneStreamDelegate::timeout(const Device& device, const QString& callback,
                                       DeviceTimeoutReason reason) {
    const QString id = deviceIDOf(device);
    print(callback, QStringLiteral(",device:") + id);
    breadcrumb(QStringLiteral("sdk.") + callback, CrashReportLevel::warning, {}, id);
    toHandler(id,
              [id, reason](CloudPhoneStreamProtocol& handler) { handler.didTimeout(id, reason); });
}

void CloudPhoneStreamDelegate::onRealPlayStreamTimeout(const Device& device) {
    timeout(device, QStringLiteral("onRealPlayStreamTimeout"), DeviceTimeoutReason::stream);
}

void CloudPhoneStreamDelegate::onRealPlayNoOpTimeout(const Device& device) {
    timeout(device, QStringLiteral("onRealPlayNoOpTimeout"), DeviceTimeoutReason::inactivity);
}

void CloudPhoneStreamDelegate::onRealPlayNetStat(const Device& device,
                                                 const std::optional<QVariantMap>& stat) {
    const QString id = deviceIDOf(device);
    const QVariantMap statistics = stat.value_or(QVariantMap());
    print(QStringLiteral("onRealPlayNetStat"), QStringLiteral(",device:") + id +
                                                   QStringLiteral(",stat:") +
                                                   ConsoleFormat::describe(statistics));
    onGuiThread([id, statistics](CloudPhoneCommunicator& communicator) {
        if (!communicator.streams().realTimeDevices().contains(id)) {
            return;
        }
        QVariantMap merged = statistics;
        const QVariantMap counters = communicator.streams().playerFrameCounters(id);
        for (auto it = counters.cbegin(); it != counters.cend(); ++it) {
            merged.insert(it.key(), it.value());
        }
        if (const auto handler = communicator.streams().streamEventHandler(id)) {
            handler->didUpdateNetworkStatus(id, merged);
        }
    });
}

void CloudPhoneStreamDelegate::onRealPlayError(const Device& device,
                                               const std::optional<Error>& error) {
    const QString id = deviceIDOf(device);
    const qint64 code = reportError(QStringLiteral("onRealPlayError"), id, error);
    toHandler(
        id, [id, code](CloudPhoneStreamProtocol& handler) { handler.didEncounterError(id, code); });
}

void CloudPhoneStreamDelegate::onRealPlayExceptionStatus(const Device& device, int status,
                                                         const std::optional<QString>& msg) {
    const QString id = deviceIDOf(device);
    reportStatus(QStringLiteral("onRealPlayExceptionStatus"), id, status, msg);
    toHandler(id, [id, status, msg](CloudPhoneStreamProtocol& handler) {
        handler.didUpdateConnection(id, status, msg);
    });
}

void CloudPhoneStreamDelegate::onRealPlayNetworkStuck(const Device& device) {
    const QString id = deviceIDOf(device);
    // This line alone has a blank after the comma.
    print(QStringLiteral("onRealPlayNetworkStuck"), QStringLiteral(", device:") + id);
    breadcrumb(QStringLiteral("sdk.onRealPlayNetworkStuck"), CrashReportLevel::warning, {}, id);
    toHandler(id, [id](CloudPhoneStreamProtocol& handler) { handler.stallDueToPoorNetwork(id); });
}
