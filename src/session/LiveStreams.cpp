#include "session/LiveStreams.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/logging/ConsoleFormat.h"
#include "sdk/KXDevice.h"
#include "sdk/KXDeviceAudioPlayer.h"
#include "sdk/KXDeviceVideoView.h"
#include "session/CloudPhoneEventProtocol.h"
#include "session/CloudPhonePlayerView.h"
#include "session/CloudPhoneStreamDelegate.h"
#include "session/CloudPhoneStreamProtocol.h"
#include "session/CloudPhoneTouchEventForwarder.h"
#include "session/CloudPhoneTouchView.h"
#include "session/DeviceRegistry.h"
#include "session/InputSync.h"

#include <limits>

namespace {

const QString kPrefix = QStringLiteral("CloudPhoneCommunicator.");
const QString kStart =
    QStringLiteral("startRealTimePlay(forDevice:with:deviceEventHandler:streamEventHandler:in:)");
const QString kStop = QStringLiteral("stopRealTimePlay(deviceID:)");

bool fitsContactIndex(qint64 index) {
    return index >= std::numeric_limits<qint32>::min() &&
           index <= std::numeric_limits<qint32>::max();
}

}  // namespace

LiveStreams::LiveStreams(const DeviceRegistry& registry, InputSync& inputSync,
                         std::shared_ptr<CloudPhoneStreamDelegate> streamDelegate, QObject* parent)
    : QObject(parent),
      m_registry(registry),
      m_inputSync(inputSync),
      m_streamDelegate(std::move(streamDelegate)),
      m_audioPlayer(std::make_shared<KXDeviceAudioPlayer>()) {
    setPlayerViewFactory({});
}

LiveStreams::~LiveStreams() = default;

void LiveStreams::setPlayerViewFactory(PlayerViewFactory factory) {
    if (!factory) {
        factory = [](const QString& deviceID) { return new CloudPhonePlayerView(deviceID); };
    }
    m_playerViewFactory = std::move(factory);
}

void LiveStreams::shutDown() {
    for (const QString& id : m_realTimeDevices.keys()) {
        stop(id);
    }
    m_realTimeDevices.clear();
    for (const QPointer<QWidget>& player : std::as_const(m_realTimeDevicePlayerMap)) {
        if (player) {
            player->deleteLater();
        }
    }
    m_realTimeDevicePlayerMap.clear();
    m_deviceEventHandlers.clear();
    m_streamEventHandlers.clear();
    m_touchEventForwarders.clear();
    m_streamDelegate.reset();
}

void LiveStreams::breadcrumb(const QString& message, bool refusal, const QString& deviceID) const {
    (m_sentry ? *m_sentry : SentryService::shared())
        .addCloudPhoneBreadcrumb(QStringLiteral("cloud_phone.stream"), message,
                                 refusal ? CrashReportLevel::warning : CrashReportLevel::info, {},
                                 deviceID);
}

void LiveStreams::start(const QString& deviceID, const DeviceRealTimeOptions& options,
                        std::shared_ptr<CloudPhoneEventProtocol> deviceEventHandler,
                        std::shared_ptr<CloudPhoneStreamProtocol> streamEventHandler,
                        QWidget* container) {
    const Device device = m_registry.device(deviceID);
    if (!device) {
        ConsoleFormat::print(kPrefix + kStart + QStringLiteral("设备") + deviceID +
                             QStringLiteral("尚未没添加"));
        breadcrumb(QStringLiteral("sdk.startRealTimePlay.device_missing"), true, deviceID);
        return;
    }
    if (m_realTimeDevicePlayerMap.contains(deviceID)) {
        ConsoleFormat::print(kPrefix + kStart + QStringLiteral("设备渲染代理已存在。"));
        breadcrumb(QStringLiteral("sdk.startRealTimePlay.player_exists"), true, deviceID);
        return;
    }
    m_deviceEventHandlers.insert(deviceID, std::move(deviceEventHandler));
    m_streamEventHandlers.insert(deviceID, std::move(streamEventHandler));

    CloudPhonePlayerView* player = m_playerViewFactory(deviceID);
    player->setObjectName(QString::number(m_playerViewTag));

    const QPointer<InputSync> weakSync(&m_inputSync);
    auto forwarder = std::make_shared<CloudPhoneTouchEventForwarder>(
        [weakSync, deviceID](const InputSync::DeviceAction& action) {
            if (weakSync) {
                weakSync->mirror(deviceID, action);
            }
        });
    m_touchEventForwarders.insert(deviceID, forwarder);
    player->touchView()->setDelegate(forwarder);
    const QPointer<LiveStreams> weakSelf(this);
    player->setOnFirstVideoFrameReceived([weakSelf](const std::optional<QString>& uuid) {
        if (weakSelf) {
            weakSelf->firstVideoFrameReceived(uuid);
        }
    });

    if (container) {
        player->setParent(container);
    }
    player->pinToSuperview();
    player->applyRotation(0);
    player->show();
    m_realTimeDevicePlayerMap.insert(deviceID, player);

    if (!options.muted) {
        device->setAudioDelegate(m_audioPlayer);
    }
    device->setPlayDelegate(m_streamDelegate);
    device->startRealPlay(options.makeMediaParams(), player->renderView());

    m_realTimeDevices.insert(deviceID, device);
    ConsoleFormat::print(kPrefix + QStringLiteral("startRealTimePlay,设备:") + deviceID +
                         QStringLiteral(",options:") + options.description());
    breadcrumb(QStringLiteral("sdk.startRealTimePlay"), false, deviceID);
}

