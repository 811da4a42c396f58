#include "devicewindow/DeviceStreamConnection.h"

#include "devicewindow/ConnectionSpinner.h"
#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/DeviceWindowHandlers.h"
#include "devicewindow/DeviceWindowImages.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "foundation/logging/LogRedaction.h"
#include "foundation/settings/SettingsManager.h"
#include "session/CloudPhoneCommunicator.h"

#include <QClipboard>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLabel>
#include <QLoggingCategory>
#include <QMetaType>
#include <QPushButton>

#include <algorithm>
#include <functional>
#include <utility>

// Device notifications go to the system log: standard error, apart from the console lines.
Q_LOGGING_CATEGORY(deviceWindowSystemLog, "kx.system")

namespace {

QColor calibrated(double red, double green, double blue, double alpha = 1) {
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

const QString& T = DeviceStreamConnection::typeName;

// Runs `work` at once on the GUI thread; from elsewhere it is queued there and dropped if
// `context` is gone by then.
void onGuiThread(const QObject* context, std::function<void()> work) {
    if (MainQueue::isMainThread()) {
        work();
    } else {
        MainQueue::async(context, std::move(work));
    }
}

void systemLog(const QString& line) {
    qCInfo(deviceWindowSystemLog).noquote() << line;
}

QString number(KXRotationObc rotation) {
    return QString::number(static_cast<int>(rotation));
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

DeviceStreamConnection::DeviceStreamConnection(const DeviceIdentity& identity,
                                               CloudPhoneCommunicator& communicator,
                                               SettingsManager& settings, QWidget* viewport,
                                               QWidget* mainView, QObject* parent)
    : QObject(parent),
      m_identity(identity),
      m_communicator(communicator),
      m_settings(settings),
      m_viewport(viewport),
      m_mainView(mainView) {
    setupConnectionOverlay();
}

DeviceStreamConnection::~DeviceStreamConnection() = default;

QWidget* DeviceStreamConnection::cloudPhoneConnectionOverlay() const {
    return m_cloudPhoneConnectionOverlay;
}
ConnectionSpinner* DeviceStreamConnection::cloudPhoneLoadingIndicator() const {
    return m_cloudPhoneLoadingIndicator;
}
QPushButton* DeviceStreamConnection::reconnectCloudPhoneButton() const {
    return m_reconnectCloudPhoneButton;
}

void DeviceStreamConnection::setupConnectionOverlay() {
    if (!m_viewport) {
        return;
    }
    auto* overlay = new QWidget(m_viewport);
    overlay->setObjectName(QStringLiteral("cloudPhoneConnectionOverlay"));
    overlay->hide();
    overlay->setAutoFillBackground(true);
    QPalette black = overlay->palette();
    black.setColor(QPalette::Window, Qt::black);
    overlay->setPalette(black);
    m_cloudPhoneConnectionOverlay = overlay;

    m_connectionBackgroundView = new QLabel(overlay);
    m_connectionBackgroundView->setScaledContents(true);
    m_connectionBackgroundView->setPixmap(DeviceWindowImages::loadingBackground());

    m_cloudPhoneLoadingIndicator = new ConnectionSpinner(overlay);
    m_cloudPhoneLoadingIndicator->resize(36, 36);

    auto* button = new QPushButton(QStringLiteral("Reconnect"), overlay);
    button->setObjectName(QStringLiteral("reconnectCloudPhoneButton"));
    button->hide();
    button->resize(136, 44);
    button->setCursor(Qt::PointingHandCursor);
    QFont font = button->font();
    font.setPixelSize(15);
    font.setWeight(QFont::DemiBold);
    button->setFont(font);
    const QColor text = calibrated(0.08, 0.08, 0.08);
    const QColor border = calibrated(0.61, 0.46, 0.93);
    button->setStyleSheet(QStringLiteral("QPushButton { background: white; color: %1;"
                                         " border: 3px solid %2; border-radius: 8px; }")
                              .arg(text.name(), border.name()));
    auto* shadow = new QGraphicsDropShadowEffect(button);
    shadow->setColor(calibrated(0.22, 0.08, 0.55, 0.28));
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 2);
    button->setGraphicsEffect(shadow);
    connect(button, &QPushButton::clicked, this,
            &DeviceStreamConnection::reconnectCloudPhoneClicked);
    m_reconnectCloudPhoneButton = button;

    layoutConnectionOverlay();
}

void DeviceStreamConnection::layoutConnectionOverlay() {
    if (!m_cloudPhoneConnectionOverlay || !m_viewport) {
        return;
    }
    const QRect bounds = m_viewport->rect();
    m_cloudPhoneConnectionOverlay->setGeometry(bounds);
    m_connectionBackgroundView->setGeometry(bounds);
    QRect spinner(0, 0, 36, 36);
    spinner.moveCenter(bounds.center());
    m_cloudPhoneLoadingIndicator->setGeometry(spinner);
    QRect button(0, 0, 136, 44);
    button.moveCenter(bounds.center());
    m_reconnectCloudPhoneButton->setGeometry(button);
}

DeviceRealTimeOptions& DeviceStreamConnection::realTimeOptions() {
    if (!m_realTimeOptions) {
        DeviceRealTimeOptions options;
        options.displaySize = QSizeF(720, 1280);
        options.videoQuality = VideoQuality::p480;
        options.codecFormat = CodecFormat::H265;
        options.fps = 30;
        options.streamTimeout = 15;
        options.operationTimeout = 0;
        options.connectType = DeviceConnectType::udp;
        options.muted = true;
        m_realTimeOptions = options;
    }
    return *m_realTimeOptions;
}

void DeviceStreamConnection::startCloudPhoneConnection(VideoQuality quality,
                                                       bool idleDisconnectEnabled) {
    if (m_cloudPhoneConnectionOverlay) {
        m_cloudPhoneConnectionOverlay->show();
        m_cloudPhoneConnectionOverlay->raise();
        m_reconnectCloudPhoneButton->hide();
        m_cloudPhoneLoadingIndicator->startAnimation();
    }
    const QString key = m_identity.deviceKey();
    // Exactly "off" unmutes; the page writes it so, and anything else keeps the sound off.
    const bool muted = m_settings.boolean(TypedSettings::streamMuted);

    DeviceRealTimeOptions& options = realTimeOptions();
    options.videoQuality = quality;
    options.codecFormat = CodecFormat::H265;
    options.operationTimeout = idleDisconnectEnabled ? 180 : 0;
    options.connectType = DeviceConnectType::udp;
    options.muted = muted;

    const QPointer<DeviceStreamConnection> weakSelf(this);
    m_communicator.updateDevice(key, DeviceConnectType::udp, [weakSelf, key](bool) {
        if (!weakSelf || weakSelf->m_identity.deviceKey() != key) {
            return;
        }
        CloudPhoneCommunicator& communicator = weakSelf->m_communicator;
        if (weakSelf->m_mainView) {
            communicator.startRealTimePlay(key, weakSelf->realTimeOptions(),
                                           std::make_shared<DeviceWindowEventHandler>(weakSelf),
                                           std::make_shared<DeviceWindowStreamHandler>(weakSelf),
                                           weakSelf->m_mainView);
        }
        communicator.setKeyboard(DeviceKeyboardType::external, key);
        communicator.fetchDiskInfo(
            key, [weakSelf](const std::optional<QVariantMap>& info, const std::optional<Error>&) {
                // The answer comes on the SDK's thread.
                MainQueue::async([weakSelf, info] {
                    if (weakSelf) {
                        weakSelf->diskInfoDidArrive(info);
                    }
                });
            });
    });
}

void DeviceStreamConnection::showDisconnectedForIdle() {
    if (m_cloudPhoneConnectionOverlay) {
        m_cloudPhoneConnectionOverlay->show();
        m_cloudPhoneConnectionOverlay->raise();
        m_reconnectCloudPhoneButton->show();
        m_cloudPhoneLoadingIndicator->stopAnimation();
    }
}

// Left to a later version: nothing is shown for the disk details yet.
void DeviceStreamConnection::diskInfoDidArrive(const std::optional<QVariantMap>&) {}

void DeviceStreamConnection::didStreamReady(const QString& deviceID, KXRotationObc rotation) {
    KXLog(T + QStringLiteral(".callback.rt.didStreamReady,device:") + deviceID +
              QStringLiteral(", rotation: ") + number(rotation),
          LogTag::video, LogLevel::info);
}

void DeviceStreamConnection::didReceiveFirstVideoFrame(const QString& deviceID,
                                                       KXRotationObc rotation) {
    if (deviceID != m_identity.deviceKey()) {
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
    Q_EMIT deviceOrientationDidArrive(rotation);
    if (const QClipboard* clipboard = QGuiApplication::clipboard()) {
        const QString text = clipboard->text();
        if (!text.isEmpty()) {
            KXLog(QStringLiteral("剪贴板内容: ") + LogRedaction::textLength(text), LogTag::video,
                  LogLevel::info);
        }
    }
}

void DeviceStreamConnection::didTimeout(const QString& deviceID, DeviceTimeoutReason reason) {
    KXLog(T + QStringLiteral(".callback.rt.didTimeout,device:") + deviceID +
              QStringLiteral(",networkInfo:") + caseName(reason),
          LogTag::video, LogLevel::warning);
}

void DeviceStreamConnection::didUpdateNetworkStatus(const QString& deviceID,
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

    onGuiThread(this, [this, rtt] { Q_EMIT roundTripTimeDidChange(rtt); });
}

void DeviceStreamConnection::streamDidEncounterError(const QString& deviceID, qint64 code) {
    ConsoleFormat::print(QStringLiteral("云手机出现了错误，错误码：") + QString::number(code) +
                         QStringLiteral("。"));
    ConsoleFormat::print(T + QStringLiteral(".callback.rt.didEncounterError,device:") + deviceID +
                         QStringLiteral(",code:") + QString::number(code));
}

void DeviceStreamConnection::streamDidUpdateConnection(const QString& deviceID, qint64 state,
                                                       const std::optional<QString>& message) {
    ConsoleFormat::print(T + QStringLiteral(".callback.rt.didUpdateConnection,device:") + deviceID +
                         QStringLiteral(",state:") + QString::number(state) +
                         QStringLiteral(",message:") + describeMessage(message));
}

void DeviceStreamConnection::stallDueToPoorNetwork(const QString& deviceID) {
    ConsoleFormat::print(T + QStringLiteral(".callback.rt.StallDueToPoorNetwork,device:") +
                         deviceID);
}

void DeviceStreamConnection::didLoseControl(const QString& deviceID, TerminatedReason reason) {
    KXLog(T + QStringLiteral(".callback.didLoseControl,device:") + deviceID +
              QStringLiteral(",reason:") + caseName(reason),
          LogTag::video, LogLevel::warning);
}

void DeviceStreamConnection::didAdd(const QString& deviceID, bool added) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didAdd,device:") + deviceID +
                         QStringLiteral(",successfully:") + ConsoleFormat::boolean(added));
}

void DeviceStreamConnection::didEncounterError(const QString& deviceID, qint64 code) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didEncounterError,device:") + deviceID +
                         QStringLiteral(",code:") + QString::number(code));
}

