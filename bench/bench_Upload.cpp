// File digests and uploads against the command-line tools on the same files in the same run:
// MD5 and SHA-256 of a 1 GiB file against `openssl dgst`, a 200 MiB upload (hashing included)
// to the local test store against `curl --aws-sigv4`, and the longest stretch the GUI thread
// spends away from its event loop while a 1 GiB file goes through the upload queue (digests,
// file check, upload, registration), against an idle loop.
//
// Needs node, openssl, curl and the store's packages (scripts/setup.sh --tests). The files are made
// in a temporary folder at start and removed at the end.

#include "LocalObjectStore.h"
#include "TestHttpServer.h"
#include "api/EmptyResponse.h"
#include "api/KXAPIResponse.h"
#include "api/KXNetworkManager.h"
#include "upload/FileDigests.h"
#include "upload/FileUploader.h"
#include "upload/MultiFileUploadManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr qint64 kMiB = 1 << 20;
constexpr qint64 kHashFileSize = 1024 * kMiB;
constexpr qint64 kUploadFileSize = 200 * kMiB;

struct Fixture {
    QTemporaryDir dir;
    QString hashFile;
    QString uploadFile;
    LocalObjectStore store;
};
Fixture* g_fixture = nullptr;
std::map<std::string, double> g_seconds;  // reference times, by benchmark name

void writeRandomFile(const QString& path, qint64 size) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray piece(kMiB, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    for (qint64 written = 0; written < size; written += kMiB) {
        generator.fillRange(reinterpret_cast<quint32*>(piece.data()), kMiB / 4);
        file.write(piece);
    }
}

bool runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void reportAgainst(benchmark::State& state, const std::string& reference, double seconds) {
    const auto found = g_seconds.find(reference);
    if (found != g_seconds.end() && seconds > 0) {
        // Above 1: faster than the tool.
        state.counters["speed_vs_tool"] = found->second / seconds;
    }
}

double meanSeconds(const benchmark::State& state, double total) {
    return state.iterations() ? total / static_cast<double>(state.iterations()) : 0;
}

template <typename Work>
void timeAndCompare(benchmark::State& state, const std::string& reference, Work work) {
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (!work()) {
            state.SkipWithError("failed");
            return;
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        total += seconds;
        state.SetIterationTime(seconds);
    }
    reportAgainst(state, reference, meanSeconds(state, total));
    state.SetBytesProcessed(state.iterations() * kHashFileSize);
}

// Runs the tool once per iteration and keeps its mean time as the reference `name`.
void timeTool(benchmark::State& state, const char* name, const QString& program,
              const QStringList& arguments) {
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (!runTool(program, arguments)) {
            state.SkipWithError("the tool failed");
            return;
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        total += seconds;
        state.SetIterationTime(seconds);
    }
    g_seconds[name] = meanSeconds(state, total);
}

void referenceOpensslMD5(benchmark::State& state) {
    timeTool(state, "referenceOpensslMD5", QStringLiteral("openssl"),
             {QStringLiteral("dgst"), QStringLiteral("-md5"), g_fixture->hashFile});
    state.SetBytesProcessed(state.iterations() * kHashFileSize);
}

void referenceOpensslSHA256(benchmark::State& state) {
    timeTool(state, "referenceOpensslSHA256", QStringLiteral("openssl"),
             {QStringLiteral("dgst"), QStringLiteral("-sha256"), g_fixture->hashFile});
    state.SetBytesProcessed(state.iterations() * kHashFileSize);
}

void md5Of1GiB(benchmark::State& state) {
    timeAndCompare(state, "referenceOpensslMD5", [] { return fileMD5(g_fixture->hashFile).ok(); });
}

void sha256Of1GiB(benchmark::State& state) {
    timeAndCompare(state, "referenceOpensslSHA256",
                   [] { return fileSHA256(g_fixture->hashFile).ok(); });
}

// What an upload needs: both digests from one read.
void md5AndSHA256Of1GiB(benchmark::State& state) {
    timeAndCompare(state, "referenceOpensslMD5",
                   [] { return fileMD5AndSHA256(g_fixture->hashFile).ok(); });
}

