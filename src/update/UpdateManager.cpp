#include "update/UpdateManager.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/settings/BundleInfo.h"
#include "foundation/storage/ArchiveExtractor.h"
#include "foundation/storage/FileExtensions.h"
#include "update/ApplicationFolder.h"
#include "update/UpdateProgressWindowController.h"
#include "update/VersionComparison.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QUuid>

namespace {

const QString kDomain = QStringLiteral("UpdateManager");

Error fileError(const QString& what, const QString& path, const QString& reason) {
    return Error{kDomain, -1, what + QLatin1Char(' ') + path + QStringLiteral(": ") + reason};
}

Result<void> startDetachedProcess(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!process.startDetached()) {
        return Error{QStringLiteral("QProcess"), static_cast<int>(process.error()),
                     process.errorString()};
    }
    return {};
}

Result<QString> sha256HexOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fileError(QStringLiteral("cannot read"), path, file.errorString());
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        return fileError(QStringLiteral("cannot read"), path, file.errorString());
    }
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<QString> stringMember(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

void removeFolder(const QString& path) {
    if (!path.isEmpty()) {
        QDir(path).removeRecursively();
    }
}

}  // namespace

struct UpdateManager::Download {
    QPointer<QNetworkReply> reply;
    std::unique_ptr<QFile> file;
    UpdateInfo offer;
    QString targetFile;
    quint64 run = 0;
    std::optional<Error> writeError;
    bool cancelled = false;
};

UpdateManager::Environment UpdateManager::Environment::running() {
    const BundleInfo& bundle = BundleInfo::main();
    Environment environment;
    environment.bundleIdentifier = bundle.bundleIdentifier();
    environment.shortVersion = bundle.string(BundleInfo::kShortVersionKey);
    environment.applicationPath = QCoreApplication::applicationDirPath();
    environment.executablePath = QCoreApplication::applicationFilePath();
    environment.processId = QCoreApplication::applicationPid();
    environment.sslConfiguration = QSslConfiguration::defaultConfiguration();
    environment.startDetached = &startDetachedProcess;
    environment.terminate = [] { QCoreApplication::quit(); };
    return environment;
}

UpdateManager& UpdateManager::shared() {
    static UpdateManager* const instance = new UpdateManager();
    return *instance;
}

UpdateManager::UpdateManager() : UpdateManager(Environment::running()) {}

UpdateManager::UpdateManager(Environment environment, QObject* parent)
    : QObject(parent),
      m_environment(std::move(environment)),
      m_network(new QNetworkAccessManager(this)) {}

UpdateManager::~UpdateManager() {
    if (m_download && m_download->reply) {
        m_download->reply->abort();
    }
}

UpdateState UpdateManager::state() const {
    const std::lock_guard lock(m_mutex);
    return m_state;
}

bool UpdateManager::isRunning() const {
    const std::lock_guard lock(m_mutex);
    return m_isRunning;
}

std::optional<UpdateInfo> UpdateManager::takePendingUpdate() {
    return std::exchange(m_pendingUpdate, std::nullopt);
}

UpdateProgressWindowController& UpdateManager::progressWindow() {
    if (!m_progressWindow) {
        m_progressWindow = std::make_unique<UpdateProgressWindowController>(this);
    }
    return *m_progressWindow;
}

void UpdateManager::setState(const UpdateState& state) {
    const std::lock_guard lock(m_mutex);
    publishLocked(state);
}

void UpdateManager::publishLocked(const UpdateState& state) {
    // Stored and queued under one lock, so the window sees the states in the order they were set.
    m_state = state;
    MainQueue::async(this, [this, state] {
        progressWindow().render(state);
        if (m_stateHandler) {
            m_stateHandler(state);
        }
    });
}

void UpdateManager::presentUpdate(const UpdateInfo& offer) {
    if (isRunning()) {
        setState(UpdateState::failed(UpdateError::alreadyRunning()));
        return;
    }
    m_pendingUpdate = offer;
    setState(UpdateState::available(offer));
}