void DeviceStreamConnection::didUpdateConnection(const QString& deviceID, qint64 state,
                                                 const std::optional<QString>& message) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didUpdateConnection,device:") + deviceID +
                         QStringLiteral(",state:") + QString::number(state) +
                         QStringLiteral(",message:") + describeMessage(message));
}

void DeviceStreamConnection::didUpdateScreenSize(const QString& deviceID, qreal width,
                                                 qreal height) {
    ConsoleFormat::print(T + QStringLiteral(".callback.didUpdateScreenSize,device:") + deviceID +
                         QStringLiteral(",newSize:") + ConsoleFormat::size(QSizeF(width, height)));
}

void DeviceStreamConnection::didUpdateOrientation(const QString& deviceID, KXRotationObc rotation) {
    if (deviceID != m_identity.deviceKey()) {
        return;
    }
    if (!MainQueue::isMainThread()) {
        MainQueue::async(this,
                         [this, deviceID, rotation] { didUpdateOrientation(deviceID, rotation); });
        return;
    }
    ConsoleFormat::print(T + QStringLiteral(".callback.didUpdateOrientation,device:") + deviceID +
                         QStringLiteral(",rotatedType:") + number(rotation));
    Q_EMIT deviceOrientationDidArrive(rotation);
}

void DeviceStreamConnection::didUpdateKeyboardState(const QString& deviceID,
                                                    const DeviceKeyboardState& state) {
    ConsoleFormat::print(QStringLiteral("callback.didUpdateKeyboardState,device:") + deviceID +
                         QStringLiteral(",newState:") + describe(state));
    const bool imeActive = state.imeActive;
    // The device the window shows is read on the GUI thread, when the report is applied: a
    // report of a device the window switched away from meanwhile changes nothing.
    const auto apply = [this, deviceID, imeActive] {
        if (deviceID != m_identity.deviceKey() || imeActive == m_isIMEInputActive) {
            return;
        }
        m_isIMEInputActive = imeActive;
        if (!imeActive) {
            return;
        }
        Q_EMIT deviceInputMethodDidOpen();
    };
    onGuiThread(this, apply);
}

