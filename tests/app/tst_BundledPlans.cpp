// The plan package of the application folder as the build assembles it, with the resource host
// unreachable: a new user's device window offers its plans in the key-mapping panel and shows
// their markers.
#include "DeviceWindowTestSupport.h"
#include "PlayingDevices.h"
#include "ProcessSettingsRestorer.h"
#include "devicewindow/ControlButtonController.h"
#include "devicewindow/DeviceWindowEnvironment.h"
#include "devicewindow/KeyMappingOverlayController.h"
#include "devicewindow/KeyMappingOverlayView.h"
#include "devicewindow/KeyMappingPanelController.h"
#include "devicewindow/KeyMappingPanelView.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/KeyMappingViewModel.h"

#include <QComboBox>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QToolButton>

namespace {

QString keyMappingRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Brisca/keymapping/");
}

}  // namespace

class BundledPlansTest : public QObject {
    Q_OBJECT

    PlayingDevices m_devices;
    std::unique_ptr<KeyMappingConfigManager> m_store;
    quint16 m_closedPort = 0;
    ProcessSettingsRestorer m_resourceHost;

private Q_SLOTS:
    void initTestCase() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        m_closedPort = probe.serverPort();
        probe.close();
        // Read once per process, so set before anything asks for the resource host.
        m_resourceHost.saveEnvironmentVariable("KX_RESOURCE_BASE_URL");
        qputenv("KX_RESOURCE_BASE_URL",
                QByteArray("http://127.0.0.1:") + QByteArray::number(m_closedPort));

        // A new user: nothing unpacked or downloaded yet.
        QDir(keyMappingRoot()).removeRecursively();
        // As the client's own store, with the package beside the client's executable.
        KeyMappingConfigManager::Configuration configuration =
            KeyMappingConfigManager::Configuration::standard();
        configuration.bundledPackagePath =
            QStringLiteral(KX_APP_FOLDER "/") + KeyMappingConfigManager::rccFileName;
        m_store = std::make_unique<KeyMappingConfigManager>(configuration);
        DeviceWindowEnvironment environment = DeviceWindowEnvironment::standard();
        environment.keyMappingStore = m_store.get();
        WindowManager::shared().setWindowEnvironment(environment);
        QVERIFY(m_devices.setUp());
    }

    void cleanupTestCase() {
        PlayingDevices::closeAll();
        PlayingDevices::tearDown();
        m_resourceHost.restore();
    }

    void freshDeviceOffersTheBundledPlansWithoutTheService() {
        QCOMPARE(m_store->rccDownloadURL().port(), m_closedPort);
        // A device as the service hands it out, its launcher in front.
        AspectRatioWindowController* window = PlayingDevices::openActive(7001);
        QVERIFY(window);
        KeyMappingViewModel& model = window->keyMappingViewModel();
        window->controlButtonController().controlButton(ControlButtonID::keyboardMapping)->click();
        QTRY_COMPARE(model.selectedPlanIdentifier,
                     std::optional<QString>("packageConfigs|launcher-wasd.kmp"));

        QComboBox* popup = window->keyMappingPanelController().keyMappingPanelView()->presetPopup();
        QStringList offered;
        for (int index = 0; index < popup->count(); ++index) {
            offered << popup->itemText(index);
        }
        QCOMPARE(offered, (QStringList{"launcher-wasd", "launcher-arrows"}));
        QCOMPARE(model.keyMappingStatusText,
                 QStringLiteral("已应用 launcher-wasd.kmp，共 5 个按键，可选 2 个方案"));
        KeyMappingOverlayView* overlay =
            window->keyMappingOverlayController().keyMappingOverlayContainer();
        QTRY_COMPARE(overlay->markers().size(), 5);

        // Unpacked from the application folder; nothing was downloaded.
        QVERIFY(QFileInfo::exists(keyMappingRoot() + "package_configs_1005/dir_kmps.dir"));
        QVERIFY(!QFileInfo::exists(keyMappingRoot() + KeyMappingConfigManager::rccFileName));
        saveArtifact(window->window(), QStringLiteral("bundled-plans"));
    }
};

QTEST_MAIN(BundledPlansTest)

#include "tst_BundledPlans.moc"
