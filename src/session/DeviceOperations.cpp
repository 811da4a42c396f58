#include "session/DeviceOperations.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/LogRedaction.h"
#include "sdk/KXDevice.h"
#include "session/DeviceRegistry.h"
#include "session/InputSync.h"
#include "session/LiveStreams.h"

#include <QRegularExpression>

namespace {

const QString kType = QStringLiteral("CloudPhoneCommunicator");
const QString kForegroundAppQuery =
    QStringLiteral("dumpsys window windows | grep -E 'mCurrentFocus|mFocusedApp'");

void print(const QString& operation, const QString& suffix) {
    ConsoleFormat::print(kType + QLatin1Char('.') + operation + suffix);
}

QString idOf(const DeviceOperations::Device& device) {
    return device->config().deviceID();
}

// ", 设备<id><what>", the not-found suffix of most operations.
QString missing(const QString& deviceID, const QString& what) {
    return QStringLiteral(", 设备") + deviceID + what;
}

const QString kNotStreaming = QStringLiteral("未实时连接");
const QString kNotAdded = QStringLiteral("尚未添加");

InputSync::DeviceAction functionKeyAction(const QString& operation, DeviceTouchName name,
                                          DeviceTouchEvent event) {
    return [operation, name, event](const DeviceOperations::Device& device) {
        print(operation, QStringLiteral("发送触碰事件:") + displayText(name) +
                             QStringLiteral(",到设备:") + idOf(device));
        device->sendFunctionKey(sdkCode(name), static_cast<int>(event));
    };
}

InputSync::DeviceAction textAction(const QString& operation, const QString& text, bool clipboard) {
    return [operation, text, clipboard](const DeviceOperations::Device& device) {
        print(operation, QStringLiteral(".文本:") + LogRedaction::textLength(text) +
                             QStringLiteral(",到设备:") + idOf(device));
        if (clipboard) {
            device->sendClipdata(text);
        } else {
            device->sendText(text);
        }
    };
}

void switchQuality(const QString& operation, VideoQuality quality,
                   const DeviceOperations::Device& device) {
    const quint32 kbps = bitrateKbps(quality);
    print(operation, QStringLiteral(".kbps:") + QString::number(kbps) + QStringLiteral(",到设备:") +
                         idOf(device));
    device->switchVideoQuality(static_cast<qint32>(kbps));
}

void switchKeyboard(const QString& operation, DeviceKeyboardType type,
                    const DeviceOperations::Device& device) {
    const QString kind =
        type == DeviceKeyboardType::external ? QStringLiteral("原生") : QStringLiteral("内置");
    print(operation,
          QStringLiteral(".设置键盘类型:") + kind + QStringLiteral(",到设备:") + idOf(device));
    device->switchIme(static_cast<int>(type), std::nullopt);
}

void push(const QString& operation, const QString& location, bool install,
          const DeviceOperations::Device& device, DeviceOperations::ErrorCompletion completion) {
    print(operation, QStringLiteral(".设备:") + idOf(device));
    if (install) {
        device->installWithUrl(location, std::move(completion));
    } else {
        device->transferWithUrl(location, std::move(completion));
    }
}

void runCommand(const QString& operation, const ADBCommand& command,
                const DeviceOperations::Device& device,
                DeviceOperations::ErrorCompletion completion) {
    const QString text = command.command();
    print(operation, QStringLiteral(".设备:") + idOf(device) + QStringLiteral(",cmd:") + text);
    device->sendAdbCommand(text, std::move(completion));
}

template <typename Value>
using ValueCompletion =
    std::function<void(const std::optional<Value>& value, const std::optional<Error>& error)>;

// The registered device; else the operation's "is null" line and, at once, the not-found error.
template <typename Value>
DeviceOperations::Device queried(const DeviceRegistry& registry, const QString& deviceID,
                                 const QString& operation,
                                 const ValueCompletion<Value>& completion) {
    if (DeviceOperations::Device device = registry.device(deviceID)) {
        return device;
    }
    print(operation, QStringLiteral(", Device[") + deviceID + QStringLiteral("] is null"));
    if (completion) {
        completion(std::nullopt, DeviceOperations::deviceNotFoundError(
                                     operation.section(QLatin1Char('('), 0, 0)));
    }
    return nullptr;
}

// Prints "<answer>, device:<id>,<label>:<value>,error:<error>" when the answer comes.
template <typename Value>
ValueCompletion<Value> printedAnswer(const QString& answer, const QString& label,
                                     const QString& deviceID, ValueCompletion<Value> completion) {
    return [=](const std::optional<Value>& value, const std::optional<Error>& error) {
        print(answer, QStringLiteral(", device:") + deviceID + QLatin1Char(',') + label +
                          QLatin1Char(':') + ConsoleFormat::describeOptional(value) +
                          QStringLiteral(",error:") + ConsoleFormat::describeOptional(error));
        if (completion) {
            completion(value, error);
        }
    };
}

void completeNotFound(const DeviceOperations::ErrorCompletion& completion,
                      const QString& operation) {
    if (completion) {
        completion(DeviceOperations::deviceNotFoundError(operation));
    }
}

// The package of the first "package/activity" text in the focus report.
std::optional<QString> packageFromFocusReport(const std::optional<QString>& output) {
    if (!output) {
        return std::nullopt;
    }
    static const QRegularExpression component(QStringLiteral("[A-Za-z0-9_.$]+/[A-Za-z0-9_.$]+"));
    const QRegularExpressionMatch match = component.match(*output);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QStringList pieces = match.captured(0).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.isEmpty()) {
        return std::nullopt;
    }
    return pieces.first();
}

}  // namespace

