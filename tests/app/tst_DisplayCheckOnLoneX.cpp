// The start's display check on an X server as xvfb-run starts one: no client but the client's
// own, so the server resets whenever the last of them leaves and closes the connections that
// arrive meanwhile. Qt's connection follows the check and must never meet such a reset.
#include "DisplayServers.h"
#include "ProcessSettingsRestorer.h"
#include "app/DisplayAvailability.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstdlib>

#include <xcb/xcb.h>

namespace {

const char* const kChildDisplay = "KX_DISPLAY_CHECK_CHILD";

// Whether a connection to `display` is open and answers a request.
bool answersARequest(const QByteArray& display) {
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(connection) == 0) {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    const bool answered = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answered;
}

// As the client starts: the check, then the application object; between the two it says so on
// standard output and waits for a line on standard input.
int runClientStart(int argc, char* argv[]) {
    DisplayAvailability display;
    if (!display.check(argc, argv)) {
        return 2;
    }
    std::puts("checked");
    std::fflush(stdout);
    char line[8];
    if (std::fgets(line, sizeof line, stdin) == nullptr) {
        return 3;
    }
    QGuiApplication application(argc, argv);
    display.qtConnected();
    return 0;
}

}  // namespace

class DisplayCheckOnLoneXTest : public QObject {
    Q_OBJECT

    ProcessSettingsRestorer m_settings;

private Q_SLOTS:
    void initTestCase() {
        // The check itself chooses the display, as in a user's start.
        for (const char* variable :
             {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XDG_SESSION_TYPE"}) {
            m_settings.saveEnvironmentVariable(variable);
            qunsetenv(variable);
        }
    }

    void cleanupTestCase() { m_settings.restore(); }

    // Qt's connection comes at once after the check, as on a machine so loaded that it reaches
    // the server before a reset would be over: the server takes it, start after start.
    void qtConnectsAfterTheCheck() {
        constexpr int kStarts = 20;
        for (int start = 0; start < kStarts; ++start) {
            const VirtualDisplay server(VirtualDisplay::Company::alone);
            QVERIFY(server.name());
            const QByteArray name = server.name()->toLatin1();
            QByteArray program("brisca-cloudphone");
            QByteArray option("-display");
            QByteArray value = name;
            char* arguments[] = {program.data(), option.data(), value.data(), nullptr};
            DisplayAvailability display;
            QVERIFY(display.check(3, arguments));
            const bool connected = answersARequest(name);
            display.qtConnected();
            QVERIFY2(connected,
                     qPrintable(QStringLiteral("start %1 of %2").arg(start + 1).arg(kStarts)));
        }
    }

    // The server is gone between the check and Qt's connection: the client ends with the line
    // that says no display can be opened, alone, and exit code 1.
    void aServerGoneBeforeQtConnectsEndsWithOneLine() {
        std::optional<VirtualDisplay> server(std::in_place, VirtualDisplay::Company::alone);
        QVERIFY(server->name());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kChildDisplay), QStringLiteral("1"));
        environment.insert(QStringLiteral("DISPLAY"), *server->name());
        QProcess start;
        start.setProcessEnvironment(environment);
        start.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(start.waitForStarted(30000));
        QByteArray said;
        QVERIFY(QTest::qWaitFor(
            [&] {
                said += start.readAllStandardOutput();
                return said.contains("checked") || start.state() == QProcess::NotRunning;
            },
            60000));
        QCOMPARE(said, QByteArray("checked\n"));
        const QString display = *server->name();
        server.reset();
        start.write("go\n");
        QVERIFY(start.waitForFinished(60000));
        QCOMPARE(start.exitStatus(), QProcess::NormalExit);
        QCOMPARE(start.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(start.readAllStandardError()),
                 QStringLiteral("❌ 没有可用的显示：无法连接 DISPLAY=") + display +
                     QStringLiteral("。请在桌面会话中启动，或用 xvfb-run 在虚拟显示上运行："
                                    "xvfb-run -a ") +
                     QCoreApplication::applicationFilePath() + QLatin1Char('\n'));
    }
};

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsSet(kChildDisplay)) {
        return runClientStart(argc, argv);
    }
    QCoreApplication application(argc, argv);
    DisplayCheckOnLoneXTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_DisplayCheckOnLoneX.moc"
