// The loopback server and a reference web server (nginx, one worker, keep-alive off, on
// 127.0.0.1) serve the same web files, each under the same wrk load of 4 threads for 10 s: a
// 64 KiB file over 32 connections, and a 9 KiB and a 1 MiB file over 1,000 connections. Each
// case runs the reference first and the server right after it; reported are requests per second,
// the 99th percentile of the latency and the server's ratios to the reference.
// Needs nginx and wrk on the PATH or in /usr/sbin (scripts/setup.sh --tests installs both).

#include "app/LocalImageServer.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/settings/SettingsManager.h"

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
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace {

struct LoadCase {
    const char* name;
    int fileSize;
    int connections;
};

constexpr LoadCase kCases[] = {
    {"64KiB/32", 64 * 1024, 32},
    {"9KiB/1000", 9 * 1024, 1000},
    {"1MiB/1000", 1024 * 1024, 1000},
};

QString fileName(const LoadCase& load) {
    return QStringLiteral("data-%1.bin").arg(load.fileSize);
}

struct WrkResult {
    double requestsPerSecond = 0;
    double p99Milliseconds = 0;
    qint64 failures = 0;  // socket errors and non-2xx replies
    QString output;
};

double milliseconds(const QString& value, const QString& unit) {
    const double number = value.toDouble();
    if (unit == QLatin1String("us")) {
        return number / 1000;
    }
    return unit == QLatin1String("s") ? number * 1000 : number;
}

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

WrkResult runWrk(quint16 port, const LoadCase& load) {
    QProcess wrk;
    wrk.start(program(QStringLiteral("wrk")),
              {QStringLiteral("-t4"), QStringLiteral("-c%1").arg(load.connections),
               QStringLiteral("-d10s"), QStringLiteral("--latency"),
               QStringLiteral("http://127.0.0.1:%1/web-content/bench/pc/%2")
                   .arg(port)
                   .arg(fileName(load))});
    wrk.waitForFinished(60000);
    WrkResult result;
    result.output = QString::fromUtf8(wrk.readAllStandardOutput());
    const auto number = [&](const QString& pattern) {
        return QRegularExpression(pattern).match(result.output).captured(1);
    };
    result.requestsPerSecond = number(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).toDouble();
    result.failures = number(QStringLiteral("Non-2xx or 3xx responses:\\s+(\\d+)")).toLongLong();
    const QRegularExpressionMatch p99 =
        QRegularExpression(QStringLiteral("^\\s+99%\\s+([0-9.]+)(us|ms|s) *$"),
                           QRegularExpression::MultilineOption)
            .match(result.output);
    result.p99Milliseconds = milliseconds(p99.captured(1), p99.captured(2));
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
        QRandomGenerator generator(7);
        for (const LoadCase& load : kCases) {
            QFile file(web + QStringLiteral("/bench/pc/") + fileName(load));
            QByteArray bytes(load.fileSize, '\0');
            for (char& byte : bytes) {
                byte = static_cast<char>(generator.bounded(256));
            }
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != load.fileSize) {
                problem = QStringLiteral("cannot write the served files");
                return;
            }
            // nginx's worker may run as another user when started as root.
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                QFile::ReadOther);
        }
        for (const QString& folder : {dir.path(), documents, web, web + QStringLiteral("/bench"),
                                      web + QStringLiteral("/bench/pc")}) {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther |
                                              QFile::ReadGroup | QFile::ExeGroup);
        }

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
                                    "events { worker_connections 4096; }\n"
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
            problem = QStringLiteral("nginx or wrk is missing (run scripts/setup.sh --tests)");
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

void report(benchmark::State& state, const WrkResult& result) {
    state.SetIterationTime(10.0);
    state.counters["requests_per_s"] = result.requestsPerSecond;
    state.counters["p99_ms"] = result.p99Milliseconds;
    state.counters["failures"] = static_cast<double>(result.failures);
    if (result.requestsPerSecond <= 0) {
        state.SkipWithError(qPrintable(QStringLiteral("wrk gave no result: ") + result.output));
    }
}

// The reference's result of each case, for the server's run right after it.
std::map<const LoadCase*, WrkResult> g_reference;

void referenceServer(benchmark::State& state, const LoadCase* load) {
    for (auto _ : state) {
        const WrkResult result = runWrk(g_servers->nginxPort, *load);
        g_reference[load] = result;
        report(state, result);
    }
}

void loopbackServer(benchmark::State& state, const LoadCase* load) {
    for (auto _ : state) {
        const WrkResult result = runWrk(g_servers->server->port(), *load);
        report(state, result);
        const auto reference = g_reference.find(load);
        if (reference != g_reference.end() && reference->second.requestsPerSecond > 0) {
            state.counters["ratio_to_reference"] =
                result.requestsPerSecond / reference->second.requestsPerSecond;
        }
        if (reference != g_reference.end() && reference->second.p99Milliseconds > 0) {
            state.counters["p99_to_reference"] =
                result.p99Milliseconds / reference->second.p99Milliseconds;
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(dropConsoleLines);
    ConsoleOutput::setSinkForTesting([](const QString&) {});
    benchmark::Initialize(&argc, argv);
    Servers servers;
    if (!servers.problem.isEmpty()) {
        std::fprintf(stderr, "bench_local_image_server: %s\n", qPrintable(servers.problem));
        return 1;
    }
    g_servers = &servers;
    for (const LoadCase& load : kCases) {
        for (const auto& [side, run] : {std::pair{"BM_ReferenceServer/", &referenceServer},
                                        std::pair{"BM_LoopbackServer/", &loopbackServer}}) {
            benchmark::RegisterBenchmark((std::string(side) + load.name).c_str(), run, &load)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kSecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
