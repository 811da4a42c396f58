// The real client executable, started with a private home and documents folder, its service
// hosts pointed at a local server that answers 503 (API) and 404 (resources). The page is driven
// through the web engine's remote debugging port, as a user clicking in it would.
#include "../support/BuiltInPageScripts.h"
#include "../support/ResettingPeers.h"
#include "../support/TestHttpServer.h"
#include "../update/HelperTestSupport.h"
#include "DisplayServers.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <QDirIterator>

#include <algorithm>
#include <csignal>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Lines that tell the user nothing: the fade's on a platform without window opacity, Qt's
// report of the web engine's set-up, and Wayland's when the client runs on X.
const QStringList kNoise = {QStringLiteral("This plugin does not support setting window opacity"),
                            QStringLiteral("qt.webenginecontext"), QStringLiteral("wl_display"),
                            QStringLiteral("platform plugin \"wayland\"")};

// How a run differs from a plain offscreen start.
struct RunOptions {
    // An X display to show the client on instead.
    std::optional<QString> display;
    // The web engine draws with the GPU, as on a desktop: no "--disable-gpu".
    bool gpu = false;
    QStringList arguments;
    // As a user's shell starts it: nothing in the environment turns the web engine's sandbox off.
    bool withoutSandboxFlags = false;
    std::optional<mode_t> umask;
    // Variables set, or removed where the value is null.
    QHash<QString, QString> environment;
};

// One run of the client; its standard output and standard error are collected line by line.
class ClientRun {
public:
    ClientRun(const QString& home, const QUrl& api, const QUrl& resources,
              const RunOptions& options = {})
        : m_debugPort(freePort()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home);
        environment.insert("XDG_CONFIG_HOME", home + "/.config");
        environment.insert("XDG_CACHE_HOME", home + "/.cache");
        environment.insert("XDG_DATA_HOME", home + "/.local/share");
        environment.insert("KX_DOCUMENTS_ROOT", home + "/Documents");
        environment.insert("KX_API_BASE_URL", api.toString());
        environment.insert("KX_RESOURCE_BASE_URL", resources.toString());
        environment.insert("QTWEBENGINE_REMOTE_DEBUGGING",
                           QStringLiteral("127.0.0.1:%1").arg(m_debugPort));
        if (options.display) {
            environment.insert("QT_QPA_PLATFORM", "xcb");
            environment.insert("DISPLAY", *options.display);
        }
        if (options.gpu) {
            environment.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
        }
        if (options.withoutSandboxFlags) {
            environment.remove("QTWEBENGINE_CHROMIUM_FLAGS");
            environment.remove("QTWEBENGINE_DISABLE_SANDBOX");
        }
        for (auto it = options.environment.cbegin(); it != options.environment.cend(); ++it) {
            if (it.value().isNull()) {
                environment.remove(it.key());
            } else {
                environment.insert(it.key(), it.value());
            }
        }
        if (options.umask) {
            m_process.setChildProcessModifier([mask = *options.umask] { ::umask(mask); });
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        });
        QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
            m_errors += QString::fromUtf8(m_process.readAllStandardError());
        });
        m_process.start(QStringLiteral(KX_CLIENT_EXECUTABLE), options.arguments);
    }
    ~ClientRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QStringList lines() const { return m_output.split('\n', Qt::SkipEmptyParts); }
    QStringList errorLines() const { return m_errors.split('\n', Qt::SkipEmptyParts); }
    bool printed(const QString& text) const { return m_output.contains(text); }
    // The noise on either stream, a line each.
    QStringList noise() const {
        QStringList found;
        for (const QString& line : lines() + errorLines()) {
            if (std::ranges::any_of(kNoise,
                                    [&line](const QString& text) { return line.contains(text); })) {
                found << line;
            }
        }
        return found;
    }
    int indexOf(const QString& text) const {
        const QStringList all = lines();
        for (int i = 0; i < all.size(); ++i) {
            if (all[i].contains(text)) {
                return i;
            }
        }
        return -1;
    }

    // Runs a script in the main page through the remote debugging protocol.
    bool evaluateInPage(const QString& expression) {
        QNetworkAccessManager network;
        QNetworkReply* reply = network.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(m_debugPort))));
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000)) {
            return false;
        }
        QString socketUrl;
        for (const QJsonValue target : QJsonDocument::fromJson(reply->readAll()).array()) {
            if (target[QStringLiteral("url")].toString().endsWith("/pc/index.html")) {
                socketUrl = target[QStringLiteral("webSocketDebuggerUrl")].toString();
            }
        }
        reply->deleteLater();
        if (socketUrl.isEmpty()) {
            return false;
        }
        QWebSocket socket;
        bool answered = false;
        QObject::connect(
            &socket, &QWebSocket::textMessageReceived,
            [&answered](const QString& text) { answered = answered || text.contains("\"id\":1"); });
        socket.open(QUrl(socketUrl));
        if (!QTest::qWaitFor(
                [&socket] { return socket.state() == QAbstractSocket::ConnectedState; }, 10000)) {
            return false;
        }
        const QJsonObject call{{"id", 1},
                               {"method", "Runtime.evaluate"},
                               {"params", QJsonObject{{"expression", expression}}}};
        socket.sendTextMessage(
            QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)));
        return QTest::qWaitFor([&answered] { return answered; }, 10000);
    }

    bool waitFor(const QString& text, int timeoutMs = 60000) {
        return QTest::qWaitFor([this, &text] { return printed(text); }, timeoutMs);
    }
    bool terminate() {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(20000) && m_process.exitStatus() == QProcess::NormalExit;
    }
    // How the run ended, for a failed terminate(): status, code, and the tails of both streams (the
    // test log keeps about a kilobyte).
    QString ending() {
        const QStringList all = lines();
        return QStringLiteral("state %1, exit status %2, code %3\n%4\n--- stderr ---\n%5")
            .arg(m_process.state())
            .arg(m_process.exitStatus())
            .arg(m_process.exitCode())
            .arg(all.mid(std::max<qsizetype>(0, all.size() - 5)).join('\n'),
                 (m_errors + QString::fromUtf8(m_process.readAllStandardError())).right(700));
    }
    qint64 pid() const { return m_process.processId(); }
    // The exit code of a client that ended by itself in time; nothing for one that still runs or
    // crashed.
    std::optional<int> exitCode() {
        if (!m_process.waitForFinished(20000) || m_process.exitStatus() != QProcess::NormalExit) {
            return std::nullopt;
        }
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        m_errors += QString::fromUtf8(m_process.readAllStandardError());
        return m_process.exitCode();
    }

