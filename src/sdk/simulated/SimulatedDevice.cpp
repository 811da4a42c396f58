#include "sdk/simulated/SimulatedDevice.h"

#include "foundation/concurrency/SerialQueue.h"
#include "sdk/KXErrorCode.h"
#include "sdk/simulated/SimulatedSession.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace {

const QString kFocusQuery =
    QStringLiteral("dumpsys window windows | grep -E 'mCurrentFocus|mFocusedApp'");
const QString kShareFolder = QStringLiteral("/sdcard/Download/");

QString focusReport(const QString& package) {
    if (package.isEmpty()) {
        return QStringLiteral("  mCurrentFocus=null\n  mFocusedApp=null\n");
    }
    return QStringLiteral(
               "  mCurrentFocus=Window{4a3c1f2 u0 %1/%1.MainActivity}\n"
               "  mFocusedApp=ActivityRecord{9b21e07 u0 %1/.MainActivity t31}\n")
        .arg(package);
}

QString appList(const QStringList& packages) {
    QJsonArray apps;
    for (const QString& package : packages) {
        apps.append(
            QJsonObject{{QStringLiteral("packageName"), package},
                        {QStringLiteral("appName"), package.section(QLatin1Char('.'), -1)}});
    }
    return QString::fromUtf8(QJsonDocument(apps).toJson(QJsonDocument::Compact));
}

// The newest records of a kind, oldest first: a device in use for hours would otherwise keep
// every touch and every control it ever received.
template <typename Records, typename Record>
void keepRecord(Records& records, const Record& record) {
    if (records.size() >= SimulatedDevice::kKeptRecords) {
        records.removeFirst();
    }
    records.append(record);
}

Error fileError(int code, const QString& message) {
    return Error{KXErrorCode::deviceDomain, code, message};
}

}  // namespace

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

QList<DeviceControl> SimulatedDevice::controls() const {
    std::lock_guard lock(m_mutex);
    return m_controls;
}

QList<DeviceRequest> SimulatedDevice::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QStringList SimulatedDevice::shellCommands() const {
    QStringList commands;
    for (const DeviceRequest& request : requests()) {
        if (request.kind == DeviceRequest::Kind::shellCommand) {
            commands << request.argument;
        }
    }
    return commands;
}

QStringList SimulatedDevice::transferredFiles() const {
    std::lock_guard lock(m_mutex);
    return m_transferredFiles;
}

QStringList SimulatedDevice::installedApps() const {
    std::lock_guard lock(m_mutex);
    return m_profile.installedApps;
}

QString SimulatedDevice::clipboard() const {
    std::lock_guard lock(m_mutex);
    return m_clipboard;
}

void SimulatedDevice::setShellAnswer(const QString& command, const DeviceReply& reply) {
    std::lock_guard lock(m_mutex);
    m_shellAnswers.insert(command, reply);
}

void SimulatedDevice::setRequestError(DeviceRequest::Kind kind, std::optional<Error> error) {
    std::lock_guard lock(m_mutex);
    if (error) {
        m_requestErrors.insert(kind, *error);
    } else {
        m_requestErrors.remove(kind);
    }
}

void SimulatedDevice::clearRecords() {
    std::lock_guard lock(m_mutex);
    m_controls.clear();
    m_requests.clear();
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
        keepRecord(m_connections, record);
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
    keepRecord(m_touches, touch);
    if (touch.phase == TouchPhase::move) {
        m_activeContacts = touch.contacts;
    } else {
        m_activeContacts.clear();
    }
}

void SimulatedDevice::recordToken(const QString& token) {
    std::lock_guard lock(m_mutex);
    keepRecord(m_refreshedTokens, token);
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
    keepRecord(m_previewRequests, request);
}

void SimulatedDevice::noteFrameRendered() {
    std::lock_guard lock(m_mutex);
    ++m_renderedFrames;
}

void SimulatedDevice::recordControl(const DeviceControl& control) {
    std::lock_guard lock(m_mutex);
    keepRecord(m_controls, control);
    constexpr int homeKey = 2;
    if (control.kind == DeviceControl::Kind::clipboard) {
        m_clipboard = control.text.value_or(QString());
    } else if (control.kind == DeviceControl::Kind::functionKey && control.value == homeKey &&
               control.state != 1) {
        m_profile.foregroundApp = m_profile.launcherApp;
    }
}

