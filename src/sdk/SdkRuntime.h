#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class KXDevice;
class SerialQueue;

// The SDK's process-wide state between `KXClient::sdkInit` and `KXClient::sdkCleanup`: the log
// folder, the devices still open, and the thread on which the SDK answers for itself.
class SdkRuntime {
public:
    static SdkRuntime& instance();

    SdkRuntime();
    ~SdkRuntime();

    void init(const QString& logFolder);
    // Closes every device still open; afterwards the SDK refuses work until the next init.
    void cleanup();
    bool isInitialized() const;
    QString logFolder() const;

    // Appends a line to the SDK's log file in the log folder.
    void log(const QString& line);

    // Runs `work` on the SDK's own answer thread, never on the caller's.
    void answer(std::function<void()> work);

    void track(const std::shared_ptr<KXDevice>& device);

private:
    mutable std::mutex m_mutex;
    bool m_initialized = false;
    QString m_logFolder;
    std::vector<std::weak_ptr<KXDevice>> m_devices;
    std::unique_ptr<SerialQueue> m_answers;
};
