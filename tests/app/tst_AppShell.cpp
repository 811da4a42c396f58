#include "AppTestSupport.h"
#include "ShellTestSupport.h"
#include "WebContentTestSupport.h"

#include "api/ActiveForceInfo.h"
#include "app/AppDelegate.h"
#include "app/StartupSettings.h"
#include "app/WebContentManager.h"
#include "app/WebEngineSandbox.h"
#include "foundation/settings/SettingKey.h"
#include "foundation/settings/SettingsManager.h"

#include <QApplication>
#include <QTest>

using namespace webtest;

namespace {

ForceInfo entry(const QString& clientVersion, const QString& webVersion,
                std::optional<QString> download = std::nullopt) {
    ForceInfo info;
    info.pcClientVersion = clientVersion;
    info.pcClientWebVersion = webVersion;
    info.pcClientWebDownload = std::move(download);
    return info;
}

// Records which window the decisions open instead of opening it; quitting is recorded too.
class RecordingDelegate : public AppDelegate {
public:
    RecordingDelegate() : AppDelegate(options()) {}

    static Options options() {
        Options options;
        options.mainWebViewFactory = [](QWidget* parent) { return new RecordingWebView(parent); };
        return options;
    }

    bool recordOnly = true;
    int mainWindowsOpened = 0;
    QList<std::pair<QString, QString>> launches;
    int terminations = 0;

    void openMainWindow() override {
        ++mainWindowsOpened;
        if (!recordOnly) {
            AppDelegate::openMainWindow();
        }
    }
    void showLaunchWindow(const QString& url, const QString& version) override {
        launches.append({url, version});
        if (!recordOnly) {
            AppDelegate::showLaunchWindow(url, version);
        }
    }

protected:
    void requestTermination() override { ++terminations; }
};

}  // namespace

class AppShellTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        QDir(webRoot()).removeRecursively();
        SettingsManager::shared().set(std::nullopt, SettingKey::webVersion);
        SettingsManager::shared().set(std::nullopt, SettingKey::closePanel);
        ActiveForceInfo::set(std::nullopt);
    }

    void startupSettings_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("storedLocale");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("cloudLocale");
        QTest::newRow("zh without region") << "zh"
                                           << ""
                                           << ""
                                           << "zh"
                                           << "zh-CN";
        QTest::newRow("zh Taiwan") << "zh"
                                   << "TW"
                                   << ""
                                   << "zh"
                                   << "zh-TW";
        QTest::newRow("page-set locale stays") << "zh"
                                               << "CN"
                                               << "en"
                                               << "en"
                                               << "zh-CN";
        QTest::newRow("no language") << ""
                                     << ""
                                     << ""
                                     << "en"
                                     << "en-CN";
    }
    void startupSettings() {
        QFETCH(QString, language);
        QFETCH(QString, region);
        QFETCH(QString, storedLocale);
        QFETCH(QString, locale);
        QFETCH(QString, cloudLocale);
        QTemporaryDir folder;
        SettingsManager settings(folder.filePath(QStringLiteral("settings.ini")));
        if (!storedLocale.isEmpty()) {
            settings.set(storedLocale, SettingKey::frontendSysLocale);
        }
        settings.set(QStringLiteral("1234"), SettingKey::pcId);
        settings.set(QStringLiteral("false"), SettingKey::batchCloudphonePositionSort);
        StartupSettings::Inputs inputs;
        inputs.languageCode = language;
        if (!region.isEmpty()) {
            inputs.regionCode = region;
        }
        inputs.shortVersion = QStringLiteral("1.0.0");

        StartupSettings::seed(settings, inputs);

        QCOMPARE(settings.string(SettingKey::frontendSysLocale), std::optional<QString>(locale));
        QCOMPARE(settings.string(SettingKey::frontendSysLocaleCloudPhone),
                 std::optional<QString>(cloudLocale));
        QCOMPARE(settings.string(SettingKey::macAddress), std::optional<QString>("0"));
        QCOMPARE(settings.string(SettingKey::pcId), std::optional<QString>("8888"));
        QCOMPARE(settings.string(SettingKey::batchCloudphonePositionSort),
                 std::optional<QString>("false"));
    }

    void webEngineSandboxIsTurnedOffOnlyForRoot_data() {
        QTest::addColumn<uint>("user");
        QTest::addColumn<bool>("variableSet");
        QTest::addColumn<QByteArray>("flags");
        QTest::addColumn<bool>("turnedOff");
        QTest::newRow("root, nothing set") << 0u << false << QByteArray() << true;
        QTest::newRow("root, other flags") << 0u << false << QByteArray("--disable-gpu") << true;
        QTest::newRow("root, a flag that only starts alike")
            << 0u << false << QByteArray("--no-sandbox-and-more") << true;
        QTest::newRow("root, flag among others")
            << 0u << false << QByteArray("--disable-gpu  --no-sandbox") << false;
        QTest::newRow("root, variable set even empty") << 0u << true << QByteArray() << false;
        QTest::newRow("another user") << 1000u << false << QByteArray() << false;
    }
    void webEngineSandboxIsTurnedOffOnlyForRoot() {
        QFETCH(uint, user);
        QFETCH(bool, variableSet);
        QFETCH(QByteArray, flags);
        QFETCH(bool, turnedOff);
        QCOMPARE(WebEngineSandbox::shouldTurnOff(user, variableSet, flags), turnedOff);
    }

    void findForceInfo_data() {
        QTest::addColumn<QList<ForceInfo>>("entries");
        QTest::addColumn<QString>("expectedWebVersion");
        QTest::addColumn<bool>("warns");
        QTest::newRow("exact match wins over order")
            << QList<ForceInfo>{entry("2.0.0", "a"), entry("2.1.0", "b"), entry("1.9.0", "c")}
            << "b" << false;
        QTest::newRow("no match: the last entry")
            << QList<ForceInfo>{entry("2.0.0", "a"), entry("1.9.0", "c")} << "c" << true;
        QTest::newRow("no entries") << QList<ForceInfo>{} << "" << true;
    }
    void findForceInfo() {
        QFETCH(QList<ForceInfo>, entries);
        QFETCH(QString, expectedWebVersion);
        QFETCH(bool, warns);
        VersionResponse response;
        response.newPC = NewPCInfo{};
        response.newPC->forceInfo = entries;
        // The record's top-level list is never consulted.
        response.forceInfo = QList<ForceInfo>{entry("2.1.0", "top-level")};
        LogLines log;

        const std::optional<ForceInfo> found = AppDelegate::findForceInfo(response, "2.1.0");

        QCOMPARE(found ? found->pcClientWebVersion.value_or(QString()) : QString(),
                 expectedWebVersion);
        const QString warning =
            QStringLiteral("⚠️ 未找到当前客户端版本 2.1.0 对应的 forceInfo");
        if (warns) {
            QVERIFY(log.contains(warning));
        } else {
            QVERIFY(!log.contains(warning));
        }
    }

    void versionDecisions_data() {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<bool>("withNewPC");
        QTest::addColumn<QString>("webVersion");
        QTest::addColumn<QString>("download");
        QTest::addColumn<bool>("opensMain");
        QTest::addColumn<QString>("launchVersion");
        QTest::addColumn<QString>("savedVersion");
        QTest::newRow("newPC missing: default package") << "" << false << ""
                                                        << "" << false << "0.7.09"
                                                        << "";
        QTest::newRow("sanitised on disk, saved as received") << "1.2.3_b" << true << "1.2.3/b"
                                                              << "" << true << ""
                                                              << "1.2.3/b";
        QTest::newRow("absent with address: downloaded")
            << "" << true << "2.0.0"
            << "http://127.0.0.1:9/pc.zip" << false << "2.0.0"
            << "";
        QTest::newRow("absent without address: default package") << "" << true << "2.0.0"
                                                                 << "" << false << "0.7.09"
                                                                 << "";
    }
    void versionDecisions() {
        QFETCH(QString, installed);
        QFETCH(bool, withNewPC);
        QFETCH(QString, webVersion);
        QFETCH(QString, download);
        QFETCH(bool, opensMain);
        QFETCH(QString, launchVersion);
        QFETCH(QString, savedVersion);
        if (!installed.isEmpty()) {
            installVersion(installed);
        }
        VersionResponse response;
        if (withNewPC) {
            response.newPC = NewPCInfo{};
            response.newPC->forceInfo = QList<ForceInfo>{
                entry("1.0.0", webVersion,
                      download.isEmpty() ? std::nullopt : std::optional<QString>(download))};
        }
        RecordingDelegate delegate;

        delegate.handleVersionResult(AppDelegate::VersionResult(response));

        QCOMPARE(delegate.mainWindowsOpened, opensMain ? 1 : 0);
        QCOMPARE(delegate.launches.size(), launchVersion.isEmpty() ? 0 : 1);
        if (!launchVersion.isEmpty()) {
            QCOMPARE(delegate.launches.first().second, launchVersion);
            if (download.isEmpty()) {
                QCOMPARE(delegate.launches.first().first, AppDelegate::defaultWebPackageURL());
            }
        }
        QCOMPARE(SettingsManager::shared().string(SettingKey::webVersion).value_or(QString()),
                 savedVersion);
        QCOMPARE(ActiveForceInfo::get().has_value(), withNewPC);
    }

    void failedVersionRequestUsesSavedPackage_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("opensMain");
        QTest::newRow("nothing saved, nothing on disk") << "" << false;
        QTest::newRow("saved version on disk") << "0.6.87" << true;
    }
    void failedVersionRequestUsesSavedPackage() {
        QFETCH(QString, saved);
        QFETCH(bool, opensMain);
        if (!saved.isEmpty()) {
            installVersion(saved);
            SettingsManager::shared().set(saved, SettingKey::webVersion);
        }
        RecordingDelegate delegate;
        delegate.handleVersionResult(
            AppDelegate::VersionResult(NetworkError::serverError(503, QStringLiteral("busy"))));
        // The saved package is looked up in a later turn of the loop.
        QCOMPARE(delegate.mainWindowsOpened + delegate.launches.size(), 0);
        QTRY_COMPARE(delegate.mainWindowsOpened + delegate.launches.size(), 1);
        QCOMPARE(delegate.mainWindowsOpened, opensMain ? 1 : 0);
        if (!opensMain) {
            QCOMPARE(delegate.launches.first().second, QStringLiteral("0.7.09"));
        }
    }

    void secondLaunchWindowOnlyWarns() {
        RecordingDelegate delegate;
        delegate.recordOnly = false;
        LogLines log;
        delegate.showLaunchWindow(QStringLiteral("http://127.0.0.1:9/pc.zip"), "9.9.9");
        QWidget* first = delegate.launchWindow();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->size(), QSize(600, 400));
        QVERIFY(first->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(first->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        delegate.showLaunchWindow(QStringLiteral("http://127.0.0.1:9/pc.zip"), "9.9.9");

        QCOMPARE(delegate.launchWindow(), first);
        QVERIFY(log.contains("⚠️ 启动窗口已存在，忽略重复展示"));
    }

    void transitionRunsOnceAndFreesLaunchWindow() {
        RecordingDelegate delegate;
        delegate.recordOnly = false;
        delegate.showLaunchWindow(QStringLiteral("http://127.0.0.1:9/pc.zip"), "9.9.9");
        QPointer<QWidget> launch = delegate.launchWindow();
        LogLines log;

        delegate.transitionToMainWindow();
        delegate.transitionToMainWindow();

        QVERIFY(log.contains("⚠️ 过渡已在进行中"));
        QVERIFY(delegate.isTransitioning());
        QTRY_VERIFY_WITH_TIMEOUT(delegate.window() != nullptr, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(launch.isNull(), 3000);
        QVERIFY(!delegate.isTransitioning());
        QVERIFY(delegate.window()->isVisible());
        QCOMPARE(delegate.window()->size(), QSize(1425, 840));
        QCOMPARE(delegate.window()->windowTitle(), QStringLiteral("Corvane"));
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(
                     windows.begin(), windows.end(),
                     [](QWidget* widget) { return qobject_cast<MainWindow*>(widget) != nullptr; }),
                 1);
    }

    void downloadReportsAfterLaunchWindowIsGone() {
        RecordingDelegate delegate;
        delegate.recordOnly = false;
        LogLines log;
        delegate.showLaunchWindow(QStringLiteral("http://127.0.0.1:9/pc.zip"), "9.9.9");
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("🎬 开始加载动画")), 3000);
        delete delegate.launchWindow();

        // The refused connection schedules a retry and reports it to a screen that no longer
        // exists; the sanitizer build sees any use of the freed screen.
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("下载失败，")), 5000);
        // Lets what the report set going on the event loop run too: none of it reaches the
        // freed screen.
        QTest::qWait(50);
    }

    void closeButtonPolicy_data() {
        QTest::addColumn<QString>("policy");
        QTest::addColumn<bool>("minimises");
        QTest::newRow("MIN") << "MIN" << true;
        QTest::newRow("min") << "min" << true;
        QTest::newRow("other text") << "close" << false;
        QTest::newRow("unset") << "" << false;
    }
    void closeButtonPolicy() {
        QFETCH(QString, policy);
        QFETCH(bool, minimises);
        if (!policy.isEmpty()) {
            SettingsManager::shared().set(policy, SettingKey::closePanel);
        }
        RecordingDelegate delegate;
        delegate.recordOnly = false;
        delegate.openMainWindow();
        QVERIFY(delegate.window());

        delegate.window()->close();

        QVERIFY(delegate.window());  // the close button never closes the main window
        QCOMPARE(delegate.window()->isMinimized(), minimises);
        QCOMPARE(delegate.terminations, minimises ? 0 : 1);
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    AppShellTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_AppShell.moc"