DeviceReply SimulatedDevice::answer(const DeviceRequest& request) {
    {
        std::lock_guard lock(m_mutex);
        keepRecord(m_requests, request);
        if (m_requestErrors.contains(request.kind)) {
            return DeviceReply::failure(m_requestErrors.value(request.kind));
        }
    }
    switch (request.kind) {
        case DeviceRequest::Kind::shellCommand:
            return runShell(request.argument);
        case DeviceRequest::Kind::transferFile:
            return receiveFile(request.argument, false);
        case DeviceRequest::Kind::installFile:
            return receiveFile(request.argument, true);
        default:
            break;
    }
    std::lock_guard lock(m_mutex);
    DeviceReply reply;
    switch (request.kind) {
        case DeviceRequest::Kind::diskDetail:
            reply.dictionary = QVariantMap{
                {QStringLiteral("total"), m_profile.diskTotalBytes},
                {QStringLiteral("used"), m_profile.diskUsedBytes},
                {QStringLiteral("free"), m_profile.diskTotalBytes - m_profile.diskUsedBytes}};
            break;
        case DeviceRequest::Kind::resourceDetail:
            reply.dictionary = QVariantMap{{QStringLiteral("cpuCores"), 8},
                                           {QStringLiteral("cpuUsage"), 12.5},
                                           {QStringLiteral("memoryTotal"), 8LL << 30},
                                           {QStringLiteral("memoryUsed"), 3LL << 30}};
            break;
        case DeviceRequest::Kind::launchableApps:
            reply.text = appList(m_profile.systemApps + m_profile.installedApps);
            break;
        case DeviceRequest::Kind::uninstallableApps:
            reply.text = appList(m_profile.installedApps);
            break;
        default:
            break;
    }
    return reply;
}

DeviceReply SimulatedDevice::runShell(const QString& command) {
    std::lock_guard lock(m_mutex);
    if (m_shellAnswers.contains(command)) {
        return m_shellAnswers.value(command);
    }
    if (command == kFocusQuery) {
        return DeviceReply::output(focusReport(m_profile.foregroundApp));
    }
    const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString program = words.value(0);
    if (program == QLatin1String("am") && words.value(1) == QLatin1String("start")) {
        if (command.contains(QLatin1String("android.intent.category.HOME"))) {
            m_profile.foregroundApp = m_profile.launcherApp;
            return DeviceReply::output(QStringLiteral("Starting: Intent { cat=[HOME] }\n"));
        }
        static const QRegularExpression component(
            QStringLiteral("([A-Za-z0-9_.$]+)/([A-Za-z0-9_.$]+)"));
        const QRegularExpressionMatch match = component.match(command);
        const QString package = match.captured(1);
        if (!match.hasMatch() || !(m_profile.systemApps.contains(package) ||
                                   m_profile.installedApps.contains(package))) {
            return DeviceReply::output(
                QStringLiteral("Error: Activity not started, unable to "
                               "resolve Intent\n"));
        }
        m_profile.foregroundApp = package;
        return DeviceReply::output(
            QStringLiteral("Starting: Intent { cmp=%1 }\n").arg(match.captured(0)));
    }
    if (program == QLatin1String("input") && words.value(1) == QLatin1String("keyevent")) {
        constexpr int homeKeyCode = 3;
        if (words.value(2).toInt() == homeKeyCode) {
            m_profile.foregroundApp = m_profile.launcherApp;
        }
        return DeviceReply::output(QString());
    }
    if (command == QLatin1String("reboot")) {
        m_profile.foregroundApp = m_profile.launcherApp;
        return DeviceReply::output(QString());
    }
    if (command == QLatin1String("root")) {
        return DeviceReply::output(QStringLiteral("adbd is already running as root\n"));
    }
    if (command == QLatin1String("pm list packages")) {
        QStringList packages = m_profile.systemApps + m_profile.installedApps;
        packages.sort();
        QString output;
        for (const QString& package : packages) {
            output += QStringLiteral("package:") + package + QLatin1Char('\n');
        }
        return DeviceReply::output(output);
    }
    if (command == QLatin1String("getprop ro.build.version.release")) {
        return DeviceReply::output(QStringLiteral("12\n"));
    }
    return DeviceReply::output(
        QStringLiteral("/system/bin/sh: %1: inaccessible or not found\n").arg(program));
}

DeviceReply SimulatedDevice::receiveFile(const QString& location, bool install) {
    const QUrl url(location);
    const bool remote =
        url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    const QString path = url.isLocalFile() ? url.toLocalFile() : location;
    QFileInfo file(remote ? url.path() : path);
    qint64 size = 0;
    if (!remote) {
        if (!file.isFile()) {
            return DeviceReply::failure(fileError(
                KXErrorCode::fileNotFound, QStringLiteral("file not found: %1").arg(location)));
        }
        size = file.size();
    }
    if (file.fileName().isEmpty()) {
        return DeviceReply::failure(fileError(KXErrorCode::fileNotFound,
                                              QStringLiteral("no file name in %1").arg(location)));
    }
    std::lock_guard lock(m_mutex);
    if (install) {
        static const QStringList packageSuffixes{QStringLiteral("apk"), QStringLiteral("xapk"),
                                                 QStringLiteral("apks")};
        if (!packageSuffixes.contains(file.suffix().toLower())) {
            return DeviceReply::failure(
                fileError(KXErrorCode::invalidPackage,
                          QStringLiteral("not an application package: %1").arg(location)));
        }
        const QString package = file.completeBaseName();
        if (!m_profile.installedApps.contains(package)) {
            m_profile.installedApps.append(package);
        }
    } else {
        m_transferredFiles.append(kShareFolder + file.fileName());
    }
    m_profile.diskUsedBytes = std::min(m_profile.diskTotalBytes, m_profile.diskUsedBytes + size);
    return {};
}
