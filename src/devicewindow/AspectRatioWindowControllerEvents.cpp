#include "devicewindow/AspectRatioWindowController.h"

#include "devicewindow/ConnectionSpinner.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "keymapping/KeyMappingViewModel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QMetaType>
#include <QPushButton>

#include <algorithm>
#include <functional>
#include <utility>

// Device notifications go to the system log: standard error, apart from the console lines.
Q_LOGGING_CATEGORY(deviceWindowSystemLog, "kx.system")

namespace {

const QString& T = AspectRatioWindowController::typeName;

// Runs `work` at once on the GUI thread; from elsewhere it is queued there and dropped if the
// controller is gone by then.
void onGuiThread(const QObject* controller, std::function<void()> work) {
    if (MainQueue::isMainThread()) {
        work();
    } else {
        MainQueue::async(controller, std::move(work));
    }
}

void systemLog(const QString& line) {
    qCInfo(deviceWindowSystemLog).noquote() << line;
}

QString number(KXRotationObc rotation) {
    return QString::number(static_cast<int>(rotation));
}

// Copied text stays out of logs: the log file is uploaded to the service.
QString redacted(const QString& text) {
    return QStringLiteral("<%1 chars>").arg(text.size());
}

QString describeMessage(const std::optional<QString>& message) {
    return message ? QStringLiteral("Optional(\"") + *message + QStringLiteral("\")")
                   : QStringLiteral("nil");
}

QString caseName(DeviceTimeoutReason reason) {
    return reason == DeviceTimeoutReason::stream ? QStringLiteral("stream")
                                                 : QStringLiteral("inactivity");
}

QString caseName(TerminatedReason reason) {
    switch (reason) {
        case TerminatedReason::unknown:
            return QStringLiteral("unknown");
        case TerminatedReason::duplicatedChannel:
            return QStringLiteral("duplicatedChannel");
        case TerminatedReason::invalidAuthorization:
            return QStringLiteral("invalidAuthorization");
        case TerminatedReason::restartingUnavailable:
            return QStringLiteral("restartingUnavailable");
        case TerminatedReason::occupied:
            return QStringLiteral("occupied");
    }
    return QStringLiteral("unknown");
}

template <typename Value>
QString optionalText(const std::optional<Value>& value) {
    if (!value) {
        return QStringLiteral("nil");
    }
    if constexpr (std::is_same_v<Value, QString>) {
        return QStringLiteral("Optional(\"") + *value + QStringLiteral("\")");
    } else if constexpr (std::is_same_v<Value, bool>) {
        return QStringLiteral("Optional(") + ConsoleFormat::boolean(*value) + QLatin1Char(')');
    } else {
        return QStringLiteral("Optional(") + QString::number(*value) + QLatin1Char(')');
    }
}

QString describe(const DeviceKeyboardState& state) {
    return QStringLiteral(
               "DeviceKeyboardState(imeActive: %1, show: %2, type: %3, action: %4, "
               "description: %5, imeIsActive: %6, inputType: %7, imeOptions: %8)")
        .arg(ConsoleFormat::boolean(state.imeActive), ConsoleFormat::boolean(state.show),
             optionalText(state.type), optionalText(state.action), optionalText(state.description),
             optionalText(state.imeIsActive), optionalText(state.inputType),
             optionalText(state.imeOptions));
}

// A statistic the window reads: an integer, anything else counting as 0.
qint64 integerStatistic(const QVariantMap& statistics, const QString& key) {
    const QVariant value = statistics.value(key);
    switch (value.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
        case QMetaType::ULong:
            return value.toLongLong();
        default:
            return 0;
    }
}

double decimalStatistic(const QVariantMap& statistics, const QString& key) {
    const QVariant value = statistics.value(key);
    return value.metaType().id() == QMetaType::Double ? value.toDouble() : 0;
}

}  // namespace

void AspectRatioWindowController::didStreamReady(const QString& deviceID, KXRotationObc rotation) {
    KXLog(T + QStringLiteral(".callback.rt.didStreamReady,device:") + deviceID +
              QStringLiteral(", rotation: ") + number(rotation),
          LogTag::video, LogLevel::info);
}

