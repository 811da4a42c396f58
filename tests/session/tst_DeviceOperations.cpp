#include "SessionTestSupport.h"

#include "sdk/KXErrorCode.h"
#include "sdk/simulated/SimulatedDevice.h"
#include "session/CloudPhoneCommunicator.h"

#include <QFile>
#include <QTest>
#include <QUrl>

#include <memory>

Q_DECLARE_METATYPE(DeviceControl)

namespace {

const QString kFocusQuery = "dumpsys window windows | grep -E 'mCurrentFocus|mFocusedApp'";

// Whatever an operation's completion was given, and where.
struct Answer {
    int calls = 0;
    bool onGuiThread = false;
    std::optional<Error> error;
    QVariant result;  // invalid when none came
};

}  // namespace

class DeviceOperationsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleCapture> m_console;
    std::unique_ptr<SessionBench> m_bench;

    CloudPhoneCommunicator& communicator() { return *m_bench->communicator; }
    std::shared_ptr<SimulatedDevice> device() { return m_bench->device("5"); }

    // Runs the operation on the device, with a completion that notes what it received.
    std::shared_ptr<Answer> run(const QString& operation, const QString& deviceID,
                                const QString& argument = {}) {
        auto answer = std::make_shared<Answer>();
        const auto note = [answer](const QVariant& result, const std::optional<Error>& error) {
            ++answer->calls;
            answer->onGuiThread = MainQueue::isMainThread();
            answer->result = result;
            answer->error = error;
        };
        const auto text = [note](const std::optional<QString>& value,
                                 const std::optional<Error>& error) {
            note(value ? QVariant(*value) : QVariant(), error);
        };
        const auto dictionary = [note](const std::optional<QVariantMap>& value,
                                       const std::optional<Error>& error) {
            note(value ? QVariant(*value) : QVariant(), error);
        };
        const auto bare = [note](const std::optional<Error>& error) { note({}, error); };
        auto& c = communicator();
        if (operation == "fetchActivePackageName") {
            c.fetchActivePackageName(deviceID, text);
        } else if (operation == "fetchDiskInfo") {
            c.fetchDiskInfo(deviceID, dictionary);
        } else if (operation == "transferFile") {
            c.transferFile(argument, deviceID, bare);
        } else if (operation == "installFile") {
            c.installFile(argument, deviceID, bare);
        } else if (operation == "sendCommand") {
            c.operations().sendCommand(ADBCommand::custom(argument), deviceID, bare);
        } else if (operation == "fetchLaunchableAppInfo") {
            c.operations().fetchLaunchableAppInfo(deviceID, text);
        } else if (operation == "fetchUninstallableAppInfo") {
            c.operations().fetchUninstallableAppInfo(deviceID, text);
        } else if (operation == "fetchCloudPhoneResourceInfo") {
            c.operations().fetchCloudPhoneResourceInfo(deviceID, dictionary);
        } else {
            qFatal("unknown operation %s", qPrintable(operation));
        }
        return answer;
    }