void UpdateManager::startDownload(const UpdateInfo& offer) {
    if (isRunning()) {
        setState(UpdateState::failed(UpdateError::alreadyRunning()));
        return;
    }
    if (offer.downloadURL.scheme().toLower() != QStringLiteral("https")) {
        setState(UpdateState::failed(UpdateError::invalidPackage(UpdateError::kHttpsRequired)));
        return;
    }
    quint64 run = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_isRunning = true;
        run = ++m_run;
    }
    auto download = std::make_unique<Download>();
    download->offer = offer;
    download->targetFile = m_environment.updatesDirectory.newPackagePath();
    download->run = run;
    setState(UpdateState::downloading(0));

    const QString partPath = QDir(QDir::tempPath())
                                 .filePath(QStringLiteral("kx-update-") +
                                           QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                           QStringLiteral(".download"));
    download->file = std::make_unique<QFile>(partPath);
    if (!openForWriting(*download->file, QIODevice::NewOnly, FileAccess::ownerOnly)) {
        const Error error =
            fileError(QStringLiteral("cannot write"), partPath, download->file->errorString());
        m_installQueue.async([this, error, run] { fail(error, run); });
        return;
    }

    QNetworkRequest request(offer.downloadURL);
    request.setSslConfiguration(m_environment.sslConfiguration);
    QNetworkReply* reply = m_network->get(request);
    download->reply = reply;
    m_download = std::move(download);

    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (!m_download || m_download->reply != reply) {
            return;
        }
        const QByteArray bytes = reply->readAll();
        if (m_download->file->write(bytes) != bytes.size()) {
            m_download->writeError =
                fileError(QStringLiteral("cannot write"), m_download->file->fileName(),
                          m_download->file->errorString());
            reply->abort();
        }
    });
    connect(
        reply, &QNetworkReply::downloadProgress, this,
        [this, reply](qint64 received, qint64 total) {
            // Without a length the progress stays where it is, also when the reply ends.
            const bool knownLength =
                total > 0 && reply->header(QNetworkRequest::ContentLengthHeader).isValid();
            if (m_download && m_download->reply == reply && !m_download->cancelled && knownLength) {
                setState(UpdateState::downloading(static_cast<double>(received) /
                                                  static_cast<double>(total)));
            }
        });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (m_download && m_download->reply == reply) {
            finishDownload();
        }
        reply->deleteLater();
    });
}

void UpdateManager::finishDownload() {
    const std::unique_ptr<Download> download = std::move(m_download);
    QNetworkReply* reply = download->reply;
    const QString partPath = download->file->fileName();
    if (reply->error() == QNetworkReply::NoError && !download->writeError) {
        download->file->write(reply->readAll());
    }
    download->file->close();

    std::optional<Error> error = download->writeError;
    if (!error && reply->error() != QNetworkReply::NoError) {
        error = Error{QStringLiteral("QNetworkReply"), static_cast<int>(reply->error()),
                      reply->errorString()};
    }
    if (!error && download->file->error() != QFileDevice::NoError) {
        error = fileError(QStringLiteral("cannot write"), partPath, download->file->errorString());
    }
    if (error) {
        QFile::remove(partPath);
    }
    const Result<QString> downloaded = error ? Result<QString>(*error) : Result<QString>(partPath);
    m_installQueue.async(
        [this, downloaded, offer = download->offer, target = download->targetFile,
         run = download->run] { installDownloadedPackage(downloaded, offer, target, run); });
}

void UpdateManager::cancel() {
    if (m_pendingUpdate) {
        m_pendingUpdate.reset();
        progressWindow().close();
        setState(UpdateState::idle());
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_isRunning = false;
    }
    setState(UpdateState::cancelled());
    // The reply reports the cancellation as its error, which ends the run as a failure.
    if (m_download && m_download->reply) {
        m_download->cancelled = true;
        m_download->reply->abort();
    }
}

void UpdateManager::installDownloadedPackage(const Result<QString>& downloaded,
                                             const UpdateInfo& offer, const QString& targetFile,
                                             quint64 run) {
    if (!downloaded) {
        fail(downloaded.error(), run);
        return;
    }
    std::optional<QString> unpackedFolder;
    const Result<void> installed = install(downloaded.value(), offer, targetFile, unpackedFolder);
    if (QFileInfo::exists(downloaded.value())) {
        QFile::remove(downloaded.value());
    }
    if (!installed) {
        if (unpackedFolder) {
            removeFolder(*unpackedFolder);
        }
        fail(installed.error(), run);
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        if (m_run == run) {
            m_isRunning = false;
        }
    }
    MainQueue::async(this, [this] {
        if (m_environment.terminate) {
            m_environment.terminate();
        }
    });
}