void AspectRatioWindowController::didReceiveFirstVideoFrame(const QString& deviceID,
                                                            KXRotationObc rotation) {
    if (deviceID != deviceKey()) {
        return;
    }
    if (!MainQueue::isMainThread()) {
        MainQueue::async(
            this, [this, deviceID, rotation] { didReceiveFirstVideoFrame(deviceID, rotation); });
        return;
    }
    KXLog(T + QStringLiteral(".callback.rt.didReceiveFirstVideoFrame,device:") + deviceID +
              QStringLiteral(", rotation: ") + number(rotation),
          LogTag::video, LogLevel::info);
    if (m_cloudPhoneConnectionOverlay) {
        m_cloudPhoneConnectionOverlay->hide();
        m_reconnectCloudPhoneButton->hide();
        m_cloudPhoneLoadingIndicator->stopAnimation();
    }
    applyDeviceOrientation(rotation);
    if (const QClipboard* clipboard = QGuiApplication::clipboard()) {
        const QString text = clipboard->text();
        if (!text.isEmpty()) {
            KXLog(QStringLiteral("剪贴板内容: ") + redacted(text), LogTag::video, LogLevel::info);
        }
    }
}

void AspectRatioWindowController::didTimeout(const QString& deviceID, DeviceTimeoutReason reason) {
    KXLog(T + QStringLiteral(".callback.rt.didTimeout,device:") + deviceID +
              QStringLiteral(",networkInfo:") + caseName(reason),
          LogTag::video, LogLevel::warning);
}

void AspectRatioWindowController::didUpdateNetworkStatus(const QString& deviceID,
                                                         const QVariantMap& statistics) {
    KXLog(T + QStringLiteral(".callback.rt.didUpdateNetworkStatus,device:") + deviceID +
              QStringLiteral(",networkInfo:") + ConsoleFormat::describe(statistics),
          LogTag::video, LogLevel::info);
    const qint64 fps = integerStatistic(statistics, QStringLiteral("fps"));
    const double loss = decimalStatistic(statistics, QStringLiteral("loss"));
    const int rtt =
        int(std::clamp<qint64>(integerStatistic(statistics, QStringLiteral("rtt")), 0, 999));
    const qint64 netFps = integerStatistic(statistics, QStringLiteral("netFps"));
    KXLog(QStringLiteral("设备 ") + deviceID + QStringLiteral(" 网络状态："), LogTag::video,
          LogLevel::info);
    KXLog(QStringLiteral("视频帧率：") + QString::number(fps) + QStringLiteral("fps | 丢包率：") +
              ConsoleFormat::number(loss) + QStringLiteral("% | 延迟：") + QString::number(rtt) +
              QStringLiteral("ms | 传输帧率：") + QString::number(netFps) + QStringLiteral("fps"),
          LogTag::video, LogLevel::info);

    const auto apply = [this, rtt] {
        m_currentRTT = rtt;
        if (m_isWindowLiveResizing) {
            m_pendingPingAppearanceRefresh = true;
        } else {
            updatePingButtonAppearance();
        }
    };
    onGuiThread(this, apply);
}

void AspectRatioWindowController::streamDidEncounterError(const QString& deviceID, qint64 code) {
    ConsoleFormat::print(QStringLiteral("云手机出现了错误，错误码：") + QString::number(code) +
                         QStringLiteral("。"));
    ConsoleFormat::print(T + QStringLiteral(".callback.rt.didEncounterError,device:") + deviceID +
                         QStringLiteral(",code:") + QString::number(code));
}

void AspectRatioWindowController::streamDidUpdateConnection(const QString& deviceID, qint64 state,
                                                            const std::optional<QString>& message) {
    ConsoleFormat::print(T + QStringLiteral(".callback.rt.didUpdateConnection,device:") + deviceID +
                         QStringLiteral(",state:") + QString::number(state) +
                         QStringLiteral(",message:") + describeMessage(message));
}

void AspectRatioWindowController::stallDueToPoorNetwork(const QString& deviceID) {
    ConsoleFormat::print(T + QStringLiteral(".callback.rt.StallDueToPoorNetwork,device:") +
                         deviceID);
}

void AspectRatioWindowController::didLoseControl(const QString& deviceID, TerminatedReason reason) {
    KXLog(T + QStringLiteral(".callback.didLoseControl,device:") + deviceID +
              QStringLiteral(",reason:") + caseName(reason),
          LogTag::video, LogLevel::warning);
}

void AspectRatioWindowController::didAdd(const QString& deviceID, bool added) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didAdd,device:") + deviceID +
                         QStringLiteral(",successfully:") + ConsoleFormat::boolean(added));
}

void AspectRatioWindowController::didEncounterError(const QString& deviceID, qint64 code) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didEncounterError,device:") + deviceID +
                         QStringLiteral(",code:") + QString::number(code));
}

void AspectRatioWindowController::didUpdateConnection(const QString& deviceID, qint64 state,
                                                      const std::optional<QString>& message) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didUpdateConnection,device:") + deviceID +
                         QStringLiteral(",state:") + QString::number(state) +
                         QStringLiteral(",message:") + describeMessage(message));
}

