#include "sdk/KXDevice.h"

#include "sdk/KXDeviceAudioPlayer.h"
#include "sdk/KXDeviceDelegate.h"
#include "sdk/KXDeviceRealPlayDelegate.h"
#include "sdk/KXDeviceVideoView.h"
#include "sdk/KXErrorCode.h"
#include "sdk/SdkRuntime.h"
#include "sdk/VideoFrameSlot.h"

namespace {
DeviceReplyCompletion dictionaryAnswer(KXDevice::DictionaryCompletion completion) {
    return [completion = std::move(completion)](const DeviceReply& reply) {
        if (completion) {
            completion(reply.dictionary, reply.error);
        }
    };
}

DeviceReplyCompletion textAnswer(KXDevice::TextCompletion completion) {
    return [completion = std::move(completion)](const DeviceReply& reply) {
        if (completion) {
            completion(reply.text, reply.error);
        }
    };
}

DeviceReplyCompletion errorAnswer(KXDevice::ErrorCompletion completion) {
    return [completion = std::move(completion)](const DeviceReply& reply) {
        if (completion) {
            completion(reply.error);
        }
    };
}
}  // namespace

KXDevice::KXDevice(KXDeviceParamsObc config, std::weak_ptr<KXDeviceDelegate> delegate)
    : m_config(std::move(config)), m_delegate(std::move(delegate)) {}

KXDevice::~KXDevice() {
    close();
}

void KXDevice::attach(std::shared_ptr<DeviceLink> link) {
    std::lock_guard lock(m_mutex);
    m_link = std::move(link);
}

std::shared_ptr<DeviceLink> KXDevice::openLink() const {
    std::lock_guard lock(m_mutex);
    return m_closed ? nullptr : m_link;
}

void KXDevice::setAudioDelegate(std::weak_ptr<KXDeviceAudioPlayer> player) {
    std::lock_guard lock(m_mutex);
    m_audioPlayer = std::move(player);
}

void KXDevice::setPlayDelegate(std::weak_ptr<KXDeviceRealPlayDelegate> delegate) {
    std::lock_guard lock(m_mutex);
    m_playDelegate = std::move(delegate);
}

int KXDevice::startRealPlay(const KXMediaParamsObc& params, KXDeviceVideoView* render) {
    const auto link = openLink();
    if (!link || !render) {
        return -1;
    }
    stopRealPlay();
    StreamTarget target{render->frameSlot(), 0};
    target.generation = target.slot->beginStream();
    {
        std::lock_guard lock(m_mutex);
        m_streamSlot = target.slot;
        m_streamGeneration = target.generation;
    }
    link->startStream(params, target);
    SdkRuntime::instance().log(QStringLiteral("startRealPlay %1").arg(m_config.deviceID()));
    return 0;
}

int KXDevice::stopRealPlay() {
    std::shared_ptr<VideoFrameSlot> slot;
    quint64 generation = 0;
    std::shared_ptr<DeviceLink> link;
    {
        std::lock_guard lock(m_mutex);
        slot = std::exchange(m_streamSlot, nullptr);
        generation = m_streamGeneration;
        link = m_link;
    }
    if (!slot) {
        return -1;
    }
    if (link) {
        link->stopStream();
    }
    slot->endStream(generation);
    return 0;
}

void KXDevice::sendTouch(TouchPhase phase, const QList<KXTouchObc>& touches) {
    if (const auto link = openLink()) {
        link->sendTouch(TouchRecord{phase, touches});
    }
}

void KXDevice::touchBegin() {
    sendTouch(TouchPhase::begin, {});
}

void KXDevice::touchMove(const QList<KXTouchObc>& touches) {
    sendTouch(TouchPhase::move, touches);
}

void KXDevice::touchEnd() {
    sendTouch(TouchPhase::end, {});
}

void KXDevice::sendControl(const DeviceControl& control) {
    if (const auto link = openLink()) {
        link->sendControl(control);
    }
}

void KXDevice::sendFunctionKey(int key, int state) {
    sendControl({DeviceControl::Kind::functionKey, key, state, {}});
}

void KXDevice::sendClipdata(const QString& text) {
    sendControl({DeviceControl::Kind::clipboard, 0, 0, text});
}

void KXDevice::sendText(const QString& text) {
    sendControl({DeviceControl::Kind::text, 0, 0, text});
}

void KXDevice::switchVideoQuality(qint32 bitrateKbps) {
    sendControl({DeviceControl::Kind::videoQuality, bitrateKbps, 0, {}});
}

void KXDevice::switchIme(int type, const std::optional<QString>& customIME) {
    sendControl({DeviceControl::Kind::inputMethod, type, 0, customIME});
}

void KXDevice::mute(bool muted) {
    sendControl({DeviceControl::Kind::mute, muted ? 1 : 0, 0, {}});
}

void KXDevice::switchSystemLocale(const QString& locale) {
    sendControl({DeviceControl::Kind::systemLocale, 0, 0, locale});
}

void KXDevice::shake() {
    sendControl({DeviceControl::Kind::shake, 0, 0, {}});
}

void KXDevice::request(const DeviceRequest& request, DeviceReplyCompletion completion) {
    if (const auto link = openLink()) {
        link->request(request, std::move(completion));
        return;
    }
    SdkRuntime::instance().answer([completion = std::move(completion)] {
        completion(DeviceReply::failure(Error{KXErrorCode::deviceDomain, KXErrorCode::deviceClosed,
                                              QStringLiteral("device is closed")}));
    });
}

void KXDevice::sendAdbCommand(const QString& command, ErrorCompletion completion) {
    request({DeviceRequest::Kind::shellCommand, command}, errorAnswer(std::move(completion)));
}

