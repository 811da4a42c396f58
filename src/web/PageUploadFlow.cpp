#include "web/PageUploadFlow.h"

#include "foundation/logging/KXLog.h"
#include "foundation/storage/DocumentsRoot.h"
#include "upload/FileUploader.h"
#include "web/Native2WebMessageSender.h"
#include "web/Native2WebMessageType.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace {

void logInfo(const QString& text) {
    KXLog(text, LogTag::web, LogLevel::info);
}

}  // namespace

PageUploadFlow::Environment PageUploadFlow::Environment::shared() {
    return Environment{&MultiFileUploadManager::shared(), &FileUploader::shared(),
                       &Native2WebMessageSender::shared(), &PageUploadFlow::chooseFilesWithDialog};
}

PageUploadFlow::PageUploadFlow(Environment environment) : m_environment(std::move(environment)) {}

PageUploadFlow::~PageUploadFlow() = default;

void PageUploadFlow::chooseFilesWithDialog(
    std::function<void(const std::optional<QStringList>& paths)> done) {
    auto* dialog = new QFileDialog(nullptr, QStringLiteral("请选择要上传的文件（可多选）"),
                                   documentsRootPath());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(dialog, &QFileDialog::filesSelected, dialog,
                     [done, answered](const QStringList& paths) {
                         *answered = true;
                         done(paths);
                     });
    QObject::connect(dialog, &QFileDialog::finished, dialog, [done, answered](int) {
        if (!*answered) {
            *answered = true;
            done(std::nullopt);
        }
    });
    dialog->open();
}

FileType PageUploadFlow::fileTypeForName(const QString& fileName) {
    static const QStringList pictures{QStringLiteral("png"),  QStringLiteral("jpg"),
                                      QStringLiteral("jpeg"), QStringLiteral("gif"),
                                      QStringLiteral("bmp"),  QStringLiteral("tiff"),
                                      QStringLiteral("heic")};
    const QString extension = QFileInfo(fileName).suffix().toLower();
    if (extension == QStringLiteral("apk")) {
        return FileType::app;
    }
    return pictures.contains(extension) ? FileType::picture : FileType::document;
}

SelectedUploadFile PageUploadFlow::selectedFileFor(const QString& path) {
    SelectedUploadFile file;
    file.fileURL = QUrl::fromLocalFile(path);
    file.uuid = QUuid::createUuid().toString(QUuid::Id128).toLower();
    file.size = QFileInfo(path).size();
    file.fileType = fileTypeForName(path);
    return file;
}

QJsonObject PageUploadFlow::uploadFileInfo(const SelectedUploadFile& file, bool longForm) {
    QJsonObject info{{QStringLiteral("size"), file.size},
                     {QStringLiteral("fileName"), file.fileURL.fileName()},
                     {QStringLiteral("uuid"), file.uuid}};
    if (longForm) {
        info.insert(QStringLiteral("md5"), file.uuid);
        info.insert(QStringLiteral("fileType"), rawValue(file.fileType));
    }
    return info;
}

void PageUploadFlow::showUploadFilePanel() {
    const std::weak_ptr<int> alive = m_alive;
    m_environment.chooseFiles([this, alive](const std::optional<QStringList>& paths) {
        if (!alive.expired()) {
            handleUploadFileSelection(paths);
        }
    });
}

void PageUploadFlow::handleUploadFileSelection(const std::optional<QStringList>& paths) {
    if (!paths) {
        logInfo(QStringLiteral("用户取消了选择"));
        manager().clearSelectedFiles();
        return;
    }
    if (paths->isEmpty()) {
        KXLog(QStringLiteral("⚠️ 未选择任何文件"), LogTag::web, LogLevel::warning);
        return;
    }
    logInfo(QStringLiteral("📁 选择了 ") + QString::number(paths->size()) +
            QStringLiteral(" 个文件:"));
    QList<SelectedUploadFile> files;
    for (const QString& path : *paths) {
        files << selectedFileFor(path);
    }
    manager().setSelectedFiles(std::move(files));
    announceSelectedFiles();
}