void AspectRatioWindowController::didUpdateScreenSize(const QString& deviceID, qreal width,
                                                      qreal height) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didUpdateScreenSize,device:") + deviceID +
                         QStringLiteral(",newSize:") + ConsoleFormat::size(QSizeF(width, height)));
}

void AspectRatioWindowController::didUpdateOrientation(const QString& deviceID,
                                                       KXRotationObc rotation) {
    if (deviceID != deviceKey()) {
        return;
    }
    if (!MainQueue::isMainThread()) {
        MainQueue::async(this,
                         [this, deviceID, rotation] { didUpdateOrientation(deviceID, rotation); });
        return;
    }
    ConsoleFormat::print(T + QStringLiteral(".callback.didUpdateOrientation,device:") + deviceID +
                         QStringLiteral(",rotatedType:") + number(rotation));
    applyDeviceOrientation(rotation);
}

void AspectRatioWindowController::didUpdateKeyboardState(const QString& deviceID,
                                                         const DeviceKeyboardState& state) {
    ConsoleFormat::print(QStringLiteral("callback.didUpdateKeyboardState,device:") + deviceID +
                         QStringLiteral(",newState:") + describe(state));
    const bool imeActive = state.imeActive;
    const auto apply = [this, imeActive] {
        if (imeActive == m_isIMEInputActive) {
            return;
        }
        m_isIMEInputActive = imeActive;
        if (!imeActive) {
            return;
        }
        // The device's own input method takes the keys now; nothing mapped may stay held.
        stopAllTapKeyMappingTimers();
        exitMouseLook();
        releaseAllMoveKeyMappings();
        m_keyMappingViewModel->currentlyPressedKeys.clear();
        m_keyMappingViewModel->deferredModifierKeys.clear();
        m_keyMappingViewModel->consumedDeferredModifierKeyCodes.clear();
    };
    onGuiThread(this, apply);
}

void AspectRatioWindowController::didCopyText(const QString& deviceID, const QString& text) {
    ConsoleFormat::print(QStringLiteral("callback.didCopyText,device:") + deviceID +
                         QStringLiteral(",copiedText:") + redacted(text));
    if (text.isEmpty()) {
        return;
    }
    // The clipboard belongs to the GUI thread.
    onGuiThread(this, [this, text] { copyTextToSystemPasteboard(text); });
}

void AspectRatioWindowController::copyTextToSystemPasteboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        return;
    }
    clipboard->clear();
    clipboard->setText(text);
    ConsoleFormat::print(QStringLiteral("   ✅ 已复制到系统剪贴板: '") + redacted(text) +
                         QLatin1Char('\''));
}

void AspectRatioWindowController::didReceivePushMessage(const QString& deviceID,
                                                        const std::optional<QString>& message) {
    handleDeviceNotification(deviceID, message);
}

void AspectRatioWindowController::handleDeviceNotification(const QString& deviceID,
                                                           const std::optional<QString>& message) {
    if (!message || message->isEmpty()) {
        systemLog(QStringLiteral("收到来自设备 ") + deviceID + QStringLiteral(" 的空通知"));
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message->toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        systemLog(QStringLiteral("解析设备 ") + deviceID + QStringLiteral(" 的通知失败: ") +
                  error.errorString() + QStringLiteral("，原始内容: ") + *message);
        return;
    }
    if (!document.isObject()) {
        systemLog(QStringLiteral("设备 ") + deviceID + QStringLiteral(" 的通知JSON格式不正确: ") +
                  *message);
        return;
    }
    const QJsonObject object = document.object();
    const JsonField<qint64> type = JsonReader::asInt64(object.value(QStringLiteral("type")));
    const JsonField<QString> desc = JsonReader::asString(object.value(QStringLiteral("desc")));
    reportDeviceNotification(deviceID, type.hasValue() ? type.value() : -1,
                             desc.hasValue() ? desc.value() : QStringLiteral("未知通知"));
}

void AspectRatioWindowController::reportDeviceNotification(const QString& deviceID, qint64 type,
                                                           const QString& desc) {
    systemLog(QStringLiteral("收到设备 ") + deviceID + QStringLiteral(" 的通知 - 类型: ") +
              QString::number(type) + QStringLiteral(", 描述: ") + desc);
    if (type == 11) {
        KXLog(QStringLiteral("系统初始化中,请稍后再连"), LogTag::video, LogLevel::warning);
    } else if (type == 6) {
        KXLog(QStringLiteral("重启中，请稍后重新连接设备"), LogTag::video, LogLevel::warning);
    }
}
