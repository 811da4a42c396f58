#include "sdk/SdkRuntime.h"

#include "foundation/concurrency/SerialQueue.h"
#include "foundation/storage/FileExtensions.h"
#include "sdk/KXDevice.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>

namespace {
const QString kLogFileName = QStringLiteral("kxsdk.log");
}

SdkRuntime& SdkRuntime::instance() {
    static SdkRuntime runtime;
    return runtime;
}

SdkRuntime::SdkRuntime()
    : m_answers(std::make_unique<SerialQueue>(QStringLiteral("kxsdk.answer"))) {}

SdkRuntime::~SdkRuntime() = default;

void SdkRuntime::init(const QString& logFolder) {
    {
        std::lock_guard lock(m_mutex);
        m_initialized = true;
        m_logFolder = logFolder;
    }
    if (!logFolder.isEmpty()) {
        createFolder(logFolder);
    }
    log(QStringLiteral("sdkInit"));
}

void SdkRuntime::cleanup() {
    std::vector<std::weak_ptr<KXDevice>> devices;
    {
        std::lock_guard lock(m_mutex);
        devices.swap(m_devices);
    }
    for (const auto& weak : devices) {
        if (const auto device = weak.lock()) {
            device->close();
        }
    }
    log(QStringLiteral("sdkCleanup"));
    std::lock_guard lock(m_mutex);
    m_initialized = false;
}

bool SdkRuntime::isInitialized() const {
    std::lock_guard lock(m_mutex);
    return m_initialized;
}

QString SdkRuntime::logFolder() const {
    std::lock_guard lock(m_mutex);
    return m_logFolder;
}

void SdkRuntime::log(const QString& line) {
    std::lock_guard lock(m_mutex);
    if (m_logFolder.isEmpty()) {
        return;
    }
    QFile file(QDir(m_logFolder).filePath(kLogFileName));
    if (openForWriting(file, QIODevice::Append, FileAccess::ownerOnly)) {
        const QString stamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        file.write((stamp + QLatin1Char(' ') + line + QLatin1Char('\n')).toUtf8());
    }
}

void SdkRuntime::answer(std::function<void()> work) {
    m_answers->async(std::move(work));
}

void SdkRuntime::track(const std::shared_ptr<KXDevice>& device) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_devices, [](const auto& weak) { return weak.expired(); });
    m_devices.push_back(device);
}