std::unique_ptr<FileUploader> storeUploader() {
    FileUploader::Configuration configuration;
    configuration.storeAddress = g_fixture->store.address();
    configuration.extraCaCertificates = {g_fixture->store.certificate()};
    configuration.console = [](const QString&) {};
    auto uploader = std::make_unique<FileUploader>(configuration);
    uploader->setCredentialConfig(OBSConfig{
        QStringLiteral("S3RVER"), QStringLiteral("S3RVER"), QStringLiteral("bkt"), std::nullopt,
        QStringLiteral("obs.cn-east-3.example.com"), QStringLiteral("session-token"), 3600,
        QDateTime::currentSecsSinceEpoch() + 3600});
    return uploader;
}

// Uploads from the GUI thread and runs its event loop until the upload ends.
bool uploadAndWait(FileUploader& uploader, const QString& name, const QString& path) {
    QEventLoop loop;
    bool success = false;
    // A progress handler as the queue has one, so its calls reach the GUI thread too.
    uploader.uploadFile(
        name, path, [](float, const QString&, const QString&) {},
        [&](const QString&, const std::optional<Error>& error, const QString&, bool ok) {
            success = ok;
            if (error) {
                std::fprintf(stderr, "upload failed: %s\n", qPrintable(error->message));
            }
            loop.quit();
        });
    loop.exec();
    return success;
}

void referenceCurlUpload(benchmark::State& state) {
    // The store needs a payload hash header; the tool is spared the hashing.
    timeTool(state, "referenceCurlUpload", QStringLiteral("curl"),
             {QStringLiteral("-sSf"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
              QStringLiteral("--cacert"), g_fixture->dir.filePath(QStringLiteral("ca.pem")),
              QStringLiteral("--aws-sigv4"), QStringLiteral("aws:amz:cn-east-3:s3"),
              QStringLiteral("--user"), QStringLiteral("S3RVER:S3RVER"), QStringLiteral("-H"),
              QStringLiteral("x-amz-content-sha256: UNSIGNED-PAYLOAD"), QStringLiteral("-T"),
              g_fixture->uploadFile,
              g_fixture->store.address().toString() + QStringLiteral("/file/curl.bin")});
    state.SetBytesProcessed(state.iterations() * kUploadFileSize);
}

void upload200MiB(benchmark::State& state) {
    auto uploader = storeUploader();
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (!uploadAndWait(*uploader, QStringLiteral("ours.bin"), g_fixture->uploadFile)) {
            state.SkipWithError("upload failed");
            return;
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        total += seconds;
        state.SetIterationTime(seconds);
    }
    reportAgainst(state, "referenceCurlUpload", meanSeconds(state, total));
    state.SetBytesProcessed(state.iterations() * kUploadFileSize);
}

// Longest gap between two turns of the GUI thread's event loop, how many gaps exceed one 60 Hz
// frame, and the longest stretch of the GUI thread's own work between two turns (its processor
// time): a long gap with little work is the machine's scheduling, not the upload's.
struct LoopProbe {
    std::optional<qint64> lastTurnNs;
    std::optional<qint64> lastTurnCpuNs;
    QElapsedTimer clock;
    qint64 longestNs = 0;
    qint64 longestWorkNs = 0;
    int overFrame = 0;

    LoopProbe() { clock.start(); }
    static qint64 threadCpuNs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    }
    void turn() {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        // Timed from the first turn, so that setting up counts as no gap.
        if (lastTurnNs) {
            const qint64 gap = now - *lastTurnNs;
            longestNs = std::max(longestNs, gap);
            longestWorkNs = std::max(longestWorkNs, cpu - *lastTurnCpuNs);
            overFrame += gap > 16'000'000 ? 1 : 0;
        }
        lastTurnNs = now;
        lastTurnCpuNs = cpu;
    }
    void report(benchmark::State& state) const {
        state.counters["longest_stretch_ms"] = static_cast<double>(longestNs) / 1e6;
        state.counters["longest_work_ms"] = static_cast<double>(longestWorkNs) / 1e6;
        state.counters["stretches_over_16ms"] = overFrame;
    }
};
qint64 g_uploadNs = 0;

