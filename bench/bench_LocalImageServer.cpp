// The loopback server and a reference web server (nginx, one worker, keep-alive off, on
// 127.0.0.1) serve the same web files, each under the same wrk load of 4 threads for 10 s: a
// 64 KiB file over 32 connections, and a 9 KiB and a 1 MiB file over 1,000 connections. Each
// case runs the reference first and the server right after it; reported are requests per second,
// the 99th percentile of the latency, the server's ratios to the reference and the most
// descriptors the process held during the server's run. Then 300 peers reset their connections
// in the middle of a 3 MiB reply and the server must still answer; a missing web file asked for
// by a 60 KB path is timed against the same by a plain path; and telling whose a connection is
// (the account holding its peer socket) is timed against one connection's round trip. Needs nginx
// and wrk on the PATH or in /usr/sbin (scripts/setup.sh --tests installs both).

#include "ResettingPeers.h"
#include "WrkLoad.h"
#include "app/LocalImageServer.h"
#include "foundation/concurrency/ProcessSignals.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/settings/SettingsManager.h"
#include "loopback/LoopbackPeerOwner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// Asked for by the peers that reset in the middle of its reply.
const QString kResetFile = QStringLiteral("reset.bin");
constexpr int kResetFileSize = 3 * 1024 * 1024;
constexpr int kResettingPeers = 300;

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

WrkResult runWrk(quint16 port, const LoadCase& load, int* mostDescriptors = nullptr) {
    QProcess wrk;
    startWrk(
        wrk,
        QStringLiteral("http://127.0.0.1:%1/web-content/bench/pc/%2").arg(port).arg(fileName(load)),
        load.connections, 10);
    if (mostDescriptors) {
        *mostDescriptors = mostDescriptorsUntilFinished(wrk);
    }
    wrk.waitForFinished(60000);
    return WrkResult::parse(QString::fromUtf8(wrk.readAllStandardOutput()));
}

// The served folder, the loopback server and the reference server, alive for the whole run.
struct Servers {
    QTemporaryDir dir;
    std::unique_ptr<SettingsManager> settings;
    std::unique_ptr<LocalImageServer> server;
    QProcess nginx;
    quint16 nginxPort = 0;
    QString problem;
    QRandomGenerator generator{7};

    // Random bytes, readable by nginx's worker, which may run as another user when started as
    // root.
    void writeServedFile(const QString& path, int size) {
        QFile file(path);
        QByteArray bytes(size, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(generator.bounded(256));
        }
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size) {
            problem = QStringLiteral("cannot write the served files");
            return;
        }
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                            QFile::ReadOther);
    }

    Servers() {
        const QString documents = dir.filePath(QStringLiteral("Documents"));
        const QString web = documents + QStringLiteral("/KXVWebContent");
        QDir().mkpath(web + QStringLiteral("/bench/pc"));
        for (const LoadCase& load : kCases) {
            writeServedFile(web + QStringLiteral("/bench/pc/") + fileName(load), load.fileSize);
        }
        writeServedFile(web + QStringLiteral("/bench/pc/") + kResetFile, kResetFileSize);
        if (!problem.isEmpty()) {
            return;
        }
        for (const QString& folder : {dir.path(), documents, web, web + QStringLiteral("/bench"),
                                      web + QStringLiteral("/bench/pc")}) {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther |
                                              QFile::ReadGroup | QFile::ExeGroup);
        }

        // A folder of its own: the settings make theirs private, which would shut nginx's worker
        // out of the served files below it.
        settings = std::make_unique<SettingsManager>(
            dir.filePath(QStringLiteral("settings/settings.ini")));
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
        const QString nginxProgram = installedProgram(QStringLiteral("nginx"));
        if (nginxProgram.isEmpty() || installedProgram(QStringLiteral("wrk")).isEmpty()) {
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
        const int descriptorsBefore = openDescriptors();
        int mostDescriptors = 0;
        const WrkResult result = runWrk(g_servers->server->port(), *load, &mostDescriptors);
        report(state, result);
        state.counters["failed_share"] = result.failedShare();
        state.counters["descriptors_before"] = descriptorsBefore;
        state.counters["most_descriptors"] = mostDescriptors;
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

// One request on a connection of its own; the whole reply, read until the server closes.
QByteArray exchange(quint16 port, const QByteArray& request) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray reply;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(socket, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) ==
            request.size()) {
        char buffer[65536];
        for (ssize_t count; (count = ::recv(socket, buffer, sizeof buffer, 0)) > 0;) {
            reply.append(buffer, count);
        }
    }
    ::close(socket);
    return reply;
}