DeviceOperations::DeviceOperations(const DeviceRegistry& registry, const LiveStreams& streams,
                                   InputSync& inputSync)
    : m_registry(registry), m_streams(streams), m_inputSync(inputSync) {}

Error DeviceOperations::deviceNotFoundError(const QString& operation) {
    // The message is the error's one "msg" entry; consumers show it as it is.
    return Error{kType + QLatin1Char('.') + operation, -1, QStringLiteral("设备不存在。")};
}

DeviceOperations::Device DeviceOperations::streamingDevice(const QString& deviceID,
                                                           const QString& operation) const {
    const Device device = m_streams.realTimeDevices().value(deviceID);
    if (!device) {
        print(operation, missing(deviceID, kNotStreaming));
    }
    return device;
}

DeviceOperations::Device DeviceOperations::anyStreamingDevice(const QString& operation) const {
    if (m_streams.realTimeDevices().isEmpty()) {
        print(operation, QStringLiteral(", 没有实时连接的设备"));
        return nullptr;
    }
    return m_streams.realTimeDevices().cbegin().value();
}

void DeviceOperations::forwardClipboardText(const QString& deviceID, const QString& text) {
    m_inputSync.mirror(deviceID,
                       textAction(QStringLiteral("copyTextToPasteboard(_:toDevice:)"), text, true));
}

void DeviceOperations::forwardText(const QString& deviceID, const QString& text) {
    m_inputSync.mirror(deviceID, textAction(QStringLiteral("sendText(_:toDevice:)"), text, false));
}

void DeviceOperations::forwardFunctionKey(const QString& deviceID, DeviceTouchName name,
                                          DeviceTouchEvent event) {
    m_inputSync.mirror(
        deviceID,
        functionKeyAction(QStringLiteral("sendTouchEvent(name:event:toDevice:)"), name, event));
}

void DeviceOperations::setVideoQuality(VideoQuality quality, const QString& deviceID) {
    const QString operation = QStringLiteral("setVideoQuality(_:forDevice:)");
    if (const Device device = streamingDevice(deviceID, operation)) {
        switchQuality(operation, quality, device);
    }
}

void DeviceOperations::sendTouchEvent(DeviceTouchName name, DeviceTouchEvent event,
                                      const QString& deviceID) {
    if (!m_registry.contains(deviceID)) {
        print(QStringLiteral("sendTouchEvent(name:event:toDevice:)"),
              missing(deviceID, QStringLiteral("尚未没添加")));
        return;
    }
    forwardFunctionKey(deviceID, name, event);
}