// Takes one file through the upload queue from the GUI thread, with a service stand-in answering
// the check and the registration, and runs the event loop until the queue is done. An observer
// reads the queue on each change, as the page's reporter does; `probe` runs on every turn. Gives
// the number of changes the queue reported, nothing when the upload failed.
std::optional<int> queueAndWait(const QString& path, const std::function<void()>& probe) {
    TestHttpServer service;
    service.setReplies(
        {{200, R"({"code":0,"msg":"ok"})", {{"Content-Type", "application/json"}}, 0}});
    KXNetworkManager::Configuration api;
    api.apiBaseUrl = service.baseUrl();
    KXNetworkManager network(api, [] {
        return UserCredentials{QStringLiteral("u1"), QStringLiteral("t1")};
    });
    // The client's network manager has long been in use when the page starts an upload.
    bool warm = false;
    network.request<KXAPIResponse<EmptyResponse>>(
        XDYGlobalAPI::fileCheck(QStringLiteral("warm-up")), std::nullopt,
        [&warm](const Result<KXAPIResponse<EmptyResponse>, NetworkError>&) { warm = true; });
    while (!warm) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    auto uploader = storeUploader();
    MultiFileUploadManager manager(*uploader, network, [](const QString&) {});
    int changes = 0;
    QObject::connect(&manager, &MultiFileUploadManager::onTasksUpdated, [&] {
        benchmark::DoNotOptimize(manager.uploadStatistics());
        ++changes;
    });
    QEventLoop loop;
    QObject::connect(&manager, &MultiFileUploadManager::onAllTasksCompleted, &loop,
                     &QEventLoop::quit);
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, probe);
    turns.start(0);
    manager.addFiles({SelectedUploadFile{QUrl::fromLocalFile(path), QStringLiteral("gui"),
                                         QFileInfo(path).size(), FileType::document}});
    loop.exec();
    const MultiFileUploadManager::Statistics statistics = manager.uploadStatistics();
    if (statistics.success != 1) {
        std::fprintf(stderr, "upload failed: %s\n",
                     qPrintable(manager.uploadQueue().first()->errorMessage.value_or(QString())));
        return std::nullopt;
    }
    return changes;
}

// The GUI thread while a 1 GiB file is read once for both digests, checked, sent and registered.
void guiThreadDuring1GiBUpload(benchmark::State& state) {
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        LoopProbe probe;
        const std::optional<int> changes =
            queueAndWait(g_fixture->hashFile, [&probe] { probe.turn(); });
        if (!changes) {
            state.SkipWithError("upload failed");
            return;
        }
        g_uploadNs = clock.nsecsElapsed();
        state.SetIterationTime(static_cast<double>(g_uploadNs) / 1e9);
        probe.report(state);
        // Each one a turn of the GUI thread's own: a progress line, the observers, the page.
        state.counters["queue_changes"] = *changes;
    }
}

// The same probe on an idle loop for as long, so the machine's own scheduling noise shows.
void referenceIdleGuiThread(benchmark::State& state) {
    for (auto _ : state) {
        LoopProbe probe;
        QEventLoop loop;
        QTimer turns;
        QObject::connect(&turns, &QTimer::timeout, [&probe] { probe.turn(); });
        turns.start(0);
        QTimer::singleShot(static_cast<int>(std::max<qint64>(g_uploadNs / 1'000'000, 1000)), &loop,
                           &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        loop.exec();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        probe.report(state);
    }
}

BENCHMARK(referenceOpensslMD5)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(md5Of1GiB)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(referenceOpensslSHA256)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(sha256Of1GiB)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(md5AndSHA256Of1GiB)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(referenceCurlUpload)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(upload200MiB)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(guiThreadDuring1GiBUpload)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(referenceIdleGuiThread)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture fixture;
    g_fixture = &fixture;
    fixture.hashFile = fixture.dir.filePath(QStringLiteral("hash.bin"));
    fixture.uploadFile = fixture.dir.filePath(QStringLiteral("upload.bin"));
    writeRandomFile(fixture.hashFile, kHashFileSize);
    writeRandomFile(fixture.uploadFile, kUploadFileSize);
    const QString storeError = fixture.store.start(QStringLiteral(KX_UPLOAD_STORE_DIR));
    if (!storeError.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(storeError));
        return 1;
    }
    {
        QFile ca(fixture.dir.filePath(QStringLiteral("ca.pem")));
        ca.open(QIODevice::WriteOnly);
        ca.write(fixture.store.certificate().toPem());
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_fixture = nullptr;
    return 0;
}
