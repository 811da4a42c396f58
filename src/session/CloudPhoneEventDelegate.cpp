#include "session/CloudPhoneEventDelegate.h"

#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/LogRedaction.h"
#include "sdk/KXDevice.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/CloudPhoneEventProtocol.h"

namespace {

constexpr int kAuthenticationFailed = 3;

}  // namespace

TerminatedReason terminatedReasonFromSDK(qint64 reason) {
    switch (reason) {
        case 1:
            return TerminatedReason::duplicatedChannel;
        case 2:
            return TerminatedReason::invalidAuthorization;
        case 3:
            return TerminatedReason::restartingUnavailable;
        case 4:
            return TerminatedReason::occupied;
        default:
            return TerminatedReason::unknown;
    }
}

CloudPhoneEventDelegate::CloudPhoneEventDelegate(CloudPhoneCommunicator* communicator)
    : CloudPhoneRelay(communicator, QStringLiteral("CloudPhoneCommunicator.eventDelegate."),
                      QStringLiteral("cloud_phone.event")) {}

void CloudPhoneEventDelegate::toHandler(const QString& deviceID,
                                        std::function<void(CloudPhoneEventProtocol&)> call) {
    onGuiThread([deviceID, call = std::move(call)](CloudPhoneCommunicator& communicator) {
        if (const auto handler = communicator.streams().deviceEventHandler(deviceID)) {
            call(*handler);
        }
    });
}

void CloudPhoneEventDelegate::onKickout(const Device& device, int reason) {
    const QString id = deviceIDOf(device);
    print(QStringLiteral("onKickout"),
          QStringLiteral(",device:") + id + QStringLiteral(", reason:") + QString::number(reason));
    breadcrumb(QStringLiteral("sdk.onKickout"), CrashReportLevel::warning,
               {{QStringLiteral("reason"), reason}}, id);
    toHandler(id, [id, reason](CloudPhoneEventProtocol& handler) {
        handler.didLoseControl(id, terminatedReasonFromSDK(reason));
    });
}

void CloudPhoneEventDelegate::onReady(const Device& device) {
    const QString id = deviceIDOf(device);
    print(QStringLiteral("onReady"), QStringLiteral(",device:") + id);
    breadcrumb(QStringLiteral("sdk.onReady"), CrashReportLevel::info, {}, id);
    toHandler(id, [id](CloudPhoneEventProtocol& handler) { handler.didAdd(id, true); });
}

void CloudPhoneEventDelegate::onError(const Device& device, const std::optional<Error>& error) {
    const QString id = deviceIDOf(device);
    const qint64 code = reportError(QStringLiteral("onError"), id, error);
    onGuiThread([id, code, device](CloudPhoneCommunicator& communicator) {
        // Taken before the failure road, which stops the stream and drops the handler with it.
        const auto handler = communicator.streams().deviceEventHandler(id);
        if (code == kAuthenticationFailed) {
            communicator.handleAuthenticationFailure(id, device);
        }
        if (handler) {
            handler->didEncounterError(id, code);
        }
    });
}

void CloudPhoneEventDelegate::onExceptionStatus(const Device& device, int status,
                                                const std::optional<QString>& msg) {
    const QString id = deviceIDOf(device);
    reportStatus(QStringLiteral("onExceptionStatus"), id, status, msg);
    toHandler(id, [id, status, msg](CloudPhoneEventProtocol& handler) {
        handler.didUpdateConnection(id, status, msg);
    });
}

void CloudPhoneEventDelegate::onScreenSize(const Device& device,
                                           const std::optional<KXSizeObc>& size) {
    const QString id = deviceIDOf(device);
    print(QStringLiteral("onScreenSize"), QStringLiteral(",device:") + id +
                                              QStringLiteral(",size:") +
                                              (size ? size->description() : QStringLiteral("nil")));
    if (!size) {
        return;
    }
    breadcrumb(
        QStringLiteral("sdk.onScreenSize"), CrashReportLevel::info,
        {{QStringLiteral("width"), size->width()}, {QStringLiteral("height"), size->height()}}, id);
    const qreal width = size->width();
    const qreal height = size->height();
    toHandler(id, [id, width, height](CloudPhoneEventProtocol& handler) {
        handler.didUpdateScreenSize(id, width, height);
    });
}

void CloudPhoneEventDelegate::onRotation(const Device& device, KXRotationObc rotation) {
    const QString id = deviceIDOf(device);
    const int raw = static_cast<int>(rotation);
    print(QStringLiteral("onRotation"),
          QStringLiteral(",device:") + id + QStringLiteral(",rotation:") + QString::number(raw));
    breadcrumb(QStringLiteral("sdk.onRotation"), CrashReportLevel::info,
               {{QStringLiteral("rotation"), raw}}, id);
    toHandler(id, [id, rotation](CloudPhoneEventProtocol& handler) {
        handler.didUpdateOrientation(id, rotation);
    });
}

void CloudPhoneEventDelegate::onIMEStatus(const Device& device,
                                          const std::optional<QVariantMap>& ime) {
    const QString id = deviceIDOf(device);
    const QVariantMap dictionary = ime.value_or(QVariantMap());
    print(QStringLiteral("onIMEStatus"), QStringLiteral(",device:") + id + QStringLiteral(",ime:") +
                                             ConsoleFormat::describe(dictionary));
    const DeviceKeyboardState state = DeviceKeyboardState::fromIME(dictionary);
    toHandler(id, [id, state](CloudPhoneEventProtocol& handler) {
        handler.didUpdateKeyboardState(id, state);
    });
}

void CloudPhoneEventDelegate::onClipData(const Device& device, const std::optional<QString>& text) {
    const QString id = deviceIDOf(device);
    print(QStringLiteral("onClipData"),
          QStringLiteral(",device:") + id + QStringLiteral(",text:") +
              (text ? LogRedaction::textLength(*text) : QStringLiteral("noText")));
    // Without a text there is nothing to copy; an empty one would wipe the user's clipboard.
    if (!text) {
        return;
    }
    toHandler(id, [id, copied = *text](CloudPhoneEventProtocol& handler) {
        handler.didCopyText(id, copied);
    });
}

void CloudPhoneEventDelegate::onPushMsg(const Device& device, const std::optional<QString>& msg) {
    const QString id = deviceIDOf(device);
    print(QStringLiteral("onPushMsg"), QStringLiteral(",device:") + id + QStringLiteral(",msg:") +
                                           msg.value_or(QStringLiteral("no")));
    toHandler(id, [id, msg](CloudPhoneEventProtocol& handler) {
        handler.didReceivePushMessage(id, msg);
    });
}