void DeviceOperations::fetchActivePackageName(const QString& deviceID,
                                              PackageNameCompletion completionHandler) {
    Device device = m_streams.realTimeDevices().value(deviceID);
    if (!device) {
        device = m_registry.device(deviceID);
    }
    if (!device) {
        if (completionHandler) {
            completionHandler(std::nullopt,
                              deviceNotFoundError(QStringLiteral("fetchActivePackageName")));
        }
        return;
    }
    print(QStringLiteral("fetchActivePackageName(for:completionHandler:)"),
          QStringLiteral(".设备:") + idOf(device) + QStringLiteral(",cmd:") + kForegroundAppQuery);
    device->sendAdbCommandWithResult(
        kForegroundAppQuery,
        [completionHandler = std::move(completionHandler)](const std::optional<Error>& error,
                                                           const std::optional<QString>& output) {
            const std::optional<QString> package = packageFromFocusReport(output);
            MainQueue::async([completionHandler, package, error] {
                if (completionHandler) {
                    completionHandler(package, error);
                }
            });
        });
}

void DeviceOperations::setKeyboard(DeviceKeyboardType type, const QString& deviceID) {
    const QString operation = QStringLiteral("setKeyboard(kbType:forDevice:)");
    if (const Device device = streamingDevice(deviceID, operation)) {
        switchKeyboard(operation, type, device);
    }
}

void DeviceOperations::fetchDiskInfo(const QString& deviceID,
                                     DictionaryCompletion completionHandler) {
    if (const Device device =
            queried(m_registry, deviceID, QStringLiteral("fetchDiskInfo(for:completionHandler:)"),
                    completionHandler)) {
        device->queryDiskDetail(printedAnswer(QStringLiteral("queryDiskDetail"),
                                              QStringLiteral("Info"), idOf(device),
                                              std::move(completionHandler)));
    }
}

void DeviceOperations::copyTextToPasteboard(const QString& text, const QString& deviceID) {
    if (!m_registry.contains(deviceID)) {
        print(QStringLiteral("copyTextToPasteboard(_:toDevice:)"), missing(deviceID, kNotAdded));
        return;
    }
    forwardClipboardText(deviceID, text);
}

void DeviceOperations::sendText(const QString& text, const QString& deviceID) {
    if (!m_registry.contains(deviceID)) {
        print(QStringLiteral("sendText(_:toDevice:)"), missing(deviceID, kNotAdded));
        return;
    }
    forwardText(deviceID, text);
}

void DeviceOperations::transferFile(const QString& location, const QString& deviceID,
                                    ErrorCompletion completionHandler) {
    const QString operation = QStringLiteral("transferFile(at:toDevice:completionHandler:)");
    const Device device = m_registry.device(deviceID);
    if (!device) {
        print(operation, QStringLiteral(", Device is null"));
        completeNotFound(completionHandler, QStringLiteral("transferFile"));
        return;
    }
    push(operation, location, false, device, std::move(completionHandler));
}

void DeviceOperations::installFile(const QString& location, const QString& deviceID,
                                   ErrorCompletion completionHandler) {
    const QString operation = QStringLiteral("installFile(at:toDevice:completionHandler:)");
    const Device device = m_registry.device(deviceID);
    if (!device) {
        print(operation, QStringLiteral(", Device is null"));
        completeNotFound(completionHandler, QStringLiteral("installFile"));
        return;
    }
    push(operation, location, true, device, std::move(completionHandler));
}

void DeviceOperations::disableAudioStream(bool disabled, const QString& deviceID) {
    if (const Device device =
            streamingDevice(deviceID, QStringLiteral("disableAudioStream(_:forDevice:)"))) {
        device->mute(disabled);
    }
}

void DeviceOperations::setLanguage(const QString& locale, const QString& deviceID) {
    if (const Device device =
            streamingDevice(deviceID, QStringLiteral("setLanguage(_:forDevice:)"))) {
        device->switchSystemLocale(locale);
    }
}

void DeviceOperations::shakeDevice(const QString& deviceID) {
    if (const Device device = streamingDevice(deviceID, QStringLiteral("shakeDevice(deviceID:)"))) {
        device->shake();
    }
}

void DeviceOperations::sendCommand(const ADBCommand& command, const QString& deviceID,
                                   ErrorCompletion completionHandler) {
    const Device device = m_registry.device(deviceID);
    if (!device) {
        completeNotFound(completionHandler, QStringLiteral("sendCommand"));
        return;
    }
    runCommand(QStringLiteral("sendCommand(_:toDevice:completionHandler:)"), command, device,
               std::move(completionHandler));
}