void KXDevice::sendAdbCommandWithResult(const QString& command,
                                        CommandResultCompletion completion) {
    request({DeviceRequest::Kind::shellCommand, command},
            [completion = std::move(completion)](const DeviceReply& reply) {
                if (completion) {
                    completion(reply.error, reply.text);
                }
            });
}

void KXDevice::queryDiskDetail(DictionaryCompletion completion) {
    request({DeviceRequest::Kind::diskDetail, {}}, dictionaryAnswer(std::move(completion)));
}

void KXDevice::getResourceDetail(DictionaryCompletion completion) {
    request({DeviceRequest::Kind::resourceDetail, {}}, dictionaryAnswer(std::move(completion)));
}

void KXDevice::getAppForStart(TextCompletion completion) {
    request({DeviceRequest::Kind::launchableApps, {}}, textAnswer(std::move(completion)));
}

void KXDevice::getAppForUninstall(TextCompletion completion) {
    request({DeviceRequest::Kind::uninstallableApps, {}}, textAnswer(std::move(completion)));
}

void KXDevice::transferWithUrl(const QString& url, ErrorCompletion completion) {
    request({DeviceRequest::Kind::transferFile, url}, errorAnswer(std::move(completion)));
}

void KXDevice::installWithUrl(const QString& url, ErrorCompletion completion) {
    request({DeviceRequest::Kind::installFile, url}, errorAnswer(std::move(completion)));
}

void KXDevice::refreshToken(const QString& token) {
    if (const auto link = openLink()) {
        link->refreshToken(token);
    }
}

void KXDevice::kickoutOther() {
    if (const auto link = openLink()) {
        link->kickoutOther();
    }
}

void KXDevice::getPreview(const KXSizeObc& size, qint32 quality, quint8 format,
                          PreviewCompletion completion) {
    if (!completion) {
        return;
    }
    if (const auto link = openLink()) {
        link->requestPreview(size, quality, format, std::move(completion));
        return;
    }
    SdkRuntime::instance().answer([completion = std::move(completion)] {
        completion(std::nullopt, Error{KXErrorCode::deviceDomain, KXErrorCode::deviceClosed,
                                       QStringLiteral("device is closed")});
    });
}

void KXDevice::close() {
    std::shared_ptr<DeviceLink> link;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return;
        }
        m_closed = true;
        link = std::exchange(m_link, nullptr);
    }
    stopRealPlay();
    if (link) {
        link->close();
    }
    SdkRuntime::instance().log(QStringLiteral("close %1").arg(m_config.deviceID()));
}

bool KXDevice::isClosed() const {
    std::lock_guard lock(m_mutex);
    return m_closed;
}

void KXDevice::linkEvent(const DeviceEvent& event) {
    if (isClosed()) {
        return;
    }
    if (event.isStreamEvent()) {
        deliverStreamEvent(event);
    } else {
        deliverDeviceEvent(event);
    }
}

void KXDevice::linkAudio(const QByteArray& samples) {
    std::shared_ptr<KXDeviceAudioPlayer> player;
    {
        std::lock_guard lock(m_mutex);
        player = m_audioPlayer.lock();
    }
    if (player) {
        player->play(samples);
    }
}

void KXDevice::deliverDeviceEvent(const DeviceEvent& event) {
    using Kind = DeviceEvent::Kind;
    if (event.kind == Kind::rotation) {
        m_rotation = static_cast<KXRotationObc>(event.value);
    }
    std::shared_ptr<KXDeviceDelegate> delegate;
    {
        std::lock_guard lock(m_mutex);
        delegate = m_delegate.lock();
    }
    if (!delegate) {
        return;
    }
    const auto self = shared_from_this();
    switch (event.kind) {
        case Kind::kickout:
            delegate->onKickout(self, event.value);
            break;
        case Kind::ready:
            delegate->onReady(self);
            break;
        case Kind::error:
            delegate->onError(self, event.error);
            break;
        case Kind::exceptionStatus:
            delegate->onExceptionStatus(self, event.value, event.text);
            break;
        case Kind::screenSize:
            delegate->onScreenSize(self, event.size);
            break;
        case Kind::rotation:
            delegate->onRotation(self, static_cast<KXRotationObc>(event.value));
            break;
        case Kind::imeStatus:
            delegate->onIMEStatus(self, event.dictionary);
            break;
        case Kind::clipData:
            delegate->onClipData(self, event.text);
            break;
        case Kind::pushMessage:
            delegate->onPushMsg(self, event.text);
            break;
        case Kind::frontPackage:
            delegate->onFrontPackage(self, event.text.value_or(QString()));
            break;
        default:
            break;
    }
}

void KXDevice::deliverStreamEvent(const DeviceEvent& event) {
    using Kind = DeviceEvent::Kind;
    std::shared_ptr<KXDeviceRealPlayDelegate> delegate;
    {
        std::lock_guard lock(m_mutex);
        delegate = m_playDelegate.lock();
    }
    if (!delegate) {
        return;
    }
    const auto self = shared_from_this();
    switch (event.kind) {
        case Kind::realPlayReady:
            delegate->onRealPlayReady(self);
            break;
        case Kind::streamTimeout:
            delegate->onRealPlayStreamTimeout(self);
            break;
        case Kind::noOpTimeout:
            delegate->onRealPlayNoOpTimeout(self);
            break;
        case Kind::netStat:
            delegate->onRealPlayNetStat(self, event.dictionary);
            break;
        case Kind::realPlayError:
            delegate->onRealPlayError(self, event.error);
            break;
        case Kind::realPlayExceptionStatus:
            delegate->onRealPlayExceptionStatus(self, event.value, event.text);
            break;
        case Kind::networkStuck:
            delegate->onRealPlayNetworkStuck(self);
            break;
        default:
            break;
    }
}
