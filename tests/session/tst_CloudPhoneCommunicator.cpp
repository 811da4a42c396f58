#include "SessionTestSupport.h"

#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kPrefix = QStringLiteral("CloudPhoneCommunicator.");
const QString kAdd = QStringLiteral("add(deviceID:options:userID:userToken:completionHandler:)");

std::optional<QString> optionalText(const QVariant& value) {
    return value.isValid() ? std::optional(value.toString()) : std::nullopt;
}

}  // namespace

class CloudPhoneCommunicatorTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_logs;
    std::unique_ptr<ConsoleCapture> m_console;
    std::shared_ptr<SimulatedCloud> m_cloud;
    std::shared_ptr<FakeIdentity> m_identity;
    std::unique_ptr<CloudPhoneCommunicator> m_communicator;

    void configure(std::optional<QString> appKey = {}) {
        m_communicator->configClient(ClientInitOptions{std::move(appKey), Area::domestic},
                                     m_identity);
    }

    std::shared_ptr<CompletionProbe> add(const QString& id,
                                         const std::optional<DeviceOptions>& options = {},
                                         const std::optional<QString>& uid = {},
                                         const std::optional<QString>& token = {}) {
        auto probe = std::make_shared<CompletionProbe>();
        m_communicator->add(id, options, uid, token, CompletionProbe::into(probe));
        return probe;
    }

    bool addAndWait(const QString& id, const std::optional<DeviceOptions>& options = {}) {
        const auto probe = add(id, options);
        if (!QTest::qWaitFor([&] { return probe->calls > 0; })) {
            return false;
        }
        return probe->value;
    }

    std::shared_ptr<SimulatedDevice> simulated(const QString& id) { return m_cloud->device(id); }