void LiveStreams::firstVideoFrameReceived(const std::optional<QString>& deviceID) {
    if (!deviceID) {
        return;
    }
    const Device device = m_realTimeDevices.value(*deviceID);
    if (!device) {
        return;
    }
    const QString configured = device->config().deviceID();
    const QString reported = configured.isEmpty() ? *deviceID : configured;
    ConsoleFormat::print(
        QStringLiteral("CloudPhoneCommunicator.streamDelegate.onFirstVideoFrameReceived,device:") +
        reported + QLatin1Char(')'));
    if (const auto handler = m_streamEventHandlers.value(*deviceID)) {
        handler->didReceiveFirstVideoFrame(reported, device->rotation());
    }
}

void LiveStreams::stop(const QString& deviceID) {
    if (!m_realTimeDevicePlayerMap.contains(deviceID)) {
        ConsoleFormat::print(kPrefix + kStop + QStringLiteral("设备渲染代理不存在"));
        breadcrumb(QStringLiteral("sdk.stopRealTimePlay.player_missing"), true, deviceID);
        return;
    }
    const Device device = m_realTimeDevices.value(deviceID);
    if (!device) {
        ConsoleFormat::print(kPrefix + kStop + QStringLiteral("设备") + deviceID +
                             QStringLiteral("尚未没添加"));
        breadcrumb(QStringLiteral("sdk.stopRealTimePlay.device_missing"), true, deviceID);
        return;
    }
    ConsoleFormat::print(kPrefix + QStringLiteral("stopRealTimePlay,设备:") + deviceID);
    breadcrumb(QStringLiteral("sdk.stopRealTimePlay"), false, deviceID);
    device->setAudioDelegate({});
    device->stopRealPlay();
    device->setPlayDelegate({});
    m_realTimeDevices.remove(deviceID);
    if (const QPointer<QWidget> player = m_realTimeDevicePlayerMap.take(deviceID)) {
        player->hide();
        player->setParent(nullptr);
        // A mouse event of its own touch view may be what stops the stream.
        player->deleteLater();
    }
    m_touchEventForwarders.remove(deviceID);
    m_deviceEventHandlers.remove(deviceID);
    m_streamEventHandlers.remove(deviceID);
}

void LiveStreams::captureSnapshot(const QString& deviceID, const SnapshotOptions& options,
                                  SnapshotCompletion completion) {
    const Device device = m_registry.device(deviceID);
    if (!device) {
        if (completion) {
            completion(std::nullopt, deviceID,
                       Error{QStringLiteral("CloudPhoneCommunicator.loadDeviceSnapshot"), -1, {}});
        }
        return;
    }
    ConsoleFormat::print(kPrefix + QStringLiteral("captureSnapshot,设备:") + deviceID +
                         QStringLiteral(",配置:") + options.description());
    device->getPreview(
        makeSize(options.size), options.quality, static_cast<quint8>(options.format),
        [deviceID, completion = std::move(completion)](const std::optional<KXImageObc>& image,
                                                       const std::optional<Error>& error) {
            if (!completion) {
                return;
            }
            std::optional<SnapshotInfo> info;
            if (!error && image) {
                info = SnapshotInfo::fromImage(*image);
            }
            // Callers touch their windows in the completion, so it runs on the GUI thread.
            MainQueue::async(
                [completion, info, deviceID, error] { completion(info, deviceID, error); });
        });
}