QByteArray getRequest(const QString& path) {
    return "GET " + path.toUtf8() + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

void peersResetMidReply(benchmark::State& state) {
    const quint16 port = g_servers->server->port();
    for (auto _ : state) {
        const int answered = resetPeersMidReply(
            port, getRequest(QStringLiteral("/web-content/bench/pc/") + kResetFile),
            kResettingPeers);
        const bool serving =
            exchange(port, getRequest(QStringLiteral("/status"))).startsWith("HTTP/1.1 200 OK");
        state.counters["peers_answered"] = answered;
        state.counters["status_after"] = serving ? 1 : 0;
        if (!serving) {
            state.SkipWithError("the server did not answer after the peers reset");
        }
    }
}

// Per iteration, for the lookup's ratio to it.
double g_connectionNanoseconds = 0;

double nanosecondsPerIteration(const benchmark::State& state,
                               std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double, std::nano> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() /
           static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
}

void oneConnection(benchmark::State& state) {
    const quint16 port = g_servers->server->port();
    const QByteArray request =
        getRequest(QStringLiteral("/web-content/bench/pc/") + fileName(kCases[1]));
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(exchange(port, request));
    }
    g_connectionNanoseconds = nanosecondsPerIteration(state, start);
}

// A missing web file asked for by a plain path, then by a path of 60 KB (a name too long for the
// file system); the second reports its time as a ratio to the first.
double g_plainMissingNanoseconds = 0;

void missingFile(benchmark::State& state, bool longPath) {
    const quint16 port = g_servers->server->port();
    const QString path =
        QStringLiteral("/web-content/bench/pc/") +
        (longPath ? QStringLiteral("folder/").repeated(60 * 1024 / 7) : QString()) +
        QStringLiteral("missing.js");
    const QByteArray request = getRequest(path);
    if (!exchange(port, request).startsWith("HTTP/1.1 404 Not Found")) {
        state.SkipWithError("the missing file was not answered 404");
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(exchange(port, request));
    }
    const double nanoseconds = nanosecondsPerIteration(state, start);
    if (!longPath) {
        g_plainMissingNanoseconds = nanoseconds;
    } else if (g_plainMissingNanoseconds > 0) {
        state.counters["ratio_to_plain_path"] = nanoseconds / g_plainMissingNanoseconds;
    }
}

// The lookup the server makes for each connection it accepts, on a connection of its own.
void peerOwnerLookup(benchmark::State& state, LoopbackPeerOwner::Source source) {
    const int listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(listening, reinterpret_cast<const sockaddr*>(&address), size);
    ::listen(listening, 1);
    ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size);
    const int peer = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(peer, reinterpret_cast<const sockaddr*>(&address), size);
    const int accepted = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
    LoopbackPeerOwner owners({source});
    if (owners.ownerOfPeer(accepted).kind != LoopbackPeerOwner::Answer::Kind::owner) {
        state.SkipWithError("the source cannot tell the peer's owner here");
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(owners.ownerOfPeer(accepted));
    }
    if (g_connectionNanoseconds > 0) {
        state.counters["ratio_to_connection"] =
            nanosecondsPerIteration(state, start) / g_connectionNanoseconds;
    }
    for (const int descriptor : {accepted, peer, listening}) {
        ::close(descriptor);
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
    ProcessSignals::ignoreBrokenPipe();
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
    benchmark::RegisterBenchmark("BM_LoopbackServerPeersReset", peersResetMidReply)
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("BM_OneConnection/9KiB", oneConnection)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    for (const auto& [name, longPath] : {std::pair{"BM_MissingFile/plainPath", false},
                                         std::pair{"BM_MissingFile/60KBPath", true}}) {
        benchmark::RegisterBenchmark(name, missingFile, longPath)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
    for (const auto& [name, source] :
         {std::pair{"BM_PeerOwnerLookup/socketDiagnostics",
                    LoopbackPeerOwner::Source::socketDiagnostics},
          std::pair{"BM_PeerOwnerLookup/socketTables", LoopbackPeerOwner::Source::socketTables}}) {
        benchmark::RegisterBenchmark(name, peerOwnerLookup, source)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