private Q_SLOTS:
    void init() {
        m_console = std::make_unique<ConsoleCapture>();
        m_cloud = std::make_shared<SimulatedCloud>();
        SimulatedDeviceProfile profile;
        profile.ipAddress = QStringLiteral("10.1.1.1");
        profile.port = 6000;
        m_cloud->provision(QStringLiteral("5"), profile);
        m_identity = std::make_shared<FakeIdentity>(QStringLiteral("u1"), QStringLiteral("t1"));
        m_communicator = std::make_unique<CloudPhoneCommunicator>(m_cloud);
        m_communicator->setupWithLogPath(m_logs.path());
        configure();
        ConsoleCapture::clear();
    }
    void cleanup() {
        m_communicator.reset();
        m_cloud.reset();
        KXClient::sdkCleanup();
        m_console.reset();
    }

    void addTakesParametersFromOptionsOrTheService_data() {
        QTest::addColumn<QVariant>("host");
        QTest::addColumn<QVariant>("port");
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QVariant>("uid");
        QTest::addColumn<QVariant>("token");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("expectedPort");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("expectedUid");
        QTest::addColumn<QString>("expectedToken");

        const QVariant none;
        QTest::newRow("options") << QVariant("10.9.9.9") << QVariant(5555) << true << none << none
                                 << "10.9.9.9" << 5555 << 0 << "u1"
                                 << "t1";
        QTest::newRow("no options")
            << none << none << false << none << none << "10.1.1.1" << 6000 << 1 << "u1"
            << "t1";
        QTest::newRow("host without port") << QVariant("10.9.9.9") << none << true << none << none
                                           << "10.1.1.1" << 6000 << 1 << "u1"
                                           << "t1";
        QTest::newRow("identity given") << none << none << false << QVariant("u9") << QVariant("t9")
                                        << "10.1.1.1" << 6000 << 1 << "u9"
                                        << "t9";
    }
    void addTakesParametersFromOptionsOrTheService() {
        QFETCH(QVariant, host);
        QFETCH(QVariant, port);
        QFETCH(bool, tcp);
        QFETCH(QVariant, uid);
        QFETCH(QVariant, token);
        QFETCH(QString, address);
        QFETCH(int, expectedPort);
        QFETCH(int, requests);
        QFETCH(QString, expectedUid);
        QFETCH(QString, expectedToken);
        std::optional<DeviceOptions> options;
        if (host.isValid()) {
            options = DeviceOptions{host.toString(),
                                    port.isValid() ? std::optional(port.toInt()) : std::nullopt,
                                    tcp ? DeviceConnectType::tcp : DeviceConnectType::udp};
        }

        const auto probe =
            add(QStringLiteral("5"), options, optionalText(uid), optionalText(token));
        QTRY_COMPARE(probe->calls, 1);
        QVERIFY(probe->value);
        QVERIFY(probe->onGuiThread);
        QVERIFY(m_communicator->isDeviceAdded(QStringLiteral("5")));

        const KXDeviceParamsObc config =
            m_communicator->registry().device(QStringLiteral("5"))->config();
        QCOMPARE(config.ipAddress(), address);
        QCOMPARE(config.port(), quint16(expectedPort));
        QCOMPARE(config.uid(), expectedUid);
        QCOMPARE(config.token(), expectedToken);
        QCOMPARE(config.transport(),
                 tcp ? KXTransportProtocolTypeObc::tcp : KXTransportProtocolTypeObc::udp);
        QCOMPARE(m_communicator->registry().realTimeDeviceParamsMap().value(QStringLiteral("5")),
                 config);
        QCOMPARE(simulated(QStringLiteral("5"))->connections().size(), 1);
        QCOMPARE(simulated(QStringLiteral("5"))->connections().first().params, config);
        const auto asked = m_cloud->paramsRequests();
        QCOMPARE(asked.size(), requests);
        if (requests) {
            QCOMPARE(asked.first().uid, expectedUid);
            QCOMPARE(asked.first().token, expectedToken);
            QVERIFY(ConsoleCapture::contains(kPrefix + "addDevice,设备:5,请求配置"));
        }
    }

    void secondAddOfARegisteredIdChangesNothing() {
        QVERIFY(addAndWait(QStringLiteral("5")));
        const auto device = m_communicator->registry().device(QStringLiteral("5"));
        const auto probe =
            add(QStringLiteral("5"), DeviceOptions{"10.2.2.2", 7000, DeviceConnectType::tcp});
        QCOMPARE(probe->calls, 1);
        QVERIFY(!probe->value);
        QVERIFY(ConsoleCapture::contains(kPrefix + kAdd + ",设备5已存在。"));
        QCOMPARE(m_communicator->registry().device(QStringLiteral("5")), device);
        QCOMPARE(m_communicator->registry().devices().size(), size_t(1));
        QCOMPARE(simulated(QStringLiteral("5"))->connections().size(), 1);
    }

    void concurrentAddsOfOneIdMakeOneDevice() {
        const auto first = add(QStringLiteral("5"));
        const auto second = add(QStringLiteral("5"));
        QTRY_COMPARE(first->calls + second->calls, 2);
        QCOMPARE(int(first->value) + int(second->value), 1);
        QCOMPARE(m_communicator->registry().devices().size(), size_t(1));
        QCOMPARE(simulated(QStringLiteral("5"))->connections().size(), 1);
        QCOMPARE(simulated(QStringLiteral("5"))->openSessionCount(), 1);
    }

    void addAfterRemoveUsesTheCachedParameters() {
        QVERIFY(addAndWait(QStringLiteral("5")));
        const KXDeviceParamsObc first =
            m_communicator->registry().device(QStringLiteral("5"))->config();
        m_communicator->remove(QStringLiteral("5"));
        QVERIFY(!m_communicator->isDeviceAdded(QStringLiteral("5")));
        QCOMPARE(simulated(QStringLiteral("5"))->openSessionCount(), 0);

        m_identity->token = QStringLiteral("t2");
        const auto probe = add(QStringLiteral("5"), DeviceOptions{{}, {}, DeviceConnectType::tcp});
        QCOMPARE(probe->calls, 1);  // no service round trip
        QVERIFY(probe->value);
        QVERIFY(ConsoleCapture::contains(kPrefix + "addDevice,设备:5,使用缓存配置"));
        QCOMPARE(m_cloud->paramsRequests().size(), 1);
        const KXDeviceParamsObc second =
            m_communicator->registry().device(QStringLiteral("5"))->config();
        QCOMPARE(second.ipAddress(), first.ipAddress());
        QCOMPARE(second.port(), first.port());
        QCOMPARE(second.transport(), KXTransportProtocolTypeObc::tcp);
        QCOMPARE(second.token(), QStringLiteral("t2"));

        m_communicator->remove(QStringLiteral("5"));
        QVERIFY(ConsoleCapture::lines().count(kPrefix + "remove(deviceID:),设备5不存在。") == 0);
        m_communicator->remove(QStringLiteral("5"));
        QVERIFY(ConsoleCapture::contains(kPrefix + "remove(deviceID:),设备5不存在。"));
    }

    void portsOutsideSixteenBitsAreRefused_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("-1") << -1 << false;
        QTest::newRow("0") << 0 << true;
        QTest::newRow("65535") << 65535 << true;
        QTest::newRow("65536") << 65536 << false;
        QTest::newRow("100000") << 100000 << false;
    }
    void portsOutsideSixteenBitsAreRefused() {
        QFETCH(int, port);
        QFETCH(bool, accepted);
        const auto probe =
            add(QStringLiteral("5"), DeviceOptions{"10.3.3.3", port, DeviceConnectType::udp});
        QCOMPARE(probe->calls, 1);
        QCOMPARE(probe->value, accepted);
        QCOMPARE(m_communicator->isDeviceAdded(QStringLiteral("5")), accepted);
        const QString refusal = kPrefix + kAdd + ",deviceID:5,端口无效:" + QString::number(port);
        QCOMPARE(ConsoleCapture::contains(refusal), !accepted);
        if (accepted) {
            QCOMPARE(m_communicator->registry().device(QStringLiteral("5"))->config().port(),
                     quint16(port));
        }
    }

    void failedRegistrationsReportFalse_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("line");
        QTest::newRow("service error")
            << "service"
            << "Optional<CloudPhoneCommunicator>.loadDeviceInfo,error:boom";
        QTest::newRow("device refused by the SDK")
            << "sdk" << kPrefix + "createDeviceWithInfo(_:),error:device 77 not found";
        QTest::newRow("no identity") << "identity" << kPrefix + kAdd + ",用户身份信息错误";
        QTest::newRow("no client") << "client" << kPrefix + "addDevice,设备:77,请求配置";
    }
    void failedRegistrationsReportFalse() {
        QFETCH(QString, failure);
        QFETCH(QString, line);
        std::optional<DeviceOptions> options;
        if (failure == "service") {
            m_cloud->setParamsError(QStringLiteral("77"), Error{"svc", 9, "boom"});
        } else if (failure == "sdk") {
            m_cloud->setAutoProvision(false);
            options = DeviceOptions{"10.4.4.4", 4000, DeviceConnectType::udp};
        } else {
            m_communicator = std::make_unique<CloudPhoneCommunicator>(m_cloud);
            if (failure == "identity") {
                m_communicator->configClient({}, nullptr);
            }
        }
        const bool identityGiven = failure != "identity";
        const auto probe = add(QStringLiteral("77"), options,
                               identityGiven ? std::optional<QString>("u") : std::nullopt,
                               identityGiven ? std::optional<QString>("t") : std::nullopt);
        QTRY_COMPARE(probe->calls, 1);
        QVERIFY(!probe->value);
        QVERIFY(probe->onGuiThread);
        QVERIFY(ConsoleCapture::contains(line));
        QVERIFY(!m_communicator->isDeviceAdded(QStringLiteral("77")));
        QVERIFY(m_communicator->registry().devices().empty());
        QVERIFY(
            !m_communicator->registry().realTimeDeviceParamsMap().contains(QStringLiteral("77")));
    }

    void updateDeviceSwitchesTheTransport_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<bool>("sdkAvailable");
        QTest::addColumn<bool>("expected");
        QTest::newRow("unknown id") << "6" << true << true << false;
        QTest::newRow("transport in use") << "5" << false << true << false;
        QTest::newRow("other transport") << "5" << true << true << true;
        QTest::newRow("SDK refuses the new device") << "5" << true << false << false;
    }
    void updateDeviceSwitchesTheTransport() {
        QFETCH(QString, id);
        QFETCH(bool, tcp);
        QFETCH(bool, sdkAvailable);
        QFETCH(bool, expected);
        QVERIFY(addAndWait(QStringLiteral("5")));
        const auto before = m_communicator->registry().device(QStringLiteral("5"));
        if (!sdkAvailable) {
            KXClient::sdkCleanup();
        }
        const auto probe = std::make_shared<CompletionProbe>();
        m_communicator->updateDevice(id, tcp ? DeviceConnectType::tcp : DeviceConnectType::udp,
                                     CompletionProbe::into(probe));
        QCOMPARE(probe->calls, 1);
        QCOMPARE(probe->value, expected);
        const auto after = m_communicator->registry().device(QStringLiteral("5"));
        const bool switched = id == "5" && tcp;
        QCOMPARE(before->isClosed(), switched);
        QCOMPARE(after == nullptr, switched && !sdkAvailable);
        QCOMPARE(m_communicator->registry().devices().size(), size_t(after ? 1 : 0));
        if (switched && sdkAvailable) {
            QVERIFY(after != before);
            QCOMPARE(after->config().transport(), KXTransportProtocolTypeObc::tcp);
            QCOMPARE(after->config().ipAddress(), before->config().ipAddress());
            QCOMPARE(simulated(QStringLiteral("5"))->openSessionCount(), 1);
            QVERIFY(ConsoleCapture::contains(kPrefix + "udpdateDevice,deviceID:5,connectType:tcp"));
        }
    }

    void authenticationFailureIsHandledOnceUntilTheTokenIsRefreshed() {
        QVERIFY(addAndWait(QStringLiteral("5")));
        QVERIFY(addAndWait(QStringLiteral("6")));
        QStringList handled;
        m_communicator->setAuthenticationFailureHandler([&](const QString& id) { handled << id; });
        const auto five = m_communicator->registry().device(QStringLiteral("5"));
        const auto six = m_communicator->registry().device(QStringLiteral("6"));
        const QString ignored =
            kPrefix +
            "handleAuthenticationFailure(deviceID:from:),忽略重复或已失效的鉴权失败,设备:";

        m_communicator->handleAuthenticationFailure(QStringLiteral("5"), five);
        QCOMPARE(handled, QStringList{"5"});
        QVERIFY(!m_communicator->isDeviceAdded(QStringLiteral("5")));
        QVERIFY(five->isClosed());

        m_communicator->handleAuthenticationFailure(QStringLiteral("6"), six);
        QCOMPARE(handled, QStringList{"5"});
        QVERIFY(m_communicator->isDeviceAdded(QStringLiteral("6")));
        QVERIFY(ConsoleCapture::contains(ignored + "6"));

        m_communicator->refreshUserToken();
        m_communicator->handleAuthenticationFailure(QStringLiteral("6"), five);  // stale object
        QCOMPARE(handled, QStringList{"5"});
        m_communicator->handleAuthenticationFailure(QStringLiteral("6"), six);
        QCOMPARE(handled, (QStringList{"5", "6"}));
    }

    void injectedAuthenticationErrorReachesTheFailureHandling_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("handled");
        QTest::newRow("authentication") << 3 << true;
        QTest::newRow("other error") << 4 << false;
    }
    void injectedAuthenticationErrorReachesTheFailureHandling() {
        QFETCH(int, code);
        QFETCH(bool, handled);
        QVERIFY(addAndWait(QStringLiteral("5")));
        QStringList ids;
        bool onGuiThread = true;
        m_communicator->setAuthenticationFailureHandler([&](const QString& id) {
            ids << id;
            onGuiThread = onGuiThread && MainQueue::isMainThread();
        });
        simulated(QStringLiteral("5"))
            ->inject(DeviceEvent::deviceError(Error{"KXDevice", code, "x"}));
        simulated(QStringLiteral("5"))->drain();
        if (handled) {
            QTRY_COMPARE(ids, QStringList{"5"});
            QVERIFY(onGuiThread);
            QVERIFY(!m_communicator->isDeviceAdded(QStringLiteral("5")));
            QCOMPARE(simulated(QStringLiteral("5"))->openSessionCount(), 0);
        } else {
            QTest::qWait(20);  // a relayed report would have reached the handler by now
            QVERIFY(ids.isEmpty());
            QVERIFY(m_communicator->isDeviceAdded(QStringLiteral("5")));
        }
    }

    void refreshUserTokenSendsEachDeviceItsToken_data() {
        QTest::addColumn<QVariant>("appKey");
        QTest::addColumn<bool>("json");
        QTest::newRow("app key") << QVariant("key") << true;
        QTest::newRow("empty app key") << QVariant("") << false;
        QTest::newRow("no app key") << QVariant() << false;
    }
    void refreshUserTokenSendsEachDeviceItsToken() {
        QFETCH(QVariant, appKey);
        QFETCH(bool, json);
        configure(optionalText(appKey));
        QVERIFY(addAndWait(QStringLiteral("5")));
        QVERIFY(addAndWait(QStringLiteral("6")));
        m_identity->token = QStringLiteral("t2");
        m_communicator->refreshUserToken();
        QVERIFY(ConsoleCapture::contains(kPrefix + "refreshUserToken(),更新UserToken"));
        for (const QString& id : {QStringLiteral("5"), QStringLiteral("6")}) {
            const QStringList tokens = simulated(id)->refreshedTokens();
            QCOMPARE(tokens.size(), 1);
            if (!json) {
                QCOMPARE(tokens.first(), QStringLiteral("t2"));
                continue;
            }
            const QJsonObject sent = QJsonDocument::fromJson(tokens.first().toUtf8()).object();
            QCOMPARE(sent, (QJsonObject{{"deviceId", id}, {"token", "t2"}, {"uid", "u1"}}));
        }
    }

    void refreshWithoutProviderKeepsTheLatch() {
        QVERIFY(addAndWait(QStringLiteral("5")));
        QVERIFY(addAndWait(QStringLiteral("6")));
        int handled = 0;
        m_communicator->setAuthenticationFailureHandler([&](const QString&) { ++handled; });
        m_communicator->handleAuthenticationFailure(
            QStringLiteral("5"), m_communicator->registry().device(QStringLiteral("5")));
        m_communicator->configClient({}, nullptr);
        m_communicator->refreshUserToken();
        QVERIFY(ConsoleCapture::contains(kPrefix + "refreshUserToken(),userToken is null."));
        m_communicator->handleAuthenticationFailure(
            QStringLiteral("6"), m_communicator->registry().device(QStringLiteral("6")));
        QCOMPARE(handled, 1);
    }

    void deviceTokenText_data() {
        QTest::addColumn<QVariant>("appKey");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("expected");  // empty: refused
        QTest::newRow("raw") << QVariant() << "t\"1"
                             << "t\"1";
        QTest::newRow("json") << QVariant("k") << "t\"1"
                              << "{\"deviceId\":\"5\",\"token\":\"t\\\"1\",\"uid\":\"u1\"}";
        QTest::newRow("lone surrogate") << QVariant("k") << QString(QChar(0xD800)) << "";
    }
    void deviceTokenText() {
        QFETCH(QVariant, appKey);
        QFETCH(QString, token);
        QFETCH(QString, expected);
        configure(optionalText(appKey));
        const auto text = m_communicator->registry().makeDeviceToken("5", "u1", token);
        QCOMPARE(text.ok(), !expected.isEmpty());
        if (text) {
            QCOMPARE(text.value(), expected);
            return;
        }
        QCOMPARE(text.error(),
                 (Error{"JSONConversionError", 0, "无法将 JSON 数据转换为 UTF-8 字符串"}));
        const auto probe =
            add("5", DeviceOptions{"10.5.5.5", 1, DeviceConnectType::udp}, "u1", token);
        QVERIFY(!probe->value);
        QVERIFY(ConsoleCapture::contains(
            kPrefix + kAdd + ",deviceID:5,token序列化失败:无法将 JSON 数据转换为 UTF-8 字符串"));
    }

    void closeIdleDevicesKeepsTheParameterCache() {
        QVERIFY(addAndWait(QStringLiteral("5")));
        QVERIFY(addAndWait(QStringLiteral("6")));
        m_communicator->closeIdleDevices();
        QVERIFY(m_communicator->registry().devices().empty());
        QVERIFY(!m_communicator->isDeviceAdded(QStringLiteral("5")));
        QCOMPARE(simulated(QStringLiteral("5"))->openSessionCount(), 0);
        QCOMPARE(simulated(QStringLiteral("6"))->openSessionCount(), 0);
        QCOMPARE(m_communicator->registry().realTimeDeviceParamsMap().size(), 2);
        QCOMPARE(add(QStringLiteral("6"))->value, true);
        QVERIFY(ConsoleCapture::contains(kPrefix + "addDevice,设备:6,使用缓存配置"));
    }

    void destoryTearsEverythingDownAndRefusesLaterUse() {
        QVERIFY(addAndWait(QStringLiteral("5")));
        const auto device = m_communicator->registry().device(QStringLiteral("5"));
        const auto pending = add(QStringLiteral("9"));  // answered after the teardown
        bool handled = false;
        m_communicator->setAuthenticationFailureHandler([&](const QString&) { handled = true; });

        m_communicator->destory();
        QVERIFY(ConsoleCapture::contains(kPrefix + "destory"));
        QVERIFY(device->isClosed());
        QVERIFY(m_communicator->registry().devices().empty());
        QVERIFY(m_communicator->registry().realTimeDeviceParamsMap().isEmpty());
        QVERIFY(!m_communicator->authenticationFailureHandler());
        QVERIFY(!KXClient::isInitialized());

        QTRY_COMPARE(pending->calls, 1);
        QVERIFY(!pending->value);
        const auto late =
            add(QStringLiteral("5"), DeviceOptions{"10.6.6.6", 1, DeviceConnectType::udp});
        QCOMPARE(late->calls, 1);
        QVERIFY(!late->value);
        QVERIFY(ConsoleCapture::contains(kPrefix + kAdd + ",已销毁,忽略调用"));
        m_communicator->refreshUserToken();
        m_communicator->destory();
        QVERIFY(!handled);
        QVERIFY(m_communicator->registry().devices().empty());
    }
};

QTEST_GUILESS_MAIN(CloudPhoneCommunicatorTest)
#include "tst_CloudPhoneCommunicator.moc"