void LiveStreams::setPlayerRotation(qreal degrees, QWidget* container) {
    if (!container) {
        return;
    }
    const QString tag = QString::number(m_playerViewTag);
    for (QObject* child : container->children()) {
        if (child->isWidgetType() && child->objectName() == tag) {
            if (auto* player = qobject_cast<CloudPhonePlayerView*>(child)) {
                player->applyRotation(degrees);
            }
            return;
        }
    }
}

bool LiveStreams::isStreaming(const QString& deviceID) const {
    return m_realTimeDevices.contains(deviceID) || m_realTimeDevicePlayerMap.contains(deviceID);
}

std::shared_ptr<CloudPhoneEventProtocol> LiveStreams::deviceEventHandler(
    const QString& deviceID) const {
    return m_deviceEventHandlers.value(deviceID);
}

std::shared_ptr<CloudPhoneStreamProtocol> LiveStreams::streamEventHandler(
    const QString& deviceID) const {
    return m_streamEventHandlers.value(deviceID);
}

QVariantMap LiveStreams::playerFrameCounters(const QString& deviceID) const {
    const auto* player =
        qobject_cast<const CloudPhonePlayerView*>(m_realTimeDevicePlayerMap.value(deviceID));
    if (!player) {
        return {};
    }
    return {{QStringLiteral("fps"), static_cast<qint64>(player->renderView()->fps())},
            {QStringLiteral("netFps"), static_cast<qint64>(player->renderView()->netFps())}};
}

CloudPhoneTouchView* LiveStreams::touchViewOf(const QString& deviceID,
                                              const QString& operation) const {
    if (const auto* player =
            qobject_cast<const CloudPhonePlayerView*>(m_realTimeDevicePlayerMap.value(deviceID))) {
        return player->touchView();
    }
    ConsoleFormat::print(kPrefix + operation + QStringLiteral("设备") + deviceID +
                         QStringLiteral("渲染代理不存在"));
    return nullptr;
}

CloudPhoneTouchView* LiveStreams::touchViewFor(const QString& deviceID, qint64 index,
                                               const QString& operation) const {
    if (!fitsContactIndex(index)) {
        ConsoleFormat::print(kPrefix + operation + QStringLiteral("触点编号超出范围:") +
                             QString::number(index));
        return nullptr;
    }
    return touchViewOf(deviceID, operation);
}

void LiveStreams::simulateTap(const QString& deviceID, const QPointF& point) {
    if (auto* touchView = touchViewOf(deviceID, QStringLiteral("simulateTap(onDevice:at:)"))) {
        touchView->tapAtPoint(point.x(), point.y());
    }
}

void LiveStreams::simulateTouchDown(const QString& deviceID, const QPointF& point, qint64 index) {
    if (auto* touchView = touchViewFor(deviceID, index,
                                       QStringLiteral("simulateTouchDown(onDevice:at:index:)"))) {
        touchView->simulateTouchDown(static_cast<int>(index), point.x(), point.y());
    }
}

void LiveStreams::simulateTouchMove(const QString& deviceID, const QPointF& point, qint64 index) {
    if (auto* touchView = touchViewFor(deviceID, index,
                                       QStringLiteral("simulateTouchMove(onDevice:at:index:)"))) {
        touchView->simulateTouchMove(static_cast<int>(index), point.x(), point.y());
    }
}

void LiveStreams::simulateTouchUp(const QString& deviceID, const QPointF& point, qint64 index) {
    if (auto* touchView =
            touchViewFor(deviceID, index, QStringLiteral("simulateTouchUp(onDevice:at:index:)"))) {
        touchView->simulateTouchUp(static_cast<int>(index), point.x(), point.y());
    }
}

void LiveStreams::cancelSimulatedTouches(const QString& deviceID) {
    if (auto* touchView =
            touchViewOf(deviceID, QStringLiteral("cancelSimulatedTouches(onDevice:)"))) {
        touchView->clearSimulatedTouches();
    }
}