Result<void> UpdateManager::install(const QString& downloadedFile, const UpdateInfo& offer,
                                    const QString& targetFile,
                                    std::optional<QString>& unpackedFolder) {
    const UpdatesDirectory& updates = m_environment.updatesDirectory;
    if (Result<void> created = updates.create(); !created) {
        return created.error();
    }
    if (QFile moved(downloadedFile); !moved.rename(targetFile)) {
        return fileError(QStringLiteral("cannot move"), downloadedFile, moved.errorString());
    }
    setState(UpdateState::verifying());

    if (offer.sha256) {
        const Result<QString> digest = sha256HexOfFile(targetFile);
        if (!digest) {
            return digest.error();
        }
        if (digest.value() != offer.sha256->toLower()) {
            return UpdateError::checksumMismatch().toError();
        }
    }
    setState(UpdateState::mounting());

    const QString folder = updates.newVolumePath();
    if (Result<void> unpacked =
            ArchiveExtractor::extract(targetFile, folder, ExtractionPolicy::updatePackage());
        !unpacked) {
        return UpdateError::commandFailed(unpacked.error().message).toError();
    }
    unpackedFolder = folder;

    const std::optional<QString> application =
        findAppInVolume(folder, QFileInfo(m_environment.executablePath).fileName());
    if (!application) {
        return UpdateError::invalidPackage(UpdateError::kNoApplication).toError();
    }
    const Result<QJsonObject> info = ApplicationFolder::readBundleInfo(*application);
    if (!info) {
        return UpdateError::invalidPackage(UpdateError::kUnreadableBundle).toError();
    }
    const std::optional<QString> packageIdentifier =
        stringMember(info.value(), BundleInfo::kIdentifierKey);
    const QString unknown = QStringLiteral("未知");
    if (m_environment.bundleIdentifier.value_or(unknown) != packageIdentifier.value_or(unknown)) {
        return UpdateError::bundleIdentifierMismatch(m_environment.bundleIdentifier,
                                                     packageIdentifier)
            .toError();
    }
    if (stringMember(info.value(), BundleInfo::kShortVersionKey) != offer.version) {
        return UpdateError::invalidPackage(UpdateError::kVersionMismatch).toError();
    }
    if (!isVersionNewer(offer.version, m_environment.shortVersion.value_or(QStringLiteral("0")))) {
        return UpdateError::invalidPackage(UpdateError::kVersionNotNewer).toError();
    }

    const UpdateTask task{*application, m_environment.applicationPath, folder, targetFile,
                          offer.version};
    const Result<QString> taskFile = updates.writeTask(task);
    if (!taskFile) {
        return taskFile.error();
    }
    if (!m_environment.startDetached) {
        return Error{kDomain, -1, QStringLiteral("no way to start the update helper")};
    }
    const Result<void> started = m_environment.startDetached(
        m_environment.executablePath,
        {kHelperSwitch, taskFile.value(), QString::number(m_environment.processId)});
    if (!started) {
        return started.error();
    }
    setState(UpdateState::restarting());
    return {};
}

void UpdateManager::fail(const Error& error, quint64 run) {
    const std::lock_guard lock(m_mutex);
    // A run that was cancelled and followed by another one has nothing left to report.
    if (m_run != run) {
        return;
    }
    m_isRunning = false;
    publishLocked(UpdateState::failed(error));
}

std::optional<QString> UpdateManager::findAppInVolume(const QString& volumePath,
                                                      const QString& executableName) {
    const QFileInfoList entries =
        QDir(volumePath)
            .entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                           QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (ApplicationFolder::holdsBundleInfo(entry.filePath()) &&
            ApplicationFolder::holdsExecutable(entry.filePath(), executableName)) {
            return entry.filePath();
        }
    }
    return std::nullopt;
}
