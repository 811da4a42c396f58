// The loopback server and a reference web server (nginx, one worker, keep-alive off, on
// 127.0.0.1) serve the same 64 KiB web file, each under the same wrk load: 4 threads,
// 32 connections, 10 s. Reports requests per second and the server's ratio to the reference.
// Needs nginx and wrk on the PATH or in /usr/sbin (scripts/setup.sh installs both).

#include "app/LocalImageServer.h"
#include "foundation/SettingsManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kFileSize = 64 * 1024;
constexpr char kFilePath[] = "/web-content/bench/pc/data.bin";

struct WrkResult {
    double requestsPerSecond = 0;
    qint64 failures = 0;  // socket errors and non-2xx replies
    QString output;
};

QString program(const QString& name) {
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin")})
                           : found;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitUntilAccepting(quint16 port) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100)) {
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

WrkResult runWrk(quint16 port) {
    QProcess wrk;
    wrk.start(program(QStringLiteral("wrk")),
              {QStringLiteral("-t4"), QStringLiteral("-c32"), QStringLiteral("-d10s"),
               QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(kFilePath))});
    wrk.waitForFinished(60000);
    WrkResult result;
    result.output = QString::fromUtf8(wrk.readAllStandardOutput());
    const auto number = [&](const QString& pattern) {
        return QRegularExpression(pattern).match(result.output).captured(1);
    };
    result.requestsPerSecond = number(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).toDouble();
    result.failures = number(QStringLiteral("Non-2xx or 3xx responses:\\s+(\\d+)")).toLongLong();
    const QRegularExpressionMatch errors =
        QRegularExpression(
            QStringLiteral(
                "Socket errors: connect (\\d+), read (\\d+), write (\\d+), timeout (\\d+)"))
            .match(result.output);
    for (int i = 1; i <= 4; ++i) {
        result.failures += errors.captured(i).toLongLong();
    }
    return result;
}

// The served folder, the loopback server and the reference server, alive for the whole run.
struct Servers {
    QTemporaryDir dir;
    std::unique_ptr<SettingsManager> settings;
    std::unique_ptr<LocalImageServer> server;
    QProcess nginx;
    quint16 nginxPort = 0;
    QString problem;

    Servers() {
        const QString documents = dir.filePath(QStringLiteral("Documents"));
        const QString web = documents + QStringLiteral("/KXVWebContent");
        QDir().mkpath(web + QStringLiteral("/bench/pc"));
        QFile file(documents + QStringLiteral("/KXVWebContent/bench/pc/data.bin"));
        QByteArray bytes(kFileSize, '\0');
        QRandomGenerator generator(7);
        for (char& byte : bytes) {
            byte = static_cast<char>(generator.bounded(256));
        }
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != kFileSize) {
            problem = QStringLiteral("cannot write the served file");
            return;
        }
        file.close();
        // nginx's worker may run as another user when started as root.
        for (const QString& folder : {dir.path(), documents, web, web + QStringLiteral("/bench"),
                                      web + QStringLiteral("/bench/pc")}) {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther |
                                              QFile::ReadGroup | QFile::ExeGroup);
        }
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                            QFile::ReadOther);

        settings = std::make_unique<SettingsManager>(dir.filePath(QStringLiteral("settings.ini")));
        settings->set(QString::number(freePort()), SettingKey::screenshotHttpPort);
        server = std::make_unique<LocalImageServer>(*settings);
        server->setDocumentsRootProvider([documents] { return documents; });
        server->start();
        if (!server->isRunning()) {
            problem = QStringLiteral("the loopback server did not start");
            return;
        }

        nginxPort = freePort();
        const QString nginxDir = dir.filePath(QStringLiteral("nginx"));
        QDir().mkpath(nginxDir);
        QFile config(nginxDir + QStringLiteral("/nginx.conf"));
        if (!config.open(QIODevice::WriteOnly)) {
            problem = QStringLiteral("cannot write the nginx configuration");
            return;
        }
        config.write(QStringLiteral("daemon off;\n"
                                    "worker_processes 1;\n"
                                    "pid %1/nginx.pid;\n"
                                    "error_log %1/error.log;\n"
                                    "events { worker_connections 1024; }\n"
                                    "http {\n"
                                    "    access_log off;\n"
                                    "    keepalive_timeout 0;\n"
                                    "    default_type application/octet-stream;\n"
                                    "    client_body_temp_path %1/body;\n"
                                    "    proxy_temp_path %1/proxy;\n"
                                    "    fastcgi_temp_path %1/fastcgi;\n"
                                    "    uwsgi_temp_path %1/uwsgi;\n"
                                    "    scgi_temp_path %1/scgi;\n"
                                    "    server {\n"
                                    "        listen 127.0.0.1:%2;\n"
                                    "        location /web-content/ { alias %3/; }\n"
                                    "    }\n"
                                    "}\n")
                         .arg(nginxDir)
                         .arg(nginxPort)
                         .arg(web)
                         .toUtf8());
        config.close();
        const QString nginxProgram = program(QStringLiteral("nginx"));
        if (nginxProgram.isEmpty() || program(QStringLiteral("wrk")).isEmpty()) {
            problem = QStringLiteral("nginx or wrk is missing (run scripts/setup.sh)");
            return;
        }
        nginx.setProcessChannelMode(QProcess::ForwardedChannels);
        nginx.start(nginxProgram, {QStringLiteral("-p"), nginxDir, QStringLiteral("-c"),
                                   nginxDir + QStringLiteral("/nginx.conf")});
        if (!nginx.waitForStarted(5000) || !waitUntilAccepting(nginxPort)) {
            problem = QStringLiteral("nginx did not start");
        }
    }

    ~Servers() {
        if (nginx.state() != QProcess::NotRunning) {
            nginx.terminate();
            if (!nginx.waitForFinished(5000)) {
                nginx.kill();
                nginx.waitForFinished(5000);
            }
        }
        if (server) {
            server->stop();
        }
    }
};

Servers* g_servers = nullptr;
double g_referenceRequestsPerSecond = 0;

void report(benchmark::State& state, const WrkResult& result) {
    state.SetIterationTime(10.0);
    state.counters["requests_per_s"] = result.requestsPerSecond;
    state.counters["failures"] = static_cast<double>(result.failures);
    if (result.requestsPerSecond <= 0) {
        state.SkipWithError(qPrintable(QStringLiteral("wrk gave no result: ") + result.output));
    }
}

void BM_ReferenceServer(benchmark::State& state) {
    for (auto _ : state) {
        const WrkResult result = runWrk(g_servers->nginxPort);
        g_referenceRequestsPerSecond = result.requestsPerSecond;
        report(state, result);
    }
}

void BM_LoopbackServer(benchmark::State& state) {
    for (auto _ : state) {
        const WrkResult result = runWrk(g_servers->server->port());
        report(state, result);
        if (g_referenceRequestsPerSecond > 0) {
            state.counters["ratio_to_reference"] =
                result.requestsPerSecond / g_referenceRequestsPerSecond;
        }
    }
}

// The server prints a console line per request; the load would only measure the terminal.
void dropConsoleLines(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtInfoMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
}

}  // namespace

BENCHMARK(BM_ReferenceServer)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LoopbackServer)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(dropConsoleLines);
    benchmark::Initialize(&argc, argv);
    Servers servers;
    if (!servers.problem.isEmpty()) {
        std::fprintf(stderr, "bench_local_image_server: %s\n", qPrintable(servers.problem));
        return 1;
    }
    g_servers = &servers;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