private Q_SLOTS:
    void init() {
        m_console = std::make_unique<ConsoleCapture>();
        m_bench = std::make_unique<SessionBench>();
        QVERIFY(m_bench->add({"5"}));
        device()->clearRecords();
        ConsoleCapture::clear();
    }
    void cleanup() {
        m_bench.reset();
        m_console.reset();
    }

    void unknownDeviceFailsBeforeTheCallReturns_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("line");  // empty: none

        QTest::newRow("foreground app") << "fetchActivePackageName"
                                        << "";
        QTest::newRow("disk") << "fetchDiskInfo"
                              << "CloudPhoneCommunicator.fetchDiskInfo(for:completionHandler:), "
                                 "Device[404] is null";
        QTest::newRow("transfer") << "transferFile"
                                  << "CloudPhoneCommunicator.transferFile(at:toDevice:"
                                     "completionHandler:), Device is null";
        QTest::newRow("install")
            << "installFile"
            << "CloudPhoneCommunicator.installFile(at:toDevice:completionHandler:), Device is null";
        QTest::newRow("command") << "sendCommand"
                                 << "";
        QTest::newRow("launchable apps") << "fetchLaunchableAppInfo"
                                         << "CloudPhoneCommunicator.fetchLaunchableAppInfo(for:"
                                            "completionHandler:), Device[404] is null";
        QTest::newRow("uninstallable apps") << "fetchUninstallableAppInfo"
                                            << "CloudPhoneCommunicator.fetchUninstallableAppInfo("
                                               "for:completionHandler:), Device[404] is null";
        QTest::newRow("resources") << "fetchCloudPhoneResourceInfo"
                                   << "CloudPhoneCommunicator.fetchCloudPhoneResourceInfo(for:"
                                      "completionHandler:), Device[404] is null";
    }
    void unknownDeviceFailsBeforeTheCallReturns() {
        QFETCH(QString, operation);
        QFETCH(QString, line);
        const auto answer = run(operation, "404", "/tmp/x.apk");
        QCOMPARE(answer->calls, 1);
        QVERIFY(!answer->result.isValid());
        QVERIFY(answer->error);
        QCOMPARE(answer->error->domain, "CloudPhoneCommunicator." + operation);
        QCOMPARE(answer->error->code, -1);
        QCOMPARE(answer->error->message, "设备不存在。");
        QCOMPARE(ConsoleCapture::lines(), line.isEmpty() ? QStringList() : QStringList{line});
    }

    void foregroundAppComesFromTheFocusReport_data() {
        QTest::addColumn<QVariant>("output");  // invalid: the device's own answer
        QTest::addColumn<int>("errorCode");    // 0: none
        QTest::addColumn<QVariant>("package");

        QTest::newRow("device's report") << QVariant() << 0 << QVariant("com.example.app");
        QTest::newRow("sample output")
            << QVariant(
                   "  mCurrentFocus=Window{1f2e3d4 u0 "
                   "com.example.app/com.example.app.MainActivity}\n"
                   "  mFocusedApp=ActivityRecord{5a6b7c u0 com.example.app/.MainActivity}")
            << 0 << QVariant("com.example.app");
        QTest::newRow("nothing focused")
            << QVariant("  mCurrentFocus=null\n  mFocusedApp=null\n") << 0 << QVariant();
        QTest::newRow("no output") << QVariant(QString()) << 0 << QVariant();
        QTest::newRow("device error") << QVariant() << 77 << QVariant();
    }
    void foregroundAppComesFromTheFocusReport() {
        QFETCH(QVariant, output);
        QFETCH(int, errorCode);
        QFETCH(QVariant, package);
        device()->setForegroundApp("com.example.app");
        if (output.isValid()) {
            DeviceReply reply;
            if (!output.toString().isEmpty()) {
                reply.text = output.toString();
            }
            device()->setShellAnswer(kFocusQuery, reply);
        }
        if (errorCode) {
            device()->setRequestError(DeviceRequest::Kind::shellCommand,
                                      Error{"shell", errorCode, "refused"});
        }
        const auto answer = run("fetchActivePackageName", "5");
        QCOMPARE(answer->calls, 0);
        QTRY_COMPARE(answer->calls, 1);
        QVERIFY(answer->onGuiThread);
        QCOMPARE(answer->result, package);
        QCOMPARE(answer->error ? answer->error->code : 0, errorCode);
        QCOMPARE(device()->shellCommands(), QStringList{kFocusQuery});
        QVERIFY(ConsoleCapture::contains(
            "CloudPhoneCommunicator.fetchActivePackageName(for:completionHandler:).设备:5,cmd:" +
            kFocusQuery));
    }

    void inputReachesARegisteredDevice_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<DeviceControl>("control");
        QTest::addColumn<QString>("line");

        QTest::newRow("text")
            << "sendText" << DeviceControl{DeviceControl::Kind::text, 0, 0, "你好 world"}
            << "CloudPhoneCommunicator.sendText(_:toDevice:).文本:<8 chars>,到设备:5";
        QTest::newRow("clipboard")
            << "copyTextToPasteboard"
            << DeviceControl{DeviceControl::Kind::clipboard, 0, 0, "你好 world"}
            << "CloudPhoneCommunicator.copyTextToPasteboard(_:toDevice:).文本:<8 chars>,到设备:5";
        QTest::newRow("key") << "sendTouchEvent"
                             << DeviceControl{DeviceControl::Kind::functionKey, 14, 2, {}}
                             << "CloudPhoneCommunicator.sendTouchEvent(name:event:toDevice:)"
                                "发送触碰事件:按键删除,到设备:5";
    }
    void inputReachesARegisteredDevice() {
        QFETCH(QString, operation);
        QFETCH(DeviceControl, control);
        QFETCH(QString, line);
        for (const QString& id : {QString("5"), QString("404")}) {
            if (operation == "sendText") {
                communicator().sendText("你好 world", id);
            } else if (operation == "copyTextToPasteboard") {
                communicator().copyTextToPasteboard("你好 world", id);
            } else {
                communicator().sendTouchEvent(DeviceTouchName::keyboardDelete, DeviceTouchEvent::up,
                                              id);
            }
        }
        QCOMPARE(device()->controls(), QList<DeviceControl>{control});
        const QString missing = operation == "sendTouchEvent" ? "尚未没添加" : "尚未添加";
        QCOMPARE(ConsoleCapture::lines(),
                 (QStringList{line, line.section(')', 0, 0) + "), 设备404" + missing}));
    }

    void streamSettingsNeedARunningStream_data() {
        QTest::addColumn<QString>("operation");
        QTest::newRow("keyboard") << "setKeyboard(kbType:forDevice:)";
        QTest::newRow("shake") << "shakeDevice(deviceID:)";
    }
    void streamSettingsNeedARunningStream() {
        QFETCH(QString, operation);
        auto& c = communicator();
        const QString op = operation.section('(', 0, 0);
        if (op == "setVideoQuality") {
            c.setVideoQuality(VideoQuality::p540, "5");
        } else if (op == "setKeyboard") {
            c.setKeyboard(DeviceKeyboardType::buildIn, "5");
        } else {
            c.operations().shakeDevice("5");
        }
        QCoreApplication::processEvents();
        QVERIFY(device()->controls().isEmpty());
        QCOMPARE(ConsoleCapture::lines(),
                 QStringList{"CloudPhoneCommunicator." + operation + ", 设备5未实时连接"});
    }

    void filesReachTheDevice_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("fileName");  // created in a temporary folder unless "-"
        QTest::addColumn<bool>("asUrl");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<QString>("landed");  // a transferred path or an installed package

        QTest::newRow("transfer") << "transferFile"
                                  << "photo 1.jpg" << false << 0 << "/sdcard/Download/photo 1.jpg";
        QTest::newRow("install") << "installFile"
                                 << "com.example.game.apk" << true << 0 << "com.example.game";
        QTest::newRow("missing file") << "transferFile"
                                      << "-" << false << KXErrorCode::fileNotFound << "";
        QTest::newRow("not a package") << "installFile"
                                       << "notes.txt" << false << KXErrorCode::invalidPackage << "";
    }
    void filesReachTheDevice() {
        QFETCH(QString, operation);
        QFETCH(QString, fileName);
        QFETCH(bool, asUrl);
        QFETCH(int, errorCode);
        QFETCH(QString, landed);
        QString path = m_bench->dir.filePath(fileName == "-" ? "missing.txt" : fileName);
        if (fileName != "-") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("content");
        }
        const auto answer =
            run(operation, "5", asUrl ? QUrl::fromLocalFile(path).toString() : path);
        QTRY_COMPARE(answer->calls, 1);
        QCOMPARE(answer->error ? answer->error->code : 0, errorCode);
        const QStringList arrived =
            operation == "installFile" ? device()->installedApps() : device()->transferredFiles();
        QCOMPARE(arrived, landed.isEmpty() ? QStringList() : QStringList{landed});
        QVERIFY(ConsoleCapture::contains("CloudPhoneCommunicator." + operation +
                                         "(at:toDevice:completionHandler:).设备:5"));
    }
};

QTEST_GUILESS_MAIN(DeviceOperationsTest)
#include "tst_DeviceOperations.moc"