void PageUploadFlow::announceSelectedFiles() {
    logInfo(QStringLiteral("执行后续操作..."));
    QJsonArray shortForms;
    QJsonArray longForms;
    for (const SelectedUploadFile& file : manager().selectedFiles()) {
        shortForms.append(uploadFileInfo(file, false));
        longForms.append(uploadFileInfo(file, true));
    }
    const QString state = native2WebMessageTypeText(Native2WebMessageType::uploadState);
    send(state, QJsonObject{{QStringLiteral("state"), QStringLiteral("choose")},
                            {QStringLiteral("files"), shortForms}});
    send(native2WebMessageTypeText(Native2WebMessageType::uploadDetail), longForms);
    for (const SelectedUploadFile& file : manager().selectedFiles()) {
        send(state, QJsonObject{{QStringLiteral("state"), QStringLiteral("ready")},
                                {QStringLiteral("uuid"), file.uuid}});
    }
}

void PageUploadFlow::startSelectedUploads() {
    MultiFileUploadManager* manager = m_environment.manager;
    m_environment.uploader->updateAuthCredentialIfNeeded([manager] {
        logInfo(QStringLiteral("凭证获取成功，请选择文件"));
        manager->addFiles(manager->selectedFiles());
    });
    // Once per flow, from its first start on; the queue reports on the GUI thread, so the page
    // hears of each change as it happens.
    if (!m_reporting) {
        m_reporting = std::make_unique<QObject>();
        QObject::connect(
            manager, &MultiFileUploadManager::onTasksUpdated, m_reporting.get(),
            [this](const MultiFileUploadManager::TaskList& tasks) { reportUploadTasks(tasks); });
        QObject::connect(manager, &MultiFileUploadManager::onAllTasksCompleted, m_reporting.get(),
                         [this] { reportAllUploadsDone(); });
    }
}

void PageUploadFlow::reportUploadTasks(const MultiFileUploadManager::TaskList& tasks) {
    const MultiFileUploadManager::Statistics statistics = manager().uploadStatistics();
    logInfo(QStringLiteral("📊 上传统计 - 总数: ") + QString::number(statistics.total) +
            QStringLiteral(" | 等待: ") + QString::number(statistics.waiting) +
            QStringLiteral(" | 上传中: ") + QString::number(statistics.uploading) +
            QStringLiteral(" | 成功: ") + QString::number(statistics.success) +
            QStringLiteral(" | 失败: ") + QString::number(statistics.failed));
    for (const std::shared_ptr<UploadTask>& task : tasks) {
        if (task) {
            reportUploadTask(*task);
        }
    }
}

void PageUploadFlow::reportUploadTask(const UploadTask& task) {
    const double fraction =
        std::isfinite(task.progress) ? std::clamp(task.progress, 0.0, 1.0) : 0.0;
    send(native2WebMessageTypeText(Native2WebMessageType::uploadProgress),
         QJsonObject{{QStringLiteral("uuid"), task.id},
                     {QStringLiteral("progress"), static_cast<int>(fraction * 100)}});
    if (task.status != FileUploadStatus::success || !task.md5 || !task.uploadedURL) {
        return;
    }
    send(native2WebMessageTypeText(Native2WebMessageType::uploadComplete),
         QJsonObject{{QStringLiteral("uuid"), task.id},
                     {QStringLiteral("uploadFlag"), true},
                     {QStringLiteral("md5"), *task.md5},
                     {QStringLiteral("cdnPath"), *task.uploadedURL},
                     {QStringLiteral("clientCode"), 0},
                     {QStringLiteral("obsCode"), 0},
                     {QStringLiteral("serverCheckCode"), 0},
                     {QStringLiteral("serverUploadCode"), 0},
                     {QStringLiteral("msg"), QString()}});
}

void PageUploadFlow::reportAllUploadsDone() {
    const MultiFileUploadManager::Statistics statistics = manager().uploadStatistics();
    logInfo(QStringLiteral("🎉 所有文件上传完成!"));
    logInfo(QStringLiteral("   成功: ") + QString::number(statistics.success) +
            QStringLiteral(" 个"));
    logInfo(QStringLiteral("   失败: ") + QString::number(statistics.failed) +
            QStringLiteral(" 个"));
}

void PageUploadFlow::send(const QString& type, const QJsonValue& data) {
    m_environment.sender->send(Native2WebMessage{type, std::nullopt, data, std::nullopt});
}
