#include "app/WebContentManager.h"

#include "app/WebPackageDownloader.h"
#include "app/WebPackageInstaller.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/SerialQueue.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/FileExtensions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path nativePath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString errorText(const std::error_code& code, const fs::path& path) {
    return QString::fromLocal8Bit(code.message()) + QStringLiteral(": ") +
           QFile::decodeName(path.c_str());
}

Error webContentError(int code, const QString& message) {
    return Error{QStringLiteral("WebContentManager"), code, message};
}

}  // namespace

struct WebContentManager::InstallRequest {
    quint64 generation = 0;
    QString version;
    WebPackageInstaller::Job job;
};

WebContentManager& WebContentManager::shared() {
    static WebContentManager* instance = new WebContentManager();
    return *instance;
}

WebContentManager::WebContentManager(Options options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_downloader(new WebPackageDownloader(this)),
      m_installQueue(
          std::make_unique<SerialQueue>(QStringLiteral("com.brisca.webContent.install"))) {
    if (m_options.builtInPackageFolder.isEmpty()) {
        m_options.builtInPackageFolder =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pc"));
    }
    if (m_options.temporaryFolder.isEmpty()) {
        m_options.temporaryFolder = QDir::tempPath();
    }
    if (m_options.sandboxDocumentsPath) {
        m_pathManager.sandboxDocumentsPath = *m_options.sandboxDocumentsPath;
    }
    m_activeWebVersion = WebContentPathManager::sanitizeVersion(
        settings().string(SettingKey::webVersion).value_or(QStringLiteral("1.0")));
    m_downloader->setRetryUnit(m_options.retryUnit);
    m_downloader->setTemporaryFolder(m_options.temporaryFolder);
    connectDownloader();

    ensureWebContentFolder();
    installBuiltInWebPackage();
    prepareWebContent();
}

WebContentManager::~WebContentManager() {
    // Lets a running installation end before the members it reports to go away.
    m_installQueue.reset();
}

SettingsManager& WebContentManager::settings() const {
    return m_options.settings ? *m_options.settings : SettingsManager::shared();
}

WebContentPathManager WebContentManager::pathManager() const {
    std::lock_guard lock(m_pathMutex);
    return m_pathManager;
}

QString WebContentManager::webContentRootPath() const {
    return pathManager().webContentRootPath();
}

QString WebContentManager::temporaryZipPath() const {
    return QDir(m_options.temporaryFolder).filePath(WebPackageInstaller::kTemporaryZipName);
}

void WebContentManager::setReady(bool ready) {
    if (m_isReady != ready) {
        m_isReady = ready;
        Q_EMIT isReadyChanged(ready);
    }
}

void WebContentManager::setProgressRecord(const DownloadProgress& progress) {
    m_progress = progress;
    Q_EMIT progressChanged(m_progress);
}

// ---- Start-up work --------------------------------------------------------------------------

void WebContentManager::ensureWebContentFolder() {
    migrateLegacyWebContent();
    createFolder(webContentRootPath());
}

void WebContentManager::migrateLegacyWebContent() {
    const WebContentPathManager paths = pathManager();
    const QString source =
        QDir(paths.sandboxDocumentsPath).filePath(WebContentPathManager::webContentFolderName);
    const QString target = paths.webContentRootPath();
    if (!QFileInfo(source).isDir() || QDir::cleanPath(source) == QDir::cleanPath(target) ||
        QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath()) {
        return;
    }
    std::error_code code;
    const fs::path sourceFolder = nativePath(source);
    const fs::path targetFolder = nativePath(target);
    const auto warn = [](const QString& text) {
        LogWarning(QStringLiteral("⚠️ 迁移 KXVWebContent 失败: ") + text, LogTag::app);
    };
    if (!createFolder(target)) {
        return warn(errorText(std::error_code(errno, std::generic_category()), targetFolder));
    }
    const std::vector<fs::path> items = WebPackageInstaller::folderItems(sourceFolder, code);
    if (code) {
        return warn(errorText(code, sourceFolder));
    }
    for (const fs::path& item : items) {
        const fs::path destination = targetFolder / item.filename();
        std::error_code ignored;
        if (fs::exists(fs::symlink_status(destination, ignored))) {
            // The copy already in the real folder wins.
            fs::remove_all(item, code);
        } else {
            WebPackageInstaller::moveItem(item, destination, code);
        }
        if (code) {
            return warn(errorText(code, item));
        }
    }
    if (fs::is_empty(sourceFolder, code) && !code) {
        fs::remove(sourceFolder, code);
    }
    LogInfo(QStringLiteral("📦 已迁移 KXVWebContent 到文稿目录: ") + target, LogTag::app);
}

bool WebContentManager::installBuiltInWebPackage() {
    const WebContentPathManager paths = pathManager();
    if (paths.webPathEntryFor(builtInWebVersion)) {
        return true;
    }
    const QString source = m_options.builtInPackageFolder;
    if (!QFileInfo(QDir(source).filePath(QStringLiteral("index.html"))).isFile()) {
        LogWarning(QStringLiteral("⚠️ 未找到内置 Web 包 pc/index.html，Bundle=") +
                       QFileInfo(source).absolutePath(),
                   LogTag::app);
        return false;
    }
    const QString versionFolder = *paths.versionFolderPath(builtInWebVersion);
    const fs::path folder = nativePath(versionFolder);
    std::error_code code;
    fs::remove_all(folder, code);
    if (!code && !createFolder(versionFolder)) {
        code = std::error_code(errno, std::generic_category());
    }
    if (!code) {
        fs::copy(nativePath(source), folder / "pc", fs::copy_options::recursive, code);
    }
    if (!code) {
        // The copy takes the modes of the application folder, whoever could write there.
        removeGroupAndOtherWrite(versionFolder);
    }
    if (code) {
        LogWarning(QStringLiteral("⚠️ 安装内置 Web 包失败: ") + errorText(code, folder),
                   LogTag::app);
        return false;
    }
    LogInfo(QStringLiteral("📦 已安装内置 Web 包 0.6.87: ") +
                QDir(versionFolder).filePath(QStringLiteral("pc")),
            LogTag::app);
    return paths.webPathEntryFor(builtInWebVersion).has_value();
}

std::optional<QString> WebContentManager::resolveActiveWebVersion() {
    const QString configured =
        settings().string(SettingKey::webVersion).value_or(m_activeWebVersion);
    LogInfo(logPrefix + QStringLiteral(" 当前配置 webVersion=") + configured +
                QStringLiteral(", activeWebVersion=") + m_activeWebVersion,
            LogTag::web);
    const std::optional<QString> resolved = pathManager().resolveVersion(configured);
    if (!resolved) {
        LogError(logPrefix + QStringLiteral(" resolveActiveWebVersion 返回 nil"), LogTag::web);
        return std::nullopt;
    }
    m_activeWebVersion = *resolved;
    LogInfo(logPrefix + QStringLiteral(" 最终使用版本: ") + *resolved, LogTag::web);
    return resolved;
}

void WebContentManager::prepareWebContent() {
    const bool ready = resolveActiveWebVersion().has_value();
    setReady(ready);
    if (!ready) {
        updateProgress(DownloadStep::idle, std::nullopt, std::nullopt,
                       QStringLiteral("No web content found"));
        return;
    }
    std::optional<QUrl> entry;
    if (const std::optional<QString> version = resolveActiveWebVersion()) {
        entry = pathManager().webPathEntryFor(*version);
    }
    updateProgress(DownloadStep::completed, std::nullopt, std::nullopt,
                   QStringLiteral("Web content ready: ") +
                       (entry ? entry->toLocalFile() : QStringLiteral("-")));
}

// ---- Progress --------------------------------------------------------------------------------

void WebContentManager::updateProgress(DownloadStep step, std::optional<double> downloadFraction,
                                       std::optional<double> extractionFraction,
                                       std::optional<QString> message) {
    // Updates queued before a new start are dropped: the start owns the progress from then on.
    publish(m_generation.load(), step, downloadFraction, extractionFraction, std::move(message));
}

void WebContentManager::publish(quint64 generation, DownloadStep step,
                                std::optional<double> downloadFraction,
                                std::optional<double> extractionFraction,
                                std::optional<QString> message) {
    MainQueue::async(this, [this, generation, step, downloadFraction, extractionFraction,
                            message = std::move(message)] {
        if (generation == m_generation) {
            applyProgress(step, downloadFraction, extractionFraction, message);
        }
    });
}

void WebContentManager::applyProgress(DownloadStep step, std::optional<double> downloadFraction,
                                      std::optional<double> extractionFraction,
                                      const std::optional<QString>& message) {
    const bool stepChanged = step != m_progress.currentStep;
    m_progress.currentStep = step;
    // Copies: a callback may start a new download, which replaces `m_completion`.
    if (const auto onStepChanged = m_completion.onStepChanged; stepChanged && onStepChanged) {
        onStepChanged(step);
    }
    if (downloadFraction) {
        m_progress.downloadProgress = *downloadFraction;
        if (m_downloadProgress != *downloadFraction) {
            m_downloadProgress = *downloadFraction;
            Q_EMIT downloadProgressChanged(m_downloadProgress);
        }
    }
    if (extractionFraction) {
        m_progress.extractionProgress = *extractionFraction;
    }
    if (message) {
        m_progress.statusMessage = *message;
        if (m_statusMessage != *message) {
            m_statusMessage = *message;
            Q_EMIT statusMessageChanged(m_statusMessage);
        }
    }
    m_progress.overallProgress =
        overallProgressFor(step, m_progress.downloadProgress, m_progress.extractionProgress,
                           m_progress.overallProgress);
    const bool downloading = step == DownloadStep::downloading;
    const bool extracting = step == DownloadStep::extracting;
    const bool processing = downloading || extracting || step == DownloadStep::cleaning;
    if (m_isDownloading != downloading) {
        m_isDownloading = downloading;
        Q_EMIT isDownloadingChanged(downloading);
    }
    if (m_isExtracting != extracting) {
        m_isExtracting = extracting;
        Q_EMIT isExtractingChanged(extracting);
    }
    if (m_isProcessing != processing) {
        m_isProcessing = processing;
        Q_EMIT isProcessingChanged(processing);
    }
    Q_EMIT progressChanged(m_progress);
    if (const auto onProgress = m_completion.onProgress) {
        onProgress(m_progress);
    }
    logProgress();
}

void WebContentManager::logProgress() const {
    LogInfo(progressLogLine(m_progress), LogTag::app);
}

Result<void> WebContentManager::validateDownloadedZip(const QString& filePath, int httpStatus,
                                                      const QString& mimeType) {
    return WebPackageInstaller::validateDownloadedZip(filePath, httpStatus, mimeType);
}

// ---- Download --------------------------------------------------------------------------------

void WebContentManager::connectDownloader() {
    WebPackageDownloader::Callbacks callbacks;
    callbacks.attemptStarted = [this](int retryCount) {
        m_retryCount = retryCount;
        publish(m_generation, DownloadStep::downloading, 0.0, std::nullopt,
                retryCount == 0 ? QStringLiteral("开始下载...")
                                : QStringLiteral("正在重试下载（第 %1/%2 次）...")
                                      .arg(retryCount + 1)
                                      .arg(WebPackageDownloader::kMaxAttempts));
    };
    callbacks.progressed = [this](qint64 written, qint64 expected) {
        const double writtenMB = static_cast<double>(written) / 1024.0 / 1024.0;
        double fraction = 0.0;
        QString amount;
        if (expected <= 0) {
            amount = QString::asprintf("%.1f MB", writtenMB);
        } else {
            fraction = static_cast<double>(written) / static_cast<double>(expected);
            amount = QString::asprintf("%.1f/%.1f MB", writtenMB,
                                       static_cast<double>(expected) / 1024.0 / 1024.0);
        }
        publish(m_generation, DownloadStep::downloading, fraction, std::nullopt,
                QStringLiteral("正在下载... ") + amount);
    };
    callbacks.retryScheduled = [this](int retryNumber, const Error&) {
        m_retryCount = retryNumber;
        publish(m_generation, DownloadStep::downloading, 0.0, std::nullopt,
                QStringLiteral("下载失败，%1 秒后进行第 %2/%3 次尝试...")
                    .arg(retryNumber)
                    .arg(retryNumber + 1)
                    .arg(WebPackageDownloader::kMaxAttempts));
    };
    callbacks.finished = [this](const QString& downloadedFile, int httpStatus,
                                const QString& mimeType) {
        publish(m_generation, DownloadStep::downloaded, std::nullopt, std::nullopt,
                QStringLiteral("下载完成，准备解压..."));
        InstallRequest request;
        request.generation = m_generation;
        request.version = m_activeWebVersion;
        request.job.logPrefix = logPrefix;
        request.job.targetFolder =
            pathManager().versionFolderPath(m_activeWebVersion).value_or(QString());
        request.job.zipPath = temporaryZipPath();
        request.job.downloadedFile = downloadedFile;
        request.job.httpStatus = httpStatus == 0 ? -1 : httpStatus;
        request.job.mimeType = mimeType.isEmpty() ? QStringLiteral("-") : mimeType;
        queueInstall(request);
    };
    callbacks.failed = [this](const Error& error) { reportDownloadFailure(error); };
    m_downloader->setCallbacks(std::move(callbacks));
}

void WebContentManager::failAtOnce(const Error& error, const DownloadCompletion& completion) {
    m_progress.error = error;
    Q_EMIT progressChanged(m_progress);
    updateProgress(DownloadStep::failed, std::nullopt, std::nullopt, error.message);
    if (completion.onFailed) {
        completion.onFailed(error);
    }
}

void WebContentManager::startWebPackageDownload(const QString& urlString, const QString& version,
                                                DownloadCompletion completion) {
    const QUrl url(urlString, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || urlString.trimmed().isEmpty()) {
        return failAtOnce(webContentError(-1, QStringLiteral("Web 包下载地址无效：") + urlString),
                          completion);
    }
    const QString sanitized = WebContentPathManager::sanitizeVersion(version);
    if (!WebContentPathManager::isUsableVersionName(sanitized)) {
        // "", "." or ".." would name the web-content root or the documents folder itself.
        return failAtOnce(webContentError(-6, QStringLiteral("Web 包版本无效：") + version),
                          completion);
    }

    // A new start replaces the old one whole: its transfer, pending retry and callbacks.
    m_downloader->cancel();
    ++m_generation;
    m_completion = std::move(completion);
    m_activeWebVersion = sanitized;

    if (const std::optional<QUrl> entry = pathManager().webPathEntryFor(sanitized)) {
        setReady(true);
        publish(m_generation, DownloadStep::completed, std::nullopt, std::nullopt,
                QStringLiteral("Web content ready: ") + entry->toLocalFile());
        notifyDownloadCompleted(*entry);
        return;
    }
    setProgressRecord(DownloadProgress{});
    m_downloadURL = url;
    m_retryCount = 0;
    // Nothing is fetched that could not be kept: the folder's own failure is the reason given.
    if (const Result<void> writable =
            WebPackageInstaller::ensureWritableFolder(webContentRootPath());
        !writable) {
        return failAtOnce(writable.error(), DownloadCompletion(m_completion));
    }
    m_downloader->start(url);
}

void WebContentManager::notifyDownloadCompleted(const QUrl& entry) {
    // Queued behind the publications, so callers see the final state first.
    MainQueue::async(this, [onCompleted = m_completion.onCompleted, entry] {
        if (onCompleted) {
            onCompleted(entry);
        }
    });
}

void WebContentManager::reportDownloadFailure(const Error& error) {
    m_progress.error = error;
    Q_EMIT progressChanged(m_progress);
    publish(m_generation, DownloadStep::failed, std::nullopt, std::nullopt,
            QStringLiteral("Web 资源下载失败：") + error.message);
    MainQueue::async(this, [onFailed = m_completion.onFailed, error] {
        if (onFailed) {
            onFailed(error);
        }
    });
}

// ---- Installation ----------------------------------------------------------------------------

void WebContentManager::extractWebPackage(const QString& zipPath) {
    InstallRequest request;
    request.generation = m_generation;
    request.version = m_activeWebVersion;
    request.job.logPrefix = logPrefix;
    request.job.targetFolder =
        pathManager().versionFolderPath(m_activeWebVersion).value_or(QString());
    request.job.zipPath = zipPath;
    queueInstall(request);
}

void WebContentManager::queueInstall(const InstallRequest& request) {
    if (request.job.targetFolder.isEmpty()) {
        return failInstall(
            false, webContentError(-6, QStringLiteral("Web 包版本无效：") + request.version));
    }
    // Copied here, on the GUI thread; the worker dereferences it only in calls queued back here.
    const QPointer<WebContentManager> guard(this);
    m_installQueue->async([guard, request] {
        const quint64 generation = request.generation;
        WebPackageInstaller::Reporter reporter;
        reporter.publish = [guard, generation](DownloadStep step, std::optional<double> fraction,
                                               const QString& message) {
            MainQueue::async([guard, generation, step, fraction, message] {
                if (guard && guard->m_generation == generation) {
                    guard->applyProgress(step, std::nullopt, fraction, message);
                }
            });
        };
        reporter.counted = [guard, generation](int total) {
            MainQueue::async([guard, generation, total] {
                if (guard && guard->m_generation == generation) {
                    guard->m_totalFileCount = total;
                    guard->m_extractedFileCount = 0;
                }
            });
        };
        const Result<void, WebPackageInstaller::Failure> outcome =
            WebPackageInstaller::run(request.job, reporter);
        MainQueue::async([guard, request, outcome] {
            if (!guard) {
                return;
            }
            // A newer start owns the callbacks and the folders now; this package stays on disk.
            if (guard->m_generation != request.generation) {
                LogInfo(guard->logPrefix + QStringLiteral(" 已被新的下载取代: ") + request.version,
                        LogTag::app);
                return;
            }
            if (outcome.ok()) {
                guard->finishExtraction(request.version);
            } else {
                guard->failInstall(
                    outcome.error().stage == WebPackageInstaller::FailureStage::handlingDownload,
                    outcome.error().error);
            }
        });
    });
}

void WebContentManager::finishExtraction(const QString& version) {
    setReady(true);
    removeOtherWebVersions(version);
    publish(m_generation, DownloadStep::completed, std::nullopt, std::nullopt,
            QStringLiteral("下载解压完成！"));
    std::optional<QUrl> entry;
    if (const std::optional<QString> active = resolveActiveWebVersion()) {
        entry = pathManager().webPathEntryFor(*active);
    }
    if (entry) {
        notifyDownloadCompleted(*entry);
    } else {
        // The entry was checked before pruning; only a folder removed meanwhile ends here.
        failInstall(false, webContentError(-5, QStringLiteral("Web 包中缺少 pc/index.html")));
    }
}

void WebContentManager::failInstall(bool handlingDownload, const Error& error) {
    m_progress.error = error;
    Q_EMIT progressChanged(m_progress);
    publish(
        m_generation, DownloadStep::failed, std::nullopt, std::nullopt,
        (handlingDownload ? QStringLiteral("处理下载文件失败: ") : QStringLiteral("解压失败: ")) +
            error.message);
    MainQueue::async(this, [onFailed = m_completion.onFailed, error] {
        if (onFailed) {
            onFailed(error);
        }
    });
}

void WebContentManager::removeOtherWebVersions(const QString& keptVersion) {
    if (!WebContentPathManager::isUsableVersionName(keptVersion)) {
        return;
    }
    const fs::path root = nativePath(webContentRootPath());
    const std::string kept = QFile::encodeName(keptVersion).toStdString();
    std::error_code code;
    for (const fs::path& item : WebPackageInstaller::folderItems(root, code)) {
        if (item.filename() != kept) {
            std::error_code ignored;
            fs::remove_all(item, ignored);
        }
    }
}

// ---- Fallbacks -------------------------------------------------------------------------------

std::optional<QUrl> WebContentManager::useBuiltInWebContent() {
    if (!installBuiltInWebPackage()) {
        return std::nullopt;
    }
    const std::optional<QUrl> entry = pathManager().webPathEntryFor(builtInWebVersion);
    if (!entry) {
        return std::nullopt;
    }
    m_activeWebVersion = builtInWebVersion;
    settings().set(builtInWebVersion, SettingKey::webVersion);
    setReady(true);
    if (m_progress.error) {
        m_progress.error.reset();
        Q_EMIT progressChanged(m_progress);
    }
    updateProgress(DownloadStep::completed, std::nullopt, std::nullopt,
                   QStringLiteral("Using bundled Web content: ") + entry->toLocalFile());
    return entry;
}

bool WebContentManager::setAuthorizedDocumentsFolder(const QString& folder) {
    QString documents = QDir::cleanPath(QDir(folder).absolutePath());
    if (QFileInfo(documents).fileName() != QStringLiteral("Documents")) {
        documents = QDir(documents).filePath(QStringLiteral("Documents"));
    }
    const QFileInfo info(documents);
    if (!info.isDir() || !info.isReadable()) {
        return false;
    }
    {
        std::lock_guard lock(m_pathMutex);
        m_pathManager.authorizedDocumentsPath = documents;
    }
    ensureWebContentFolder();
    prepareWebContent();
    return true;
}

std::optional<QString> WebContentManager::expectedWebPackageFolder() {
    const QString version = resolveActiveWebVersion().value_or(m_activeWebVersion);
    return pathManager().versionFolderPath(version);
}

void WebContentManager::fallBackToBuiltInAfterFailure(
    const Error& downloadError, const std::function<void(bool, const QString&)>& callback) {
    if (useBuiltInWebContent()) {
        callback(true, QStringLiteral("已使用内置 Web 包"));
    } else {
        callback(false, downloadError.message);
    }
}
