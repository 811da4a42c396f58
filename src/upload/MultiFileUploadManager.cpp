#include "upload/MultiFileUploadManager.h"

#include "api/EmptyResponse.h"
#include "api/KXAPIResponse.h"
#include "api/KXNetworkManager.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/SerialQueue.h"
#include "foundation/logging/ConsoleOutput.h"
#include "upload/FileDigests.h"
#include "upload/FileUploader.h"

#include <QPointer>

#include <cmath>
#include <limits>

namespace {

using Envelope = KXAPIResponse<EmptyResponse>;

// The fraction as the progress line shows it: hundredths, truncated toward zero.
QString percentText(float fraction) {
    const float hundredfold = fraction * 100.0f;
    if (!std::isfinite(hundredfold) || hundredfold >= 2147483648.0f ||
        hundredfold < -2147483648.0f) {
        return QStringLiteral("0");
    }
    return QString::number(static_cast<int>(hundredfold));
}

qint32 clampedSize(qint64 size) {
    return static_cast<qint32>(std::clamp<qint64>(size, std::numeric_limits<qint32>::min(),
                                                  std::numeric_limits<qint32>::max()));
}

}  // namespace

MultiFileUploadManager& MultiFileUploadManager::shared() {
    static auto* instance =
        new MultiFileUploadManager(FileUploader::shared(), KXNetworkManager::shared());
    return *instance;
}

MultiFileUploadManager::MultiFileUploadManager(FileUploader& uploader, KXNetworkManager& network,
                                               ConsoleSink console, QObject* parent)
    : QObject(parent),
      m_uploader(uploader),
      m_network(network),
      m_console(std::move(console)),
      m_preparationQueue(
          std::make_unique<SerialQueue>(QStringLiteral("com.brisca.upload.preparation"))) {}

// A read still running finishes first; its answer finds the manager gone.
MultiFileUploadManager::~MultiFileUploadManager() = default;

void MultiFileUploadManager::console(const QString& line) const {
    ConsoleOutput::print(line, m_console);
}

void MultiFileUploadManager::notifyTasksUpdated() {
    Q_EMIT onTasksUpdated(m_uploadQueue);
}

void MultiFileUploadManager::setSelectedFiles(QList<SelectedUploadFile> files) {
    m_selectedFiles = std::move(files);
}

void MultiFileUploadManager::clearSelectedFiles() {
    m_selectedFiles.clear();
}

void MultiFileUploadManager::addFiles(const QList<SelectedUploadFile>& files) {
    for (const SelectedUploadFile& file : files) {
        auto task = std::make_shared<UploadTask>();
        task->id = file.uuid;
        task->fileURL = file.fileURL;
        task->fileSize = file.size;
        task->fileType = file.fileType;
        m_uploadQueue.append(std::move(task));
    }
    console(QStringLiteral("📝 已添加 %1 个上传任务，队列总数: %2")
                .arg(files.size())
                .arg(m_uploadQueue.size()));
    notifyTasksUpdated();
    processNextTask();
}

void MultiFileUploadManager::processNextTask() {
    if (m_currentUploadingTask || m_taskInFlight) {
        console(QStringLiteral("⏳ 已有任务正在上传，等待中..."));
        return;
    }
    for (const auto& task : m_uploadQueue) {
        if (task->status == FileUploadStatus::waiting) {
            startUpload(task);
            return;
        }
    }
    const bool allFinished = std::all_of(m_uploadQueue.begin(), m_uploadQueue.end(),
                                         [](const auto& task) { return task->isFinished(); });
    if (allFinished) {
        console(QStringLiteral("✅ 所有上传任务已完成"));
        Q_EMIT onAllTasksCompleted();
    }
}

void MultiFileUploadManager::startUpload(const std::shared_ptr<UploadTask>& task) {
    m_currentUploadingTask = task;
    m_taskInFlight = task;
    task->status = FileUploadStatus::uploading;
    notifyTasksUpdated();
    console(QStringLiteral("📤 开始上传: ") + task->fileName());
    prepareTask(task);
}

void MultiFileUploadManager::prepareTask(const std::shared_ptr<UploadTask>& task) {
    // The one read of the file: its MD5 goes to the check and the registration, both digests to
    // the signature, so all of them describe the same bytes.
    QPointer<MultiFileUploadManager> self(this);
    m_preparationQueue->async([self, task, path = task->fileURL.toLocalFile()] {
        Result<FileMD5AndSHA256> digests = fileMD5AndSHA256(path);
        MainQueue::async([self, task, digests = std::move(digests)] {
            if (!self) {
                return;
            }
            if (!digests) {
                self->failTask(task, digests.error());
                return;
            }
            self->checkFile(task, digests.value());
        });
    });
}

void MultiFileUploadManager::checkFile(const std::shared_ptr<UploadTask>& task,
                                       const FileMD5AndSHA256& digests) {
    const QString md5 = digestHex(digests.md5);
    task->md5 = md5;
    QPointer<MultiFileUploadManager> self(this);
    m_network.request<Envelope>(XDYGlobalAPI::fileCheck(md5), std::nullopt,
                                [self, task, digests](Result<Envelope, NetworkError> reply) {
                                    if (!self) {
                                        return;
                                    }
                                    if (reply.ok() && reply.value().isSuccess()) {
                                        self->performUpload(task, digests);
                                        return;
                                    }
                                    task->status = FileUploadStatus::failed;
                                    task->errorMessage = QStringLiteral("文件校验失败");
                                    self->endTask(task);
                                });
}