private:
    quint16 m_debugPort;
    QProcess m_process;
    QString m_output;
    QString m_errors;
};

// The service as a machine without it sees it: the API busy, the resource host empty.
struct UnreachableService {
    UnreachableService() {
        api.setReplies({{503, "busy"}});
        resources.setReplies({{404, "missing"}});
    }
    QUrl resourceBase() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(resources.port()));
    }

    TestHttpServer api;
    TestHttpServer resources;
};

// Whether the process ignores SIGPIPE, as the system tells.
bool ignoresBrokenPipe(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigIgn:")) {
            return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGPIPE - 1)) & 1) != 0;
        }
    }
    return false;
}

bool portAccepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

void screenshot(const QString& name) {
    const QString folder = qEnvironmentVariable("KX_TEST_ARTIFACTS");
    QDir().mkpath(folder);
    QProcess::execute("import", {"-window", "root", QDir(folder).filePath(name)});
}

const QString kOpenDevice = QStringLiteral(
    "nativeBridge.post('cloudphone-open', {deviceId: 10001, devicename: '云手机 1'})");

// Writes "previews shown" to the client's log once every device's preview picture is shown.
const QString kReportPreviewsShown = whenPreviewsShown(
    QStringLiteral("nativeBridge.post('write-local-log', {msg: 'previews shown'})"));

}  // namespace

class ClientEndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void freshMachineEndsInMainWindowAndLiveDeviceWindow() {
        QTemporaryDir home;
        UnreachableService service;

