#include "app/AppDelegate.h"

#include "api/ActiveForceInfo.h"
#include "api/CDYUserTool.h"
#include "api/KXDomesticUser.h"
#include "api/KXNetworkManager.h"
#include "api/XDYGlobalAPI.h"
#include "app/LocalImageServer.h"
#include "app/MainWindow.h"
#include "app/ManagedPopupWindowOpener.h"
#include "app/ManagedWebContentService.h"
#include "app/ManualUpdateCheckRequester.h"
#include "app/StartupSettings.h"
#include "app/WebContentManager.h"
#include "app/WebEngineSandbox.h"
#include "app/WebViewPopupManager.h"
#include "devicewindow/CommandProcessor.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowManager.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/logging/FileLogger.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/DeviceInfoManager.h"
#include "foundation/settings/ServiceEndpoints.h"
#include "foundation/settings/SettingKey.h"
#include "foundation/settings/SettingsManager.h"
#include "foundation/storage/DocumentsRoot.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/StoredUserIdentityProvider.h"
#include "upload/FileUploader.h"
#include "web/Native2WebMessageSender.h"
#include "web/PreviewImageStore.h"
#include "web/TrustedPageOrigins.h"
#include "web/WebContentService.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

AppDelegate::AppDelegate(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {}

AppDelegate::~AppDelegate() {
    delete m_launchWindow.data();
    delete m_window.data();
    uninstallPageServices();
}

QString AppDelegate::defaultWebPackageURL() {
    return ServiceEndpoints::resourceUrl(kDefaultWebPackagePath).toString();
}

void AppDelegate::applicationDidFinishLaunching(const QStringList& arguments) {
    if (m_options.runUpdateHelperIfNeeded && m_options.runUpdateHelperIfNeeded(arguments)) {
        requestTermination();
        return;
    }
    m_launched = true;

    FileLogger::shared();
    LogInfo(QStringLiteral("🚀 应用启动"), LogTag::app);
    if (WebEngineSandbox::wasTurnedOff()) {
        LogWarning(WebEngineSandbox::kRootNotice, LogTag::app);
    }
    if (m_options.recoverApplicationFolder) {
        m_options.recoverApplicationFolder();
    }

    if (m_options.cleanOldLogFiles) {
        m_options.cleanOldLogFiles();
    }
    delete m_logCleanupTimer;
    m_logCleanupTimer = new QTimer(this);
    m_logCleanupTimer->setInterval(kLogCleanupInterval);
    connect(m_logCleanupTimer, &QTimer::timeout, this, [this] {
        if (m_options.cleanOldLogFiles) {
            m_options.cleanOldLogFiles();
        }
    });
    m_logCleanupTimer->start();

    startCrashReporting();
    seedStartupSettings();
    requestVersion();
    if (m_options.createUpdateManager) {
        m_options.createUpdateManager();
    }
    setupSDK();
    installPageServices();
}

void AppDelegate::installPageServices() {
    uninstallPageServices();
    m_webContentService = std::make_unique<ManagedWebContentService>(WebContentManager::shared(),
                                                                     &ActiveForceInfo::get);
    m_popupWindowOpener = std::make_unique<ManagedPopupWindowOpener>(WebViewPopupManager::shared());
    m_clientUpdateRequester = std::make_unique<ManualUpdateCheckRequester>();
    WebContentService::install(m_webContentService.get());
    PopupWindowOpener::install(m_popupWindowOpener.get());
    ClientUpdateRequester::install(m_clientUpdateRequester.get());
}

void AppDelegate::uninstallPageServices() {
    // Each one takes itself out of its slot as it goes.
    m_clientUpdateRequester.reset();
    m_popupWindowOpener.reset();
    m_webContentService.reset();
}

void AppDelegate::startCrashReporting() {
    SentryService& sentry = SentryService::shared();
    if (sentry.didStart()) {
        return;
    }
    sentry.setUserProvider([]() -> std::optional<SentryService::UserInfo> {
        const std::optional<KXDomesticUser> user = CDYUserTool::shared().loadUser();
        if (!user) {
            return std::nullopt;
        }
        return SentryService::UserInfo{user->uid(), user->username, user->phone};
    });
    sentry.start();
}

void AppDelegate::seedStartupSettings() {
    StartupSettings::seed(SettingsManager::shared(), StartupSettings::Inputs::fromSystem());
    FileUploader::shared().setAuthDomain(ServiceEndpoints::apiBaseUrl().toString());
}

void AppDelegate::requestVersion() {
    KXNetworkManager::shared().request<VersionResponse>(
        XDYGlobalAPI::versionJson(), std::nullopt,
        [self = QPointer<AppDelegate>(this)](const VersionResult& result) {
            if (self) {
                self->handleVersionResult(result);
            }
        });
}

void AppDelegate::setupSDK() {
    CloudPhoneCommunicator& communicator = CloudPhoneCommunicator::shared();
    // A plain path: the SDK writes files there, so nothing is percent-encoded.
    communicator.setupWithLogPath(QDir(documentsRootPath()).filePath(QStringLiteral("videoLogs")));
    communicator.configClient(ClientInitOptions{std::nullopt, Area::domestic},
                              std::make_shared<StoredUserIdentityProvider>());
    communicator.setAuthenticationFailureHandler(&AppDelegate::forwardAuthenticationFailure);

    // The web content manager belongs to the GUI thread, so it is made here before the server's
    // thread asks it for the documents root.
    const WebContentManager& content = WebContentManager::shared();
    LocalImageServer& server = LocalImageServer::shared();
    server.setDocumentsRootProvider(
        [&content] { return content.pathManager().webDocumentsRoot(); });
    // A repair may move the web content; the pages there stay the client's own.
    TrustedPageOrigins::shared().setWebContentFolderProvider(
        [&content] { return content.pathManager().webContentRootPath(); });
    PreviewImageStore::install(&server);
    server.start();
}

void AppDelegate::forwardAuthenticationFailure(const QString& deviceID) {
    MainQueue::async([deviceID] { Native2WebMessageSender::shared().sendTokenAuthFail(deviceID); });
}

void AppDelegate::handleVersionResult(const VersionResult& result) {
    if (!result.ok()) {
        LogWarning(
            QStringLiteral(
                "⚠️ 获取 Web 版本失败，尝试使用已保存版本或下载默认 Web "
                "包: ") +
                result.error().errorDescription(),
            LogTag::app);
        MainQueue::async(this, [this] { openWithSavedWebVersion(); });
        return;
    }
    const VersionResponse& response = result.value();
    if (m_options.checkClientUpdate) {
        m_options.checkClientUpdate(response);
    }
    const std::optional<ForceInfo> info =
        findForceInfo(response, DeviceInfoManager::shared().appVersion());
    if (!info) {
        showLaunchWindow(defaultWebPackageURL(), kDefaultWebVersion);
        return;
    }
    applyForceInfo(*info);
}

void AppDelegate::openWithSavedWebVersion() {
    const QString version =
        SettingsManager::shared().string(SettingKey::webVersion).value_or(kSavedVersionFallback);
    if (WebContentManager::shared().pathManager().webPathEntryFor(version)) {
        openMainWindow();
    } else {
        showLaunchWindow(defaultWebPackageURL(), kDefaultWebVersion);
    }
}

std::optional<ForceInfo> AppDelegate::findForceInfo(const VersionResponse& response,
                                                    const QString& runningVersion) {
    const QList<ForceInfo> candidates = response.newPC && response.newPC->forceInfo
                                            ? *response.newPC->forceInfo
                                            : QList<ForceInfo>();
    for (const ForceInfo& candidate : candidates) {
        if (candidate.pcClientVersion && *candidate.pcClientVersion == runningVersion) {
            return candidate;
        }
    }
    LogWarning(QStringLiteral("⚠️ 未找到当前客户端版本 ") + runningVersion +
                   QStringLiteral(" 对应的 forceInfo"),
               LogTag::app);
    if (candidates.isEmpty()) {
        return std::nullopt;
    }
    return candidates.last();
}

void AppDelegate::applyForceInfo(const ForceInfo& info) {
    ActiveForceInfo::set(info);
    const QString version = info.pcClientWebVersion.value_or(kRecordVersionFallback);
    if (WebContentManager::shared().pathManager().webPathEntryFor(version)) {
        // Saved as received; only the folder name is sanitised.
        SettingsManager::shared().set(version, SettingKey::webVersion);
        openMainWindow();
        return;
    }
    if (info.pcClientWebDownload) {
        LogInfo(
            QStringLiteral("📥 本地未找到目标 Web 版本 ") + version + QStringLiteral("，开始下载"),
            LogTag::app);
        showLaunchWindow(*info.pcClientWebDownload, version);
        return;
    }
    LogError(QStringLiteral("❌ Web 版本 ") + version + QStringLiteral(" 没有可用下载地址"),
             LogTag::app);
    // Without an address the default package still gives the user a window.
    showLaunchWindow(defaultWebPackageURL(), kDefaultWebVersion);
}

void AppDelegate::applicationWillTerminate() {
    if (!m_launched || m_terminated) {
        return;
    }
    m_terminated = true;
    CloudPhoneCommunicator::shared().destory();
    if (PreviewImageStore::installed() == &LocalImageServer::shared()) {
        PreviewImageStore::install(nullptr);
    }
    LocalImageServer::shared().stop();
    if (m_logCleanupTimer) {
        m_logCleanupTimer->stop();
    }
    // The windows go now, so that nothing they report follows the last line.
    WebViewPopupManager::shared().closeAll();
    delete m_launchWindow.data();
    delete m_window.data();
    uninstallPageServices();
    LogInfo(QStringLiteral("🛑 应用即将退出"), LogTag::app);
}

void AppDelegate::checkForUpdates() {
    KXNetworkManager::shared().request<VersionResponse>(
        XDYGlobalAPI::versionJson(), std::nullopt,
        [self = QPointer<AppDelegate>(this)](const VersionResult& result) {
            if (self && self->m_options.handleClientVersionResult) {
                self->m_options.handleClientVersionResult(result);
            }
        });
}

void AppDelegate::newWindow() {
    WindowManager::shared().newWindow();
}

void AppDelegate::setAspectRatio(const QVariant& representedObject) {
    if (representedObject.typeId() != QMetaType::QString) {
        return;
    }
    const std::optional<CommandProcessor::AspectRatio> ratio =
        CommandProcessor::aspectRatio(representedObject.toString());
    if (!ratio) {
        return;
    }
    // The key device window when there is one, else every device window.
    const qint64 device = WindowActiveManager::shared().activeDeviceID().value_or(0);
    CommandProcessor::postAspectRatioCommand(*ratio, static_cast<int>(device));
}

void AppDelegate::requestTermination() {
    QCoreApplication::quit();
}