void DeviceStreamConnection::deviceDidChange() {
    m_isIMEInputActive = false;
}

void DeviceStreamConnection::didCopyText(const QString& deviceID, const QString& text) {
    ConsoleFormat::print(QStringLiteral("callback.didCopyText,device:") + deviceID +
                         QStringLiteral(",copiedText:") + LogRedaction::textLength(text));
    if (text.isEmpty()) {
        return;
    }
    // The clipboard belongs to the GUI thread.
    onGuiThread(this, [this, text] { copyTextToSystemPasteboard(text); });
}

void DeviceStreamConnection::copyTextToSystemPasteboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        return;
    }
    clipboard->clear();
    clipboard->setText(text);
    ConsoleFormat::print(QStringLiteral("   ✅ 已复制到系统剪贴板: '") +
                         LogRedaction::textLength(text) + QLatin1Char('\''));
}

void DeviceStreamConnection::didReceivePushMessage(const QString& deviceID,
                                                   const std::optional<QString>& message) {
    handleDeviceNotification(deviceID, message);
}

void DeviceStreamConnection::handleDeviceNotification(const QString& deviceID,
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

void DeviceStreamConnection::reportDeviceNotification(const QString& deviceID, qint64 type,
                                                      const QString& desc) {
    systemLog(QStringLiteral("收到设备 ") + deviceID + QStringLiteral(" 的通知 - 类型: ") +
              QString::number(type) + QStringLiteral(", 描述: ") + desc);
    if (type == 11) {
        KXLog(QStringLiteral("系统初始化中,请稍后再连"), LogTag::video, LogLevel::warning);
    } else if (type == 6) {
        KXLog(QStringLiteral("重启中，请稍后重新连接设备"), LogTag::video, LogLevel::warning);
    }
}
