#pragma once

#include "foundation/json/Result.h"
#include "upload/SelectedUploadFile.h"
#include "upload/UploadTask.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class FileUploader;
class KXNetworkManager;
class SerialQueue;
struct FileMD5AndSHA256;

// Takes the chosen files one at a time through digests, file check, credential, upload and
// registration, keeping each task's state for the page. Each task is one chain of steps, each
// started by the previous one's answer; no thread blocks waiting for a reply. Lives on the GUI
// thread; only the one read of the file for both digests runs on the preparation queue.
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

    const int maxConcurrentUploads = 1;

    // The files last chosen on the page, kept until the next choice, a cancelled panel or a queue
    // clear; each start of the page's upload queues them.
    const QList<SelectedUploadFile>& selectedFiles() const { return m_selectedFiles; }
    void setSelectedFiles(QList<SelectedUploadFile> files);
    void clearSelectedFiles();

    const TaskList& uploadQueue() const { return m_uploadQueue; }
    std::shared_ptr<UploadTask> currentUploadingTask() const { return m_currentUploadingTask; }

    void addFiles(const QList<SelectedUploadFile>& files);
    void cancelTask(const QString& id);
    void clearQueue();
    Statistics uploadStatistics() const;

Q_SIGNALS:
    // The whole queue after any change of a task; on the GUI thread.
    void onTasksUpdated(const MultiFileUploadManager::TaskList& tasks);
    // No task is left waiting or uploading.
    void onAllTasksCompleted();

private:
    void processNextTask();
    void startUpload(const std::shared_ptr<UploadTask>& task);
    void prepareTask(const std::shared_ptr<UploadTask>& task);
    void checkFile(const std::shared_ptr<UploadTask>& task, const FileMD5AndSHA256& digests);
    void performUpload(const std::shared_ptr<UploadTask>& task, const FileMD5AndSHA256& digests);
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
    QList<SelectedUploadFile> m_selectedFiles;
    TaskList m_uploadQueue;
    std::shared_ptr<UploadTask> m_currentUploadingTask;
    // The task whose work is still running; a clear forgets the current task but not this, so
    // files added after a clear wait for it.
    std::shared_ptr<UploadTask> m_taskInFlight;
    std::unique_ptr<SerialQueue> m_preparationQueue;
};
