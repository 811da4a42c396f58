#pragma once

#include "api/FileType.h"
#include "upload/MultiFileUploadManager.h"
#include "upload/SelectedUploadFile.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class FileUploader;
class Native2WebMessageSender;

// The page's upload of local files: the user picks files, the page hears what was picked, the
// files go to the upload queue, and every change of the queue is reported to the page
// ("upload-state", "upload-detail", "upload-progress", "upload-complete"). GUI thread only.
class PageUploadFlow {
public:
    // Shows the file chooser without blocking and answers once: the chosen paths, an empty list
    // when confirmed without files, nothing when cancelled.
    using FileChooser =
        std::function<void(std::function<void(const std::optional<QStringList>& paths)> done)>;

    struct Environment {
        MultiFileUploadManager* manager = nullptr;
        FileUploader* uploader = nullptr;
        Native2WebMessageSender* sender = nullptr;
        FileChooser chooseFiles;

        // The shared queue, uploader and sender; a file dialog in the Documents folder.
        static Environment shared();
    };

    explicit PageUploadFlow(Environment environment = Environment::shared());
    ~PageUploadFlow();
    PageUploadFlow(const PageUploadFlow&) = delete;
    PageUploadFlow& operator=(const PageUploadFlow&) = delete;

    MultiFileUploadManager& manager() const { return *m_environment.manager; }

    void showUploadFilePanel();
    void startSelectedUploads();

    void handleUploadFileSelection(const std::optional<QStringList>& paths);
    void announceSelectedFiles();
    void reportUploadTasks(const MultiFileUploadManager::TaskList& tasks);
    void reportAllUploadsDone();

    // A file as the page sees it; the long form adds "md5" (the uuid: no digest exists yet) and
    // "fileType".
    static QJsonObject uploadFileInfo(const SelectedUploadFile& file, bool longForm);
    // app for "apk", picture for the usual image kinds, else document; any letter case.
    static FileType fileTypeForName(const QString& fileName);
    static SelectedUploadFile selectedFileFor(const QString& path);

    // QFileDialog, modeless, several existing files.
    static void chooseFilesWithDialog(
        std::function<void(const std::optional<QStringList>& paths)> done);

private:
    void send(const QString& type, const QJsonValue& data);
    void reportUploadTask(const UploadTask& task);

    Environment m_environment;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    // Receives the queue's reports; made at the first start, gone with the flow.
    std::unique_ptr<QObject> m_reporting;
};