        {
            ClientRun client(home.path(), service.api.baseUrl(), service.resourceBase());
            QVERIFY2(client.waitFor("✅ 过渡完成"), qPrintable(client.lines().join('\n')));
            const QStringList lines = client.lines();
            QVERIFY(lines.value(0).contains("FileLogger initialized"));
            QVERIFY(lines.value(1).endsWith("🚀 应用启动"));
            const int launch = client.indexOf("🎬 显示启动窗口");
            const int fallBack =
                client.indexOf("⚠️ 下载失败，已回退到内置 Web 包 0.6.87");
            QVERIFY(launch > 1 && fallBack > launch);
            QVERIFY(client.indexOf("✅ 过渡完成") > fallBack);
            QCOMPARE(service.resources.requests().size(), 3);
            QVERIFY(client.waitFor("   标题: 云手机", 30000));
            // The web engine has started: its report went to the log file alone.
            QVERIFY2(client.noise().isEmpty(), qPrintable(client.noise().join('\n')));

            QVERIFY(client.evaluateInPage(kOpenDevice));
            QVERIFY2(client.waitFor("didReceiveFirstVideoFrame,device:10001", 30000),
                     qPrintable(client.lines().join('\n')));

            const QSettings settings(home.path() + "/.config/com.brisca.cloudphone/settings.ini",
                                     QSettings::IniFormat);
            const quint16 port = static_cast<quint16>(settings.value("screenshotHttpPort").toInt());
            QVERIFY2(
                portAccepts(port),
                qPrintable(client.lines().filter(QRegularExpression("端口|服务器")).join('\n')));
            QVERIFY2(client.terminate(), qPrintable(client.ending()));
            // Snapshot replies still on their way may print after it; no log line does.
            const QStringList logged =
                client.lines().filter(QRegularExpression(R"(^\d\d:\d\d:\d\d\.\d{3} \[)"));
            QVERIFY(logged.last().endsWith("🛑 应用即将退出"));
            QVERIFY(!portAccepts(port));
        }

