#include "foundation/AppInfo.h"
#include "foundation/settings/BundleInfo.h"
#include "foundation/settings/DeviceInfoManager.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Interfaces = QList<DeviceInfoManager::Interface>;

namespace {

DeviceInfoManager::Sources sources(QVariantMap info = {}, Interfaces interfaces = {},
                                   QStringList serialFiles = {}) {
    return {[info] { return info; }, [] { return QStringLiteral("6.1.0-18-amd64"); },
            [interfaces] { return interfaces; }, serialFiles};
}

}  // namespace

class DeviceInfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionCode_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("code");
        QTest::newRow("four parts") << "1.2.3.4"
                                    << "10020304";
        QTest::newRow("two-digit major") << "10.2.3.4"
                                         << "10020304";
        QTest::newRow("wide parts") << "2.10.0.123"
                                    << "201000123";
        QTest::newRow("three parts") << "1.2.3"
                                     << "";
        QTest::newRow("five parts") << "1.2.3.4.5"
                                    << "";
        QTest::newRow("plus sign") << "+1.2.3.4"
                                   << "10020304";
        QTest::newRow("minus sign") << "-1.2.3.4"
                                    << "-10020304";
        QTest::newRow("letter part") << "1.2.b.4"
                                     << "100204";
        QTest::newRow("sign alone") << "1.+.3.4"
                                    << "100304";
        QTest::newRow("non-ascii digit") << QStringLiteral("1.\u0662.3.4") << "100304";
        QTest::newRow("beyond 64 bits") << "1.2.3.9223372036854775808"
                                        << "100203";
        QTest::newRow("empty pieces dropped") << ".1..2.3.4."
                                              << "10020304";
    }
    void versionCode() {
        QFETCH(QString, version);
        QFETCH(QString, code);
        QCOMPARE(DeviceInfoManager::versionCode(version), code);
    }

    void versionsFromTheInfoDictionary() {
        const DeviceInfoManager present(
            sources({{"CFBundleShortVersionString", "2.1.0.7"}, {"CFBundleVersion", "315"}}));
        QCOMPARE(present.versionCode(), "20010007");
        QCOMPARE(present.buildNumber(), "315");
        const DeviceInfoManager wrongType(
            sources({{"CFBundleShortVersionString", 2}, {"CFBundleVersion", true}}));
        QCOMPARE(wrongType.appVersion(), "1.0.0");
        QCOMPARE(wrongType.buildNumber(), "1");
        QCOMPARE(present.macOSVersion(), "6.1.0");
        QCOMPARE(DeviceInfoManager::operatingSystemVersion("6.8-rc1"), "6.8.0");
    }

    void bundleFileAddsButNeverReplaces() {
        QTemporaryDir dir;
        QFile file(dir.filePath(BundleInfo::kFileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"CFBundleShortVersionString": "9.9.9.9", "KXWebInspectorEnabled": true})");
        file.close();
        const BundleInfo info = BundleInfo::load(file.fileName());
        QCOMPARE(info.dictionary().value("KXWebInspectorEnabled"), QVariant(true));
        QCOMPARE(info.string(BundleInfo::kShortVersionKey), QString::fromUtf8(AppInfo::kVersion));
    }

    void primaryMACAddress_data() {
        QTest::addColumn<Interfaces>("interfaces");
        QTest::addColumn<std::optional<QString>>("address");
        using NI = QNetworkInterface;
        QTest::newRow("first ethernet-like with an address")
            << Interfaces{{"lo", NI::Loopback, true, "00:00:00:00:00:00"},
                          {"eth0", NI::Ethernet, false, ""},
                          {"tun0", NI::Virtual, false, "AA:BB:CC:DD:EE:00"},
                          {"wlan0", NI::Wifi, false, "3C:22:FB:0A:1B:2C"},
                          {"eth1", NI::Ethernet, false, "AA:BB:CC:DD:EE:02"}}
            << std::optional<QString>("3c:22:fb:0a:1b:2c");
        QTest::newRow("none") << Interfaces{{"eth0", NI::Ethernet, false, "00:00:00:00:00:00"},
                                            {"lo", NI::Ethernet, true, "AA:BB:CC:DD:EE:04"}}
                              << std::optional<QString>();
    }
    void primaryMACAddress() {
        QFETCH(Interfaces, interfaces);
        QFETCH(std::optional<QString>, address);
        QCOMPARE(DeviceInfoManager(sources({}, interfaces)).primaryMACAddress(), address);
    }

    void platformSerialNumber_data() {
        QTest::addColumn<QStringList>("contents");  // one per file; "-" for a missing one
        QTest::addColumn<std::optional<QString>>("serial");
        QTest::newRow("serial") << QStringList{"PF3X9K2L\n", "machine"}
                                << std::optional<QString>("PF3X9K2L");
        QTest::newRow("unreadable serial")
            << QStringList{"-", "4c4c4544003510\n"} << std::optional<QString>("4c4c4544003510");
        QTest::newRow("blank serial")
            << QStringList{"  \n", "4c4c45"} << std::optional<QString>("4c4c45");
        QTest::newRow("nothing") << QStringList{"-", ""} << std::optional<QString>();
    }
    void platformSerialNumber() {
        QFETCH(QStringList, contents);
        QFETCH(std::optional<QString>, serial);
        QTemporaryDir dir;
        QStringList files;
        for (const QString& content : contents) {
            files << dir.filePath(QString::number(files.size()));
            QFile file(files.last());
            if (content != "-") {
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(content.toUtf8());
            }
        }
        QCOMPARE(DeviceInfoManager(sources({}, {}, files)).platformSerialNumber(), serial);
    }

    // Crash reports name the machine: a real serial number, else the machine identifier hashed
    // for this application alone (computed independently with Python's hmac module).
    void serialFallsThroughPlaceholdersToTheHashedMachineId_data() {
        QTest::addColumn<QString>("serial");  // "-": no serial file
        QTest::addColumn<QString>("reported");
        const QString hashed =
            QStringLiteral("9a4c50ffa3e30ff16755c79c32dd739de17cd61da32b7b76823068e0f38ed8e5");
        QTest::newRow("real serial") << "PF3X9K2L\n"
                                     << "PF3X9K2L";
        QTest::newRow("no serial file") << "-" << hashed;
        QTest::newRow("firmware placeholder") << "To Be Filled By O.E.M.\n" << hashed;
        QTest::newRow("default string") << "Default string" << hashed;
        QTest::newRow("system serial number") << "System Serial Number" << hashed;
        QTest::newRow("none in another case") << "NONE" << hashed;
        QTest::newRow("zero") << "0" << hashed;
        QTest::newRow("one repeated character") << "00000000" << hashed;
        QTest::newRow("repeated letter") << "xxxxxxxxxx" << hashed;
        QTest::newRow("two characters") << "0001"
                                        << "0001";
    }
    void serialFallsThroughPlaceholdersToTheHashedMachineId() {
        QFETCH(QString, serial);
        QFETCH(QString, reported);
        QTemporaryDir dir;
        QFile machineId(dir.filePath("machine-id"));
        QVERIFY(machineId.open(QIODevice::WriteOnly));
        machineId.write("4c0e1a2b3c4d5e6f708192a3b4c5d6e7\n");
        machineId.close();
        QStringList serialFiles{dir.filePath("serial")};
        if (serial != "-") {
            QFile file(serialFiles.first());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(serial.toUtf8());
        }
        DeviceInfoManager::Sources sourceSet = sources({}, {}, serialFiles);
        sourceSet.machineIdFiles = {machineId.fileName()};
        sourceSet.machineIdHashKey = QStringLiteral("com.example.app");
        QCOMPARE(DeviceInfoManager(sourceSet).platformSerialNumber(),
                 std::optional<QString>(reported));
    }

    void systemSourcesNeverHandOutTheRawMachineId() {
        const DeviceInfoManager::Sources system = DeviceInfoManager::systemSources();
        QVERIFY(!system.serialNumberFiles.contains("/etc/machine-id"));
        QCOMPARE(system.machineIdFiles, QStringList{"/etc/machine-id"});
        QCOMPARE(system.machineIdHashKey, QString::fromUtf8(AppInfo::kBundleIdentifier));
    }
};

QTEST_GUILESS_MAIN(DeviceInfoTest)
#include "tst_DeviceInfo.moc"
