#include "foundation/AppInfo.h"
#include "foundation/BundleInfo.h"
#include "foundation/DeviceInfoManager.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Interfaces = QList<DeviceInfoManager::Interface>;
Q_DECLARE_METATYPE(Interfaces)

namespace {

DeviceInfoManager::Sources emptySources() {
    return {
        [] { return QVariantMap(); }, [] { return QString(); }, [] { return Interfaces(); }, {}};
}

DeviceInfoManager::Interface nic(QNetworkInterface::InterfaceType type, const QString& address,
                                 bool loopback = false) {
    return {QStringLiteral("if"), type, loopback, address};
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
        QTest::newRow("wide parts") << "2.10.0.15"
                                    << "20100015";
        QTest::newRow("three-digit part") << "1.2.3.123"
                                          << "100203123";
        QTest::newRow("zeros") << "0.0.0.0"
                               << "00000000";
        QTest::newRow("three parts") << "1.2.3"
                                     << "";
        QTest::newRow("five parts") << "1.2.3.4.5"
                                    << "";
        QTest::newRow("fallback version") << "1.0.0"
                                          << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("plus sign") << "+1.2.3.4"
                                   << "10020304";
        QTest::newRow("minus sign") << "-1.2.3.4"
                                    << "-10020304";
        QTest::newRow("negative later part") << "1.-2.3.4"
                                             << "10-20304";
        QTest::newRow("leading zeros") << "007.08.3.4"
                                       << "70080304";
        QTest::newRow("letter part") << "1.2.b.4"
                                     << "100204";
        QTest::newRow("letter second part") << "1.x.3.4"
                                            << "100304";
        QTest::newRow("double sign") << "++1.2.3.4"
                                     << "020304";
        QTest::newRow("sign alone") << "1.+.3.4"
                                    << "100304";
        QTest::newRow("inner blank") << "1. 2.3.4"
                                     << "100304";
        QTest::newRow("non-ascii digit") << QStringLiteral("1.\u0662.3.4") << "100304";
        QTest::newRow("beyond 64 bits") << "1.2.3.9223372036854775808"
                                        << "100203";
        QTest::newRow("64-bit maximum") << "1.2.3.9223372036854775807"
                                        << "1002039223372036854775807";
        QTest::newRow("empty pieces dropped") << ".1..2.3.4."
                                              << "10020304";
    }
    void versionCode() {
        QFETCH(QString, version);
        QFETCH(QString, code);
        QCOMPARE(DeviceInfoManager::versionCode(version), code);
    }

    void versionsFromTheInfoDictionary_data() {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("code");
        QTest::newRow("present") << QVariantMap{{"CFBundleShortVersionString", "2.1.0.7"},
                                                {"CFBundleVersion", "315"}}
                                 << "2.1.0.7"
                                 << "315"
                                 << "20010007";
        QTest::newRow("missing") << QVariantMap() << "1.0.0"
                                 << "1"
                                 << "";
        QTest::newRow("not texts")
            << QVariantMap{{"CFBundleShortVersionString", 2}, {"CFBundleVersion", true}} << "1.0.0"
            << "1"
            << "";
    }
    void versionsFromTheInfoDictionary() {
        QFETCH(QVariantMap, info);
        QFETCH(QString, version);
        QFETCH(QString, build);
        QFETCH(QString, code);
        DeviceInfoManager::Sources sources = emptySources();
        sources.infoDictionary = [info] { return info; };
        const DeviceInfoManager manager(sources);
        QCOMPARE(manager.appVersion(), version);
        QCOMPARE(manager.buildNumber(), build);
        QCOMPARE(manager.versionCode(), code);
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
        QCOMPARE(DeviceInfoManager::shared().appVersion(), QString::fromUtf8(AppInfo::kVersion));
        QVERIFY(BundleInfo::load(dir.filePath("missing.json")).bundleIdentifier());
    }