void DeviceOperations::fetchLaunchableAppInfo(const QString& deviceID,
                                              TextCompletion completionHandler) {
    if (const Device device = queried(
            m_registry, deviceID, QStringLiteral("fetchLaunchableAppInfo(for:completionHandler:)"),
            completionHandler)) {
        device->getAppForStart(std::move(completionHandler));
    }
}

void DeviceOperations::fetchUninstallableAppInfo(const QString& deviceID,
                                                 TextCompletion completionHandler) {
    if (const Device device =
            queried(m_registry, deviceID,
                    QStringLiteral("fetchUninstallableAppInfo(for:completionHandler:)"),
                    completionHandler)) {
        device->getAppForUninstall(printedAnswer(QStringLiteral("getAppForUninstall"),
                                                 QStringLiteral("msg"), idOf(device),
                                                 std::move(completionHandler)));
    }
}

void DeviceOperations::fetchCloudPhoneResourceInfo(const QString& deviceID,
                                                   DictionaryCompletion completionHandler) {
    if (const Device device =
            queried(m_registry, deviceID,
                    QStringLiteral("fetchCloudPhoneResourceInfo(for:completionHandler:)"),
                    completionHandler)) {
        device->getResourceDetail(printedAnswer(QStringLiteral("getResourceDetail"),
                                                QStringLiteral("msg"), idOf(device),
                                                std::move(completionHandler)));
    }
}

void DeviceOperations::sendTouchEvent(DeviceTouchName name, DeviceTouchEvent event) {
    const QString operation = QStringLiteral("sendTouchEvent(name:event:)");
    if (const Device device = anyStreamingDevice(operation)) {
        functionKeyAction(operation, name, event)(device);
    }
}

void DeviceOperations::sendText(const QString& text) {
    const QString operation = QStringLiteral("sendText(_:)");
    if (const Device device = anyStreamingDevice(operation)) {
        textAction(operation, text, false)(device);
    }
}

void DeviceOperations::copyTextToPasteboard(const QString& text) {
    const QString operation = QStringLiteral("copyTextToPasteboard(_:)");
    if (const Device device = anyStreamingDevice(operation)) {
        textAction(operation, text, true)(device);
    }
}

void DeviceOperations::setVideoQuality(VideoQuality quality) {
    const QString operation = QStringLiteral("setVideoQuality(_:)");
    if (const Device device = anyStreamingDevice(operation)) {
        switchQuality(operation, quality, device);
    }
}

void DeviceOperations::setKeyboard(DeviceKeyboardType type) {
    const QString operation = QStringLiteral("setKeyboard(kbType:)");
    if (const Device device = anyStreamingDevice(operation)) {
        switchKeyboard(operation, type, device);
    }
}

void DeviceOperations::disableAudioStream(bool disabled) {
    if (const Device device = anyStreamingDevice(QStringLiteral("disableAudioStream(_:)"))) {
        device->mute(disabled);
    }
}

void DeviceOperations::setLanguage(const QString& locale) {
    if (const Device device = anyStreamingDevice(QStringLiteral("setLanguage(_:)"))) {
        device->switchSystemLocale(locale);
    }
}

void DeviceOperations::shakeDevice() {
    if (const Device device = anyStreamingDevice(QStringLiteral("shakeDevice()"))) {
        device->shake();
    }
}

void DeviceOperations::transferFile(const QString& location, ErrorCompletion completionHandler) {
    const QString operation = QStringLiteral("transferFile(at:completionHandler:)");
    if (const Device device = anyStreamingDevice(operation)) {
        push(operation, location, false, device, std::move(completionHandler));
    } else {
        completeNotFound(completionHandler, QStringLiteral("transferFile"));
    }
}

void DeviceOperations::installFile(const QString& location, ErrorCompletion completionHandler) {
    const QString operation = QStringLiteral("installFile(at:completionHandler:)");
    if (const Device device = anyStreamingDevice(operation)) {
        push(operation, location, true, device, std::move(completionHandler));
    } else {
        completeNotFound(completionHandler, QStringLiteral("installFile"));
    }
}

void DeviceOperations::sendCommand(const ADBCommand& command, ErrorCompletion completionHandler) {
    const QString operation = QStringLiteral("sendCommand(_:completionHandler:)");
    if (const Device device = anyStreamingDevice(operation)) {
        runCommand(operation, command, device, std::move(completionHandler));
    } else {
        completeNotFound(completionHandler, QStringLiteral("sendCommand"));
    }
}
