#include "sdk/SimulatedDevice.h"

#include "foundation/SerialQueue.h"
#include "sdk/SimulatedSession.h"

#include <algorithm>

SimulatedDevice::SimulatedDevice(QString id, SimulatedDeviceProfile profile)
    : m_id(std::move(id)),
      m_profile(std::move(profile)),
      m_events(std::make_unique<SerialQueue>(QStringLiteral("kxsdk.device.") + m_id)) {}

SimulatedDevice::~SimulatedDevice() = default;

SimulatedDeviceProfile SimulatedDevice::profile() const {
    std::lock_guard lock(m_mutex);
    return m_profile;
}

QList<SimulatedConnection> SimulatedDevice::connections() const {
    std::lock_guard lock(m_mutex);
    return m_connections;
}

std::vector<std::shared_ptr<SimulatedSession>> SimulatedDevice::openSessions() const {
    std::vector<std::shared_ptr<SimulatedSession>> sessions;
    std::lock_guard lock(m_mutex);
    for (const auto& weak : m_sessions) {
        if (auto session = weak.lock(); session && session->isOpen()) {
            sessions.push_back(std::move(session));
        }
    }
    return sessions;
}

int SimulatedDevice::openSessionCount() const {
    return static_cast<int>(openSessions().size());
}

int SimulatedDevice::streamingSessionCount() const {
    const auto sessions = openSessions();
    return static_cast<int>(std::count_if(sessions.begin(), sessions.end(),
                                          [](const auto& s) { return s->isStreaming(); }));
}

std::optional<KXMediaParamsObc> SimulatedDevice::lastStreamParams() const {
    std::lock_guard lock(m_mutex);
    return m_lastStreamParams;
}

QList<TouchRecord> SimulatedDevice::touches() const {
    std::lock_guard lock(m_mutex);
    return m_touches;
}

QList<KXTouchObc> SimulatedDevice::activeContacts() const {
    std::lock_guard lock(m_mutex);
    return m_activeContacts;
}

QStringList SimulatedDevice::refreshedTokens() const {
    std::lock_guard lock(m_mutex);
    return m_refreshedTokens;
}

int SimulatedDevice::kickoutOtherCount() const {
    std::lock_guard lock(m_mutex);
    return m_kickoutOtherCount;
}

QList<PreviewRequest> SimulatedDevice::previewRequests() const {
    std::lock_guard lock(m_mutex);
    return m_previewRequests;
}

quint64 SimulatedDevice::renderedFrameCount() const {
    std::lock_guard lock(m_mutex);
    return m_renderedFrames;
}

void SimulatedDevice::clearRecords() {
    std::lock_guard lock(m_mutex);
    m_connections.clear();
    m_lastStreamParams.reset();
    m_touches.clear();
    m_refreshedTokens.clear();
    m_kickoutOtherCount = 0;
    m_previewRequests.clear();
}

void SimulatedDevice::setForegroundApp(const QString& package) {
    std::lock_guard lock(m_mutex);
    m_profile.foregroundApp = package;
}

QString SimulatedDevice::foregroundApp() const {
    std::lock_guard lock(m_mutex);
    return m_profile.foregroundApp;
}

KXRotationObc SimulatedDevice::rotation() const {
    std::lock_guard lock(m_mutex);
    return m_rotation;
}

void SimulatedDevice::setNetworkConditions(int rttMs, double lossPercent) {
    std::lock_guard lock(m_mutex);
    m_network = {rttMs, lossPercent};
}

SimulatedDevice::NetworkConditions SimulatedDevice::networkConditions() const {
    std::lock_guard lock(m_mutex);
    return m_network;
}

void SimulatedDevice::stall(std::chrono::milliseconds duration) {
    std::lock_guard lock(m_mutex);
    m_stalledUntil = Clock::now() + duration;
}

bool SimulatedDevice::isStalled(Clock::time_point now) const {
    std::lock_guard lock(m_mutex);
    return now < m_stalledUntil;
}

void SimulatedDevice::setPreviewError(std::optional<Error> error) {
    std::lock_guard lock(m_mutex);
    m_previewError = std::move(error);
}

std::optional<Error> SimulatedDevice::previewError() const {
    std::lock_guard lock(m_mutex);
    return m_previewError;
}

TestPicture SimulatedDevice::picture() const {
    std::lock_guard lock(m_mutex);
    TestPicture picture;
    picture.deviceID = m_id;
    picture.frameNumber = m_renderedFrames;
    picture.foregroundApp = m_profile.foregroundApp;
    picture.contacts = m_activeContacts;
    picture.rotation = m_rotation;
    return picture;
}

void SimulatedDevice::inject(const DeviceEvent& event) {
    {
        std::lock_guard lock(m_mutex);
        if (event.kind == DeviceEvent::Kind::rotation) {
            m_rotation = static_cast<KXRotationObc>(event.value);
        } else if (event.kind == DeviceEvent::Kind::screenSize && event.size) {
            m_profile.screenSize = *event.size;
        }
    }
    for (const auto& session : openSessions()) {
        post(session, event);
    }
}

void SimulatedDevice::drain() {
    m_events->sync([] {});
}

void SimulatedDevice::attach(const std::shared_ptr<SimulatedSession>& session,
                             const SimulatedConnection& record) {
    KXSizeObc screenSize;
    KXRotationObc rotation;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_sessions, [](const auto& weak) { return weak.expired(); });
        m_sessions.push_back(session);
        m_connections.append(record);
        screenSize = m_profile.screenSize;
        rotation = m_rotation;
    }
    // What a freshly connected device tells its client.
    post(session, DeviceEvent::ready());
    post(session, DeviceEvent::screenSize(screenSize));
    post(session, DeviceEvent::rotation(rotation));
}

void SimulatedDevice::detach(const SimulatedSession* session) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_sessions, [session](const auto& weak) {
        const auto locked = weak.lock();
        return !locked || locked.get() == session;
    });
}

void SimulatedDevice::post(const std::weak_ptr<SimulatedSession>& session,
                           const DeviceEvent& event) {
    runOnDeviceThread([session, event] {
        if (const auto locked = session.lock()) {
            locked->deliver(event);
        }
    });
}

void SimulatedDevice::runOnDeviceThread(std::function<void()> work) {
    m_events->async(std::move(work));
}

void SimulatedDevice::recordStreamStart(const KXMediaParamsObc& params) {
    std::lock_guard lock(m_mutex);
    m_lastStreamParams = params;
}

void SimulatedDevice::recordTouch(const TouchRecord& touch) {
    std::lock_guard lock(m_mutex);
    m_touches.append(touch);
    if (touch.phase == TouchPhase::move) {
        m_activeContacts = touch.contacts;
    } else {
        m_activeContacts.clear();
    }
}

void SimulatedDevice::recordToken(const QString& token) {
    std::lock_guard lock(m_mutex);
    m_refreshedTokens.append(token);
}

void SimulatedDevice::kickOthers(const SimulatedSession* keeper) {
    {
        std::lock_guard lock(m_mutex);
        ++m_kickoutOtherCount;
    }
    constexpr int occupiedReason = 4;
    for (const auto& session : openSessions()) {
        if (session.get() != keeper) {
            post(session, DeviceEvent::kickout(occupiedReason));
        }
    }
}

void SimulatedDevice::recordPreview(const PreviewRequest& request) {
    std::lock_guard lock(m_mutex);
    m_previewRequests.append(request);
}

void SimulatedDevice::noteFrameRendered() {
    std::lock_guard lock(m_mutex);
    ++m_renderedFrames;
}