    void operatingSystemVersion_data() {
        QTest::addColumn<QString>("release");
        QTest::addColumn<QString>("version");
        QTest::newRow("debian") << "6.1.0-18-amd64"
                                << "6.1.0";
        QTest::newRow("patch level") << "5.15.153.1-microsoft-standard-WSL2"
                                     << "5.15.153";
        QTest::newRow("two numbers") << "6.8-rc1"
                                     << "6.8.0";
        QTest::newRow("leading zeros") << "06.01.02"
                                       << "6.1.2";
        QTest::newRow("nothing") << ""
                                 << "0.0.0";
    }
    void operatingSystemVersion() {
        QFETCH(QString, release);
        QFETCH(QString, version);
        DeviceInfoManager::Sources sources = emptySources();
        sources.kernelRelease = [release] { return release; };
        QCOMPARE(DeviceInfoManager(sources).macOSVersion(), version);
    }

    void primaryMACAddress_data() {
        QTest::addColumn<Interfaces>("interfaces");
        QTest::addColumn<std::optional<QString>>("address");
        const auto none = std::optional<QString>();
        QTest::newRow("ethernet") << Interfaces{nic(QNetworkInterface::Ethernet,
                                                    "3C:22:FB:0A:1B:2C")}
                                  << std::optional<QString>("3c:22:fb:0a:1b:2c");
        QTest::newRow("loopback first")
            << Interfaces{nic(QNetworkInterface::Loopback, "00:00:00:00:00:00", true),
                          nic(QNetworkInterface::Wifi, "AA:BB:CC:DD:EE:01"),
                          nic(QNetworkInterface::Ethernet, "AA:BB:CC:DD:EE:02")}
            << std::optional<QString>("aa:bb:cc:dd:ee:01");
        QTest::newRow("empty address skipped")
            << Interfaces{nic(QNetworkInterface::Ethernet, ""),
                          nic(QNetworkInterface::Ethernet, "00:00:00:00:00:00"),
                          nic(QNetworkInterface::Ethernet, "02:42:AC:11:00:02")}
            << std::optional<QString>("02:42:ac:11:00:02");
        QTest::newRow("not ethernet-like")
            << Interfaces{nic(QNetworkInterface::Virtual, "AA:BB:CC:DD:EE:03"),
                          nic(QNetworkInterface::Ppp, "")}
            << none;
        QTest::newRow("ethernet loopback")
            << Interfaces{nic(QNetworkInterface::Ethernet, "AA:BB:CC:DD:EE:04", true)} << none;
        QTest::newRow("no interfaces") << Interfaces{} << none;
    }
    void primaryMACAddress() {
        QFETCH(Interfaces, interfaces);
        QFETCH(std::optional<QString>, address);
        DeviceInfoManager::Sources sources = emptySources();
        sources.networkInterfaces = [interfaces] { return interfaces; };
        QCOMPARE(DeviceInfoManager(sources).primaryMACAddress(), address);
    }

    void platformSerialNumber_data() {
        QTest::addColumn<QStringList>("contents");  // one per file; "-" for a file that is missing
        QTest::addColumn<std::optional<QString>>("serial");
        QTest::newRow("serial") << QStringList{"PF3X9K2L\n", "machine\n"}
                                << std::optional<QString>("PF3X9K2L");
        QTest::newRow("unreadable serial")
            << QStringList{"-", "4c4c4544003510\n"} << std::optional<QString>("4c4c4544003510");
        QTest::newRow("blank serial")
            << QStringList{"  \n", "4c4c4544003510"} << std::optional<QString>("4c4c4544003510");
        QTest::newRow("nothing") << QStringList{"-", ""} << std::optional<QString>();
    }
    void platformSerialNumber() {
        QFETCH(QStringList, contents);
        QFETCH(std::optional<QString>, serial);
        QTemporaryDir dir;
        DeviceInfoManager::Sources sources = emptySources();
        for (qsizetype i = 0; i < contents.size(); ++i) {
            const QString path = dir.filePath(QString::number(i));
            sources.serialNumberFiles << path;
            if (contents[i] != "-") {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(contents[i].toUtf8());
            }
        }
        QCOMPARE(DeviceInfoManager(sources).platformSerialNumber(), serial);
    }
};

QTEST_GUILESS_MAIN(DeviceInfoTest)
#include "tst_DeviceInfo.moc"
