#include "SdkTestSupport.h"

#include "foundation/concurrency/MainQueue.h"
#include "sdk/KXClient.h"
#include "sdk/KXDevice.h"
#include "sdk/KXErrorCode.h"
#include "sdk/simulated/SimulatedCloud.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>

Q_DECLARE_METATYPE(DeviceEvent)

class SdkDeviceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SdkTestBench> m_bench;

private Q_SLOTS:
    void init() { m_bench = std::make_unique<SdkTestBench>(); }
    void cleanup() { m_bench.reset(); }

    void deviceParamsAnswerOnceOffTheGuiThread_data() {
        QTest::addColumn<bool>("initialized");
        QTest::addColumn<bool>("autoProvision");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("injectedCode");
        QTest::addColumn<int>("expectedCode");  // 0: parameters

        QTest::newRow("known device") << true << true << "t" << 0 << 0;
        QTest::newRow("injected error") << true << true << "t" << 42 << 42;
        QTest::newRow("no token") << true << true << "" << 0 << KXErrorCode::authenticationFailed;
        QTest::newRow("unknown device") << true << false << "t" << 0 << KXErrorCode::deviceNotFound;
        QTest::newRow("before sdkInit") << false << true << "t" << 0 << KXErrorCode::notInitialized;
    }
    void deviceParamsAnswerOnceOffTheGuiThread() {
        QFETCH(bool, initialized);
        QFETCH(bool, autoProvision);
        QFETCH(QString, token);
        QFETCH(int, injectedCode);
        QFETCH(int, expectedCode);
        if (!initialized) {
            KXClient::sdkCleanup();
        }
        m_bench->cloud->setAutoProvision(autoProvision);
        SimulatedDeviceProfile profile;
        profile.ipAddress = QStringLiteral("10.1.2.3");
        profile.port = 7001;
        m_bench->cloud->provision(QStringLiteral("other"), profile);
        if (autoProvision) {
            m_bench->cloud->provision(QStringLiteral("7"), profile);
        }
        if (injectedCode) {
            m_bench->cloud->setParamsError(QStringLiteral("7"),
                                           Error{QStringLiteral("svc"), injectedCode, {}});
        }

        std::mutex mutex;
        QList<Result<KXDeviceParamsObc>> answers;
        std::atomic<int> onGuiThread{0};
        m_bench->client->getDeviceParams(QStringLiteral("7"), QStringLiteral("u"), token,
                                         [&](Result<KXDeviceParamsObc> answer) {
                                             onGuiThread += MainQueue::isMainThread() ? 1 : 0;
                                             std::lock_guard lock(mutex);
                                             answers.append(std::move(answer));
                                         });
        QTRY_COMPARE(([&] {
                         std::lock_guard lock(mutex);
                         return answers.size();
                     })(),
                     1);
        m_bench->cloud->drain();
        QCOMPARE(answers.size(), 1);
        QCOMPARE(onGuiThread.load(), 0);
        const auto& answer = answers.first();
        QCOMPARE(answer.ok(), expectedCode == 0);
        if (expectedCode == 0) {
            QCOMPARE(answer.value().deviceID(), QStringLiteral("7"));
            QCOMPARE(answer.value().ipAddress(), QStringLiteral("10.1.2.3"));
            QCOMPARE(answer.value().port(), quint16(7001));
            QCOMPARE(answer.value().token(), token);
        } else {
            QCOMPARE(answer.error().code, expectedCode);
        }
    }

    void createDeviceRefusesWhatCannotConnect_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("initialized");
        QTest::addColumn<int>("expectedCode");  // 0: a device

        QTest::newRow("provisioned") << "1"
                                     << "10.0.0.1" << true << 0;
        QTest::newRow("no id") << ""
                               << "10.0.0.1" << true << KXErrorCode::invalidParameters;
        QTest::newRow("no address") << "1"
                                    << "" << true << KXErrorCode::invalidParameters;
        QTest::newRow("unknown") << "2"
                                 << "10.0.0.1" << true << KXErrorCode::deviceNotFound;
        QTest::newRow("not initialized") << "1"
                                         << "10.0.0.1" << false << KXErrorCode::notInitialized;
    }
    void createDeviceRefusesWhatCannotConnect() {
        QFETCH(QString, id);
        QFETCH(QString, address);
        QFETCH(bool, initialized);
        QFETCH(int, expectedCode);
        m_bench->cloud->setAutoProvision(false);
        m_bench->cloud->provision(QStringLiteral("1"));
        if (!initialized) {
            KXClient::sdkCleanup();
        }
        const auto created =
            m_bench->client->createDevice(SdkTestBench::params(id, address), m_bench->delegate);
        QCOMPARE(created.ok(), expectedCode == 0);
        if (expectedCode) {
            QCOMPARE(created.error().code, expectedCode);
            QCOMPARE(m_bench->cloud->device(QStringLiteral("1"))->openSessionCount(), 0);
        } else {
            QCOMPARE(created.value()->config(), SdkTestBench::params(id, address));
            QCOMPARE(m_bench->cloud->device(id)->connections().size(), 1);
        }
    }

    void connectedDeviceReportsReadyAndItsStateOffTheGuiThread() {
        m_bench->cloud->provision(QStringLiteral("5"))
            ->inject(DeviceEvent::rotation(KXRotationObc::rotation90));
        const auto device = m_bench->connect(QStringLiteral("5"));
        QVERIFY(device);
        QCOMPARE(m_bench->delegate->texts(),
                 (QStringList{"ready", "screenSize:1080x1920", "rotation:1"}));
        QVERIFY(!m_bench->delegate->anyOnGuiThread());
        QCOMPARE(device->rotation(), KXRotationObc::rotation90);
    }

    void injectedEventsReachTheirDelegate_data() {
        QTest::addColumn<DeviceEvent>("event");
        QTest::addColumn<QString>("expected");

        const Error auth{QStringLiteral("KXDevice"), 3, QStringLiteral("auth")};
        QTest::newRow("kick-out") << DeviceEvent::kickout(2) << "kickout:2";
        QTest::newRow("auth error") << DeviceEvent::deviceError(auth) << "error:3";
        QTest::newRow("error without object") << DeviceEvent::deviceError({}) << "error";
        QTest::newRow("exception")
            << DeviceEvent::exceptionStatus(-1, {}) << "exceptionStatus:-1/none";
        QTest::newRow("no size") << DeviceEvent::screenSize({}) << "screenSize";
        QTest::newRow("rotation") << DeviceEvent::rotation(KXRotationObc::rotation270)
                                  << "rotation:3";
        QTest::newRow("clip") << DeviceEvent::clipData(QStringLiteral("复制")) << "clip:复制";
        QTest::newRow("stream timeout") << DeviceEvent::streamTimeout() << "streamTimeout";
        QTest::newRow("stats") << DeviceEvent::netStat(QVariantMap{{"rtt", 12}}) << "netStat:12";
        QTest::newRow("stream error") << DeviceEvent::realPlayError(auth) << "streamError:3";
        QTest::newRow("stuck") << DeviceEvent::networkStuck() << "stuck";
    }
    void injectedEventsReachTheirDelegate() {
        QFETCH(DeviceEvent, event);
        QFETCH(QString, expected);
        const auto device = m_bench->connect(QStringLiteral("3"));
        m_bench->delegate->clear();
        const auto simulated = m_bench->cloud->device(QStringLiteral("3"));
        simulated->inject(event);
        simulated->drain();
        QCOMPARE(m_bench->delegate->texts(), QStringList{expected});
        QVERIFY(!m_bench->delegate->anyOnGuiThread());
    }

    void touchesArriveInTheOrderSent() {
        const auto device = m_bench->connect(QStringLiteral("8"));
        QList<TouchRecord> sent;
        device->touchBegin();
        sent.append({TouchPhase::begin, {}});
        for (int step = 0; step < 20; ++step) {
            QList<KXTouchObc> contacts{KXTouchObc(step / 20.0f, 0.5f, 0)};
            if (step % 3 == 0) {
                contacts.append(KXTouchObc(0.9f, 1.2f, 4));  // outside the picture: sent as is
            }
            device->touchMove(contacts);
            sent.append({TouchPhase::move, contacts});
        }
        device->touchEnd();
        sent.append({TouchPhase::end, {}});
        const auto simulated = m_bench->cloud->device(QStringLiteral("8"));
        QCOMPARE(simulated->touches(), sent);
        QVERIFY(simulated->activeContacts().isEmpty());

        device->close();
        device->touchBegin();
        QCOMPARE(simulated->touches().size(), sent.size());
    }

    // A device in use for hours keeps the newest of what it received, not every mouse move.
    void recordsKeepTheNewest() {
        const auto device = m_bench->connect(QStringLiteral("8"));
        const int sent = int(SimulatedDevice::kKeptRecords) + 10;
        for (int i = 0; i < sent; ++i) {
            device->touchMove({KXTouchObc(0.5f, 0.5f, i)});
        }
        const QList<TouchRecord> kept = m_bench->cloud->device(QStringLiteral("8"))->touches();
        QCOMPARE(kept.size(), SimulatedDevice::kKeptRecords);
        QCOMPARE(kept.first().contacts.value(0).index(), 10);
        QCOMPARE(kept.last().contacts.value(0).index(), sent - 1);
    }

    void kickoutOtherDisconnectsTheOtherUsersOnly() {
        const auto mine = m_bench->connect(QStringLiteral("4"));
        auto theirDelegate = std::make_shared<RecordingDelegate>();
        KXClient theirClient(KXClientParamsObc(), m_bench->cloud);
        const auto theirs =
            theirClient.createDevice(SdkTestBench::params(QStringLiteral("4")), theirDelegate);
        QVERIFY(theirs);
        const auto simulated = m_bench->cloud->device(QStringLiteral("4"));
        QCOMPARE(simulated->openSessionCount(), 2);
        m_bench->delegate->clear();

        mine->kickoutOther();
        mine->refreshToken(QStringLiteral("t2"));
        simulated->drain();
        QCOMPARE(theirDelegate->count(QStringLiteral("kickout:4")), 1);
        QCOMPARE(m_bench->delegate->count(QStringLiteral("kickout")), 0);
        QCOMPARE(simulated->kickoutOtherCount(), 1);
        QCOMPARE(simulated->openSessionCount(), 1);
        QCOMPARE(simulated->refreshedTokens(), QStringList{"t2"});

        theirs.value()->touchBegin();
        mine->touchEnd();
        QCOMPARE(simulated->touches(), (QList<TouchRecord>{{TouchPhase::end, {}}}));
    }

    void previewsAreEncodedPictures_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("readerFormat");
        QTest::addColumn<int>("expectedCode");

        QTest::newRow("jpeg") << 0 << QByteArray("jpeg") << 0;
        QTest::newRow("webp") << 1 << QByteArray("webp") << 0;
        QTest::newRow("png") << 2 << QByteArray("png") << 0;
        QTest::newRow("unknown format") << 7 << QByteArray() << KXErrorCode::unsupportedFormat;
    }
    void previewsAreEncodedPictures() {
        QFETCH(int, format);
        QFETCH(QByteArray, readerFormat);
        QFETCH(int, expectedCode);
        const auto device = m_bench->connect(QStringLiteral("6"));
        std::mutex mutex;
        int answers = 0;
        std::optional<KXImageObc> image;
        std::optional<Error> error;
        bool onGuiThread = false;
        device->getPreview(KXSizeObc(120, 200), 80, static_cast<quint8>(format),
                           [&](const std::optional<KXImageObc>& i, const std::optional<Error>& e) {
                               std::lock_guard lock(mutex);
                               ++answers;
                               image = i;
                               error = e;
                               onGuiThread = MainQueue::isMainThread();
                           });
        QTRY_COMPARE(([&] {
                         std::lock_guard lock(mutex);
                         return answers;
                     })(),
                     1);
        QVERIFY(!onGuiThread);
        QCOMPARE(image.has_value(), expectedCode == 0);
        QCOMPARE(error.has_value(), expectedCode != 0);
        if (expectedCode) {
            QCOMPARE(error->code, expectedCode);
            return;
        }
        QCOMPARE(image->size(), KXSizeObc(120, 200));
        QCOMPARE(image->format(), format);
        QBuffer buffer;
        buffer.setData(image->imageData());
        QImageReader reader(&buffer, readerFormat);
        const QImage decoded = reader.read();
        QCOMPARE(decoded.size(), QSize(120, 200));
        const auto requests = m_bench->cloud->device(QStringLiteral("6"))->previewRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().quality, 80);
    }

    void shellCommandsAreAnsweredFromTheDeviceTable_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("foreground");

        const QString launcher = QStringLiteral("com.android.launcher3");
        const QString settings = QStringLiteral("com.android.settings");
        QTest::newRow("start an installed app")
            << "am start com.android.settings/.Settings"
            << "Starting: Intent { cmp=com.android.settings/.Settings }\n"
            << settings;
        QTest::newRow("start an unknown app")
            << "am start com.nowhere/.Main"
            << "Error: Activity not started, unable to resolve Intent\n"
            << launcher;
        QTest::newRow("home key") << "input keyevent 3"
                                  << "" << launcher;
        QTest::newRow("unknown program") << "frobnicate --now"
                                         << "/system/bin/sh: frobnicate: inaccessible or not "
                                            "found\n"
                                         << settings;
    }
    void shellCommandsAreAnsweredFromTheDeviceTable() {
        QFETCH(QString, command);
        QFETCH(QString, output);
        QFETCH(QString, foreground);
        const auto device = m_bench->connect(QStringLiteral("6"));
        const auto simulated = m_bench->cloud->device(QStringLiteral("6"));
        if (!command.startsWith(QLatin1String("am start"))) {
            simulated->setForegroundApp(QStringLiteral("com.android.settings"));
        }
        std::mutex mutex;
        std::optional<QString> answer;
        std::atomic<bool> onGuiThread{true};
        std::atomic<int> calls{0};
        device->sendAdbCommandWithResult(
            command, [&](const std::optional<Error>& error, const std::optional<QString>& text) {
                onGuiThread = MainQueue::isMainThread();
                std::lock_guard lock(mutex);
                answer = error ? std::nullopt : text;
                ++calls;
            });
        QTRY_COMPARE(calls.load(), 1);
        QVERIFY(!onGuiThread);
        QCOMPARE(answer, std::optional<QString>(output));
        QCOMPARE(simulated->foregroundApp(), foreground);
        QCOMPARE(simulated->shellCommands(), QStringList{command});
    }

    void requestsToAClosedDeviceFail() {
        const auto device = m_bench->connect(QStringLiteral("6"));
        const auto simulated = m_bench->cloud->device(QStringLiteral("6"));
        device->close();
        std::atomic<int> code{0};
        device->queryDiskDetail(
            [&](const std::optional<QVariantMap>& info, const std::optional<Error>& e) {
                code = e && !info ? e->code : -1;
            });
        device->sendText(QStringLiteral("lost"));
        QTRY_COMPARE(code.load(), KXErrorCode::deviceClosed);
        QVERIFY(simulated->requests().isEmpty());
        QVERIFY(simulated->controls().isEmpty());
    }

    void closedDeviceHearsNothingMore() {
        const auto device = m_bench->connect(QStringLiteral("9"));
        const auto simulated = m_bench->cloud->device(QStringLiteral("9"));
        m_bench->delegate->clear();
        device->close();
        simulated->inject(DeviceEvent::clipData(QStringLiteral("late")));
        simulated->drain();
        QVERIFY(m_bench->delegate->texts().isEmpty());
        QVERIFY(device->isClosed());
        QCOMPARE(simulated->openSessionCount(), 0);

        std::atomic<int> code{0};
        device->getPreview(KXSizeObc(10, 10), 0, 0,
                           [&](const std::optional<KXImageObc>&, const std::optional<Error>& e) {
                               code = e ? e->code : -1;
                           });
        QTRY_COMPARE(code.load(), KXErrorCode::deviceClosed);
    }

    void sdkCleanupClosesEveryOpenDevice() {
        const auto first = m_bench->connect(QStringLiteral("1"));
        const auto second = m_bench->connect(QStringLiteral("2"));
        KXClient::sdkCleanup();
        QVERIFY(first->isClosed());
        QVERIFY(second->isClosed());
        QVERIFY(!KXClient::isInitialized());
        QVERIFY(QFile::exists(m_bench->logs.filePath(QStringLiteral("kxsdk.log"))));
    }
};

QTEST_MAIN(SdkDeviceTest)
#include "tst_SdkDevice.moc"