        // The built-in package is installed now: the second start opens the main window at once.
        ClientRun again(home.path(), service.api.baseUrl(), service.resourceBase());
        QVERIFY(again.waitFor("✅ 页面加载完成"));
        QVERIFY(!again.printed("🎬 显示启动窗口"));
        QVERIFY(again.printed("🔨 创建主窗口"));
        QVERIFY2(again.terminate(), qPrintable(again.ending()));
    }

    void unusableUpdateTaskStartsTheClient() {
        QTemporaryDir home;
        TestHttpServer api;
        api.setReplies({{503, "busy"}});
        ClientRun client(
            home.path(), api.baseUrl(), api.baseUrl(),
            {.arguments = {"--kx-update-helper", home.filePath("missing-task.json"), "1"}});
        QVERIFY2(client.waitFor("🚀 应用启动"), qPrintable(client.lines().join('\n')));
        QVERIFY2(client.terminate(), qPrintable(client.ending()));
    }

    // Only the update helper, which opens no window, runs without a display; a start refused for
    // want of one that can be opened says on standard error what was tried and how to run the
    // client instead of aborting in Qt.
    void startsWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");  // NAME=value; <runtime>, <x> filled in
        QTest::addColumn<int>("exitCode");             // -1: the client keeps running
        QTest::addColumn<QString>("reason");           // the refusal between its lead and advice
        const QString noneSet =
            QStringLiteral("DISPLAY、WAYLAND_DISPLAY 和 QT_QPA_PLATFORM 都未设置。");
        QTest::newRow("plain start") << QStringList{} << QStringList{} << 1 << noneSet;
        QTest::newRow("platform on the command line")
            << QStringList{"-platform", "offscreen"} << QStringList{} << -1 << QString();
        QTest::newRow("update helper") << QStringList{"--kx-update-helper", "<task>", "<pid>"}
                                       << QStringList{} << 0 << QString();
        QTest::newRow("unusable update task")
            << QStringList{"--kx-update-helper", "missing-task.json", "1"} << QStringList{} << 1
            << noneSet;
        QTest::newRow("DISPLAY naming a display nobody serves")
            << QStringList{} << QStringList{"DISPLAY=<x>"} << 1
            << QStringLiteral("无法连接 DISPLAY=<x>。");
        QTest::newRow("WAYLAND_DISPLAY naming a socket nobody serves")
            << QStringList{} << QStringList{"WAYLAND_DISPLAY=wayland-kx-none"} << 1
            << QStringLiteral(
                   "无法连接 WAYLAND_DISPLAY=wayland-kx-none（<runtime>/wayland-kx-none）。");
        QTest::newRow("socket left by a compositor that is gone")
            << QStringList{} << QStringList{"WAYLAND_DISPLAY=<runtime>/wayland-kx-stale"} << 1
            << QStringLiteral("无法连接 WAYLAND_DISPLAY=<runtime>/wayland-kx-stale。");
        QTest::newRow("Wayland tried before X, as Qt does")
            << QStringList{} << QStringList{"XDG_SESSION_TYPE=wayland", "DISPLAY=<x>"} << 1
            << QStringLiteral(
                   "无法连接 XDG_SESSION_TYPE=wayland（<runtime>/wayland-0）、"
                   "DISPLAY=<x>。");
        QTest::newRow("X display on the command line")
            << QStringList{"-display", "<x>"} << QStringList{"DISPLAY=:0"} << 1
            << QStringLiteral("无法连接 -display <x>。");
    }
    void startsWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(int, exitCode);
        QFETCH(QString, reason);
        QTemporaryDir home;
        TestHttpServer api;
        api.setReplies({{503, "busy"}});
        helpertest::HelperFixture helper(home.path(), QStringLiteral("brisca-cloudphone"));
        // A process that has already ended stands in for the client that quit.
        qint64 ended = 0;
        QVERIFY(QProcess::startDetached(QStringLiteral("true"), {}, {}, &ended));
        const QString runtime = home.filePath("runtime");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(leaveStaleSocket(runtime + "/wayland-kx-stale"));
        const QString xDisplay = unservedXDisplay();
        const auto fill = [&](QStringList texts) {
            texts.replaceInStrings("<task>", helper.taskFile);
            texts.replaceInStrings("<pid>", QString::number(ended));
            texts.replaceInStrings("<runtime>", runtime);
            return texts.replaceInStrings("<x>", xDisplay);
        };
        QHash<QString, QString> variables{{"DISPLAY", {}},
                                          {"WAYLAND_DISPLAY", {}},
                                          {"WAYLAND_SOCKET", {}},
                                          {"QT_QPA_PLATFORM", {}},
                                          {"XDG_SESSION_TYPE", {}},
                                          {"XDG_RUNTIME_DIR", runtime},
                                          {"XDG_DATA_HOME", home.filePath("data")}};
        for (const QString& variable : fill(environment)) {
            const qsizetype equals = variable.indexOf('=');
            variables.insert(variable.left(equals), variable.mid(equals + 1));
        }
        ClientRun client(home.path(), api.baseUrl(), api.baseUrl(),
                         {.arguments = fill(arguments), .environment = variables});
        const QString refusal =
            fill({QStringLiteral("❌ 没有可用的显示：") + reason +
                  QStringLiteral("请在桌面会话中启动，或用 xvfb-run 在虚拟显示上运行：") +
                  QStringLiteral("xvfb-run -a " KX_CLIENT_EXECUTABLE)})
                .first();
        if (exitCode < 0) {
            QVERIFY2(client.waitFor("🚀 应用启动"), qPrintable(client.ending()));
            QVERIFY2(client.terminate(), qPrintable(client.ending()));
            QVERIFY(!client.errorLines().contains(refusal));
            return;
        }
        // Ended by itself with the code, not by Qt's abort and its advice to reinstall.
        QCOMPARE(client.exitCode(), std::optional<int>(exitCode));
        QCOMPARE(client.errorLines(), exitCode == 1 ? QStringList{refusal} : QStringList{});
        QCOMPARE(client.lines(), QStringList{});
        QCOMPARE(helpertest::versionAt(helper.target()), exitCode == 0 ? "2.0.0" : "1.0.0");
    }

    // Right after the loopback server starts, before the web engine is up, peers that reset in
    // the middle of a reply of several MiB end their connections, not the client. No service
    // answers, as on a machine without network: Qt ignores SIGPIPE itself once it has written to
    // a socket of its own.
    void peersResettingMidReplyLeaveTheClientRunning() {
        QTemporaryDir home;
        const QUrl nobodyListens(QStringLiteral("http://127.0.0.1:%1").arg(freePort()));
        const QString big = home.filePath("Documents/KXVWebContent/reset/big.bin");
        QVERIFY(QDir().mkpath(QFileInfo(big).path()));
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(3 * 1024 * 1024, 'r'));
        file.close();
        ClientRun client(home.path(), nobodyListens, nobodyListens);
        const QString started = QStringLiteral("✅ 本地图片服务器已启动: http://localhost:");
        QVERIFY2(client.waitFor(started), qPrintable(client.ending()));
        const QString line = client.lines().filter(started).value(0);
        const auto port = static_cast<quint16>(line.mid(line.lastIndexOf(':') + 1).toUInt());
        // From the start, not only once the web engine has set up.
        QVERIFY(ignoresBrokenPipe(client.pid()));
        QCOMPARE(
            resetPeersMidReply(
                port, "GET /web-content/reset/big.bin HTTP/1.1\r\nHost: localhost\r\n\r\n", 300),
            300);
        QNetworkAccessManager network;
        QNetworkReply* status = network.get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/status").arg(port))));
        QVERIFY(QTest::qWaitFor([status] { return status->isFinished(); }, 10000));
        QVERIFY2(status->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200,
                 qPrintable(client.ending()));
        QVERIFY(status->readAll().contains("\"status\": \"running\""));
        delete status;
        QVERIFY2(client.terminate(), qPrintable(client.ending()));
    }

    // A Wayland desktop with no X server at all: the client comes up on it and shows its page.
    void onAWaylandDesktopWithoutX() {
        if (QStandardPaths::findExecutable("weston").isEmpty()) {
            QSKIP("needs weston, which scripts/setup.sh --tests installs");
        }
        QTemporaryDir home;
        UnreachableService service;
        const QString runtime = home.filePath("runtime");
        const HeadlessCompositor compositor(runtime);
        QVERIFY2(compositor.name(), qPrintable(compositor.log()));
        ClientRun client(home.path(), service.api.baseUrl(), service.resourceBase(),
                         {.environment = {{"DISPLAY", {}},
                                          {"QT_QPA_PLATFORM", {}},
                                          {"XDG_SESSION_TYPE", {}},
                                          {"WAYLAND_SOCKET", {}},
                                          {"WAYLAND_DISPLAY", *compositor.name()},
                                          {"XDG_RUNTIME_DIR", runtime}}});
        QVERIFY2(client.waitFor("   标题: 云手机"), qPrintable(client.ending()));
        // Shown at once: the launch window's end may come after the page has its title.
        QVERIFY2(client.waitFor("✅ 过渡完成"), qPrintable(client.ending()));
        QVERIFY2(client.terminate(), qPrintable(client.ending()));
        QVERIFY2(client.noise().isEmpty(), qPrintable(client.noise().join('\n')));
    }

    // A Wayland socket left by a compositor that is gone beside a working X display: the client
    // runs on X without trying Wayland first.
    void besideADeadWaylandSocketOnX() {
        const VirtualDisplay display;
        if (!display.name()) {
            QSKIP("needs Xvfb, which scripts/setup.sh --tests installs");
        }
        QTemporaryDir home;
        UnreachableService service;
        const QString runtime = home.filePath("runtime");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(leaveStaleSocket(runtime + "/wayland-kx-stale"));
        ClientRun client(home.path(), service.api.baseUrl(), service.resourceBase(),
                         {.environment = {{"DISPLAY", *display.name()},
                                          {"QT_QPA_PLATFORM", {}},
                                          {"XDG_SESSION_TYPE", {}},
                                          {"WAYLAND_SOCKET", {}},
                                          {"WAYLAND_DISPLAY", "wayland-kx-stale"},
                                          {"XDG_RUNTIME_DIR", runtime}}});
        QVERIFY2(client.waitFor("   标题: 云手机"), qPrintable(client.ending()));
        QVERIFY2(client.terminate(), qPrintable(client.ending()));
        QVERIFY2(client.noise().isEmpty(), qPrintable(client.noise().join('\n')));
    }

    void startsAsRootWithoutSandboxFlags() {
        if (::geteuid() != 0) {
            QSKIP("needs the root user: other users start the web engine with its sandbox");
        }
        QTemporaryDir home;
        UnreachableService service;
        ClientRun client(home.path(), service.api.baseUrl(), service.resourceBase(),
                         {.withoutSandboxFlags = true});
        QVERIFY2(client.waitFor("   标题: 云手机"), qPrintable(client.lines().join('\n')));
        const QString notice =
            QStringLiteral("⚠️ 以 root 身份运行，已关闭 Web 引擎沙箱");
        const QStringList lines = client.lines();
        // Said once on the console before anything starts, and once in the log.
        QCOMPARE(lines.value(0), notice);
        QCOMPARE(lines.filter(notice).size(), 2);
        QVERIFY(lines.filter(notice).last().contains("[WARN][APP]"));
        QVERIFY(client.evaluateInPage(kOpenDevice));
        QVERIFY(client.waitFor("didReceiveFirstVideoFrame,device:10001", 30000));
        QVERIFY2(client.terminate(), qPrintable(client.ending()));
    }

    void startUpUnderAnOpenUmaskLeavesNothingWritableByOthers() {
        QTemporaryDir home;
        UnreachableService service;
        // Drawn on a display with the GPU, Qt fills a shader cache of its own under the cache
        // folder; offscreen only what the client makes itself is seen.
        const VirtualDisplay display;
        ClientRun client(
            home.path(), service.api.baseUrl(), service.resourceBase(),
            {.display = display.name(), .gpu = display.name().has_value(), .umask = 0});
        QVERIFY2(client.waitFor("   标题: 云手机"), qPrintable(client.lines().join('\n')));
        QVERIFY(client.evaluateInPage("nativeBridge.post('write-local-log', {msg: 'umask'}); " +
                                      kOpenDevice));
        QVERIFY(client.waitFor("didReceiveFirstVideoFrame,device:10001", 30000));
        if (display.name()) {
            QTRY_VERIFY_WITH_TIMEOUT(
                !QDir(home.filePath(".cache")).entryList({"qtshadercache*"}).isEmpty(), 20000);
        }
        QVERIFY2(client.terminate(), qPrintable(client.ending()));

        for (const char* folder : {".config", ".local/share", "Documents", ".cache"}) {
            QVERIFY(QFileInfo(home.filePath(folder)).isDir());
        }
        QStringList writable;
        QDirIterator items(home.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                           QDirIterator::Subdirectories);
        while (items.hasNext()) {
            const QString path = items.next();
            struct stat status {};
            if (::lstat(QFile::encodeName(path).constData(), &status) == 0 &&
                !S_ISLNK(status.st_mode) && (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
                writable << QStringLiteral("%1 %2").arg(status.st_mode & 07777, 0, 8).arg(path);
            }
        }
        QVERIFY2(writable.isEmpty(), qPrintable(writable.join('\n')));
        QVERIFY(QFileInfo::exists(home.filePath("Documents/videoLogs")));
    }

    void onScreenUnderXvfb() {
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            QStandardPaths::findExecutable("import").isEmpty()) {
            QSKIP("needs an X display (xvfb-run) and ImageMagick's import");
        }
        QTemporaryDir home;
        UnreachableService service;
        ClientRun client(home.path(), service.api.baseUrl(), service.resourceBase(),
                         {.display = qEnvironmentVariable("DISPLAY")});
        QVERIFY(client.waitFor("🎬 开始加载动画"));
        screenshot("xvfb-launch-screen.png");
        QVERIFY(client.waitFor("   标题: 云手机"));
        QVERIFY(client.evaluateInPage(kReportPreviewsShown));
        QVERIFY(client.waitFor("📝 写入日志: previews shown", 30000));
        screenshot("xvfb-main-window.png");
        QVERIFY(client.evaluateInPage(kOpenDevice));
        QVERIFY(client.waitFor("didReceiveFirstVideoFrame,device:10001", 30000));
        // The stream's first report comes after a second of frames in the window.
        QVERIFY(client.waitFor("didUpdateNetworkStatus,device:10001", 30000));
        screenshot("xvfb-device-window.png");
        QVERIFY2(client.terminate(), qPrintable(client.ending()));
    }
};

QTEST_GUILESS_MAIN(ClientEndToEndTest)

#include "tst_ClientEndToEnd.moc"