void MultiFileUploadManager::performUpload(const std::shared_ptr<UploadTask>& task,
                                           const FileMD5AndSHA256& digests) {
    QPointer<MultiFileUploadManager> self(this);
    m_uploader.updateAuthCredentialIfNeeded([self, task, digests] {
        if (!self) {
            return;
        }
        const QString fileName = task->fileName();
        self->m_uploader.uploadFile(
            fileName, task->fileURL.toLocalFile(), digests,
            [self, task, fileName](float fraction, const QString& speed, const QString& remaining) {
                task->progress = static_cast<double>(fraction);
                task->speed = speed;
                task->remainingTime = remaining;
                const QString line = QStringLiteral("📊 [%1] 进度: %2% | 速度: %3 | 剩余: %4")
                                         .arg(fileName, percentText(fraction), speed, remaining);
                if (!self) {
                    ConsoleOutput::print(line);
                    return;
                }
                self->console(line);
                self->notifyTasksUpdated();
            },
            [self, task, fileName](const QString&, const std::optional<Error>& error,
                                   const QString& objectURL, bool success) {
                if (!self) {
                    return;
                }
                if (!success) {
                    task->status = FileUploadStatus::failed;
                    task->errorMessage = error ? error->message : QStringLiteral("未知错误");
                    self->console(
                        QStringLiteral("❌ [%1] 上传失败: %2").arg(fileName, *task->errorMessage));
                    self->endTask(task);
                    return;
                }
                task->uploadedURL = objectURL;
                task->progress = 1.0;
                self->console(QStringLiteral("✅ [%1] OBS 上传成功，正在登记文件信息: %2")
                                  .arg(fileName, objectURL));
                self->registerUploadedFile(task);
            });
    });
}

void MultiFileUploadManager::registerUploadedFile(const std::shared_ptr<UploadTask>& task) {
    if (!task->uploadedURL || !task->md5) {
        finishRegistration(task, Error{FileUploader::kErrorDomain, -1,
                                       QStringLiteral("上传结果缺少文件地址或 MD5")});
        return;
    }
    const QString fileName = task->fileName();
    console(QStringLiteral("📋 上传文件信息: %1 -> %2").arg(fileName, *task->uploadedURL));
    QPointer<MultiFileUploadManager> self(this);
    m_network.request<Envelope>(
        XDYGlobalAPI::fileUpload(*task->md5, fileName, *task->uploadedURL,
                                 clampedSize(task->fileSize), task->fileType, fileName),
        std::nullopt, [self, task](Result<Envelope, NetworkError> reply) {
            if (!self) {
                return;
            }
            std::optional<Error> error;
            if (!reply.ok()) {
                error = Error{FileUploader::kErrorDomain, -1, reply.error().errorDescription()};
            } else if (!reply.value().isSuccess()) {
                const Envelope& envelope = reply.value();
                error = Error{FileUploader::kErrorDomain,
                              envelope.code ? static_cast<int>(*envelope.code) : -1,
                              envelope.msg.value_or(QStringLiteral("文件信息登记失败"))};
            }
            self->finishRegistration(task, error);
        });
}

void MultiFileUploadManager::finishRegistration(const std::shared_ptr<UploadTask>& task,
                                                const std::optional<Error>& error) {
    QPointer<MultiFileUploadManager> self(this);
    MainQueue::async(this, [self, task, error] {
        if (!self) {
            return;
        }
        if (!error) {
            task->status = FileUploadStatus::success;
            self->console(QStringLiteral("✅ [%1] 文件信息登记成功").arg(task->fileName()));
        } else {
            task->status = FileUploadStatus::failed;
            task->errorMessage = error->message;
            self->console(QStringLiteral("❌ 文件信息登记失败: ") + error->message);
        }
        self->endTask(task);
    });
}

void MultiFileUploadManager::failTask(const std::shared_ptr<UploadTask>& task, const Error& error) {
    task->status = FileUploadStatus::failed;
    task->errorMessage = error.message;
    endTask(task);
}

void MultiFileUploadManager::endTask(const std::shared_ptr<UploadTask>& task) {
    if (m_taskInFlight == task) {
        m_taskInFlight.reset();
    }
    if (m_currentUploadingTask == task) {
        m_currentUploadingTask.reset();
    }
    notifyTasksUpdated();
    processNextTask();
}

void MultiFileUploadManager::cancelTask(const QString& id) {
    const auto found = std::find_if(m_uploadQueue.begin(), m_uploadQueue.end(),
                                    [&id](const auto& task) { return task->id == id; });
    if (found == m_uploadQueue.end() || (*found)->status != FileUploadStatus::waiting) {
        return;
    }
    const QString fileName = (*found)->fileName();
    m_uploadQueue.erase(found);
    console(QStringLiteral("🚫 已取消任务: ") + fileName);
    notifyTasksUpdated();
}

void MultiFileUploadManager::clearQueue() {
    m_uploadQueue.clear();
    m_currentUploadingTask.reset();
    m_selectedFiles.clear();
    notifyTasksUpdated();
    console(QStringLiteral("🗑️ 已清空上传队列"));
}

MultiFileUploadManager::Statistics MultiFileUploadManager::uploadStatistics() const {
    Statistics statistics;
    statistics.total = static_cast<int>(m_uploadQueue.size());
    for (const auto& task : m_uploadQueue) {
        switch (task->status) {
            case FileUploadStatus::waiting:
                ++statistics.waiting;
                break;
            case FileUploadStatus::uploading:
                ++statistics.uploading;
                break;
            case FileUploadStatus::success:
                ++statistics.success;
                break;
            case FileUploadStatus::failed:
                ++statistics.failed;
                break;
        }
    }
    return statistics;
}
