#pragma once

#include "foundation/Result.h"
#include "upload/SelectedUploadFile.h"
#include "upload/UploadTask.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class FileUploader;
class KXNetworkManager;
class SerialQueue;

// Takes the chosen files one at a time through digest, file check, credential, upload and
// registration, keeping each task's state for the page. Lives on the GUI thread; only the
// digest and the wait for the file check run on the preparation queue.
class MultiFileUploadManager : public QObject {
    Q_OBJECT

public:
    using TaskList = QList<std::shared_ptr<UploadTask>>;
    using ConsoleSink = std::function<void(const QString& line)>;

    struct Statistics {
        int total = 0;
        int waiting = 0;
        int uploading = 0;
        int success = 0;
        int failed = 0;
        bool operator==(const Statistics&) const = default;
    };

    static MultiFileUploadManager& shared();

    MultiFileUploadManager(FileUploader& uploader, KXNetworkManager& network,
                           ConsoleSink console = {}, QObject* parent = nullptr);
    ~MultiFileUploadManager() override;

    QList<SelectedUploadFile> selectedFiles;
    const int maxConcurrentUploads = 1;
    std::function<void(const TaskList&)> onTasksUpdated;
    std::function<void()> onAllTasksCompleted;

    const TaskList& uploadQueue() const { return m_uploadQueue; }
    std::shared_ptr<UploadTask> currentUploadingTask() const { return m_currentUploadingTask; }

    void addFiles(const QList<SelectedUploadFile>& files);
    void cancelTask(const QString& id);
    void clearQueue();
    Statistics uploadStatistics() const;

private:
    void processNextTask();
    void startUpload(const std::shared_ptr<UploadTask>& task);
    void prepareTask(const std::shared_ptr<UploadTask>& task);
    void performUpload(const std::shared_ptr<UploadTask>& task);
    void registerUploadedFile(const std::shared_ptr<UploadTask>& task);
    void finishRegistration(const std::shared_ptr<UploadTask>& task,
                            const std::optional<Error>& error);
    void failTask(const std::shared_ptr<UploadTask>& task, const Error& error);
    void endTask(const std::shared_ptr<UploadTask>& task);
    void notifyTasksUpdated();
    void console(const QString& line) const;

    FileUploader& m_uploader;
    KXNetworkManager& m_network;
    ConsoleSink m_console;
    TaskList m_uploadQueue;
    std::shared_ptr<UploadTask> m_currentUploadingTask;
    // The task whose work is still running; a clear forgets the current task but not this, so
    // files added after a clear wait for it.
    std::shared_ptr<UploadTask> m_taskInFlight;
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<SerialQueue> m_preparationQueue;
};
