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
#include <QSemaphore>

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

MultiFileUploadManager::~MultiFileUploadManager() {
    m_stopping.store(true);
    m_preparationQueue.reset();
}

void MultiFileUploadManager::console(const QString& line) const {
    if (m_console) {
        m_console(line);
    } else {
        ConsoleOutput::print(line);
    }
}

void MultiFileUploadManager::notifyTasksUpdated() {
    if (onTasksUpdated) {
        onTasksUpdated(m_uploadQueue);
    }
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
        if (onAllTasksCompleted) {
            onAllTasksCompleted();
        }
    }
}

void MultiFileUploadManager::startUpload(const std::shared_ptr<UploadTask>& task) {
    m_currentUploadingTask = task;
    m_taskInFlight = task;
    task->status = FileUploadStatus::uploading;
    notifyTasksUpdated();
    console(QStringLiteral("📤 开始上传: ") + task->fileName());
    QPointer<MultiFileUploadManager> self(this);
    m_preparationQueue->async([self, task] {
        if (self) {
            self->prepareTask(task);
        }
    });
}

void MultiFileUploadManager::prepareTask(const std::shared_ptr<UploadTask>& task) {
    QPointer<MultiFileUploadManager> self(this);
    const Result<QByteArray> digest = fileMD5(task->fileURL.toLocalFile());
    if (!digest) {
        MainQueue::async(this, [self, task, error = digest.error()] {
            if (self) {
                self->failTask(task, error);
            }
        });
        return;
    }
    const QString md5 = digestHex(digest.value());

    // The check's completion runs on the GUI thread, which never waits for this queue.
    auto signal = std::make_shared<QSemaphore>(0);
    auto passed = std::make_shared<bool>(false);
    m_network.request<Envelope>(XDYGlobalAPI::fileCheck(md5), std::nullopt,
                                [signal, passed](Result<Envelope, NetworkError> reply) {
                                    *passed = reply.ok() && reply.value().isSuccess();
                                    signal->release();
                                });
    // Without a limit of its own (the client's time-outs bound it), except that a manager being
    // destroyed must not wait for a reply its own thread can no longer deliver.
    while (!signal->tryAcquire(1, 50)) {
        if (m_stopping.load()) {
            return;
        }
    }

    MainQueue::async(this, [self, task, md5, passed = *passed] {
        if (!self) {
            return;
        }
        // Written here rather than on the preparation queue so that observers of the task,
        // all on the GUI thread, never race with it.
        task->md5 = md5;
        if (passed) {
            self->performUpload(task);
            return;
        }
        task->status = FileUploadStatus::failed;
        task->errorMessage = QStringLiteral("文件校验失败");
        self->endTask(task);
    });
}

void MultiFileUploadManager::performUpload(const std::shared_ptr<UploadTask>& task) {
    QPointer<MultiFileUploadManager> self(this);
    m_uploader.updateAuthCredentialIfNeeded([self, task] {
        if (!self) {
            return;
        }
        const QString fileName = task->fileName();
        self->m_uploader.uploadFile(
            fileName, task->fileURL.toLocalFile(),
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
    selectedFiles.clear();
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
