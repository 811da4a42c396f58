#include "foundation/crashreporting/CrashSignalHandler.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

struct FatalSignal {
    int number;
    const char* name;
    const char* description;
};

constexpr std::array<FatalSignal, 5> kFatalSignals = {{
    {SIGSEGV, "SIGSEGV", "Segmentation fault"},
    {SIGBUS, "SIGBUS", "Bus error"},
    {SIGILL, "SIGILL", "Illegal instruction"},
    {SIGFPE, "SIGFPE", "Floating-point exception"},
    {SIGABRT, "SIGABRT", "Abort"},
}};

std::atomic<CrashSignalHandler::Report*> g_report{nullptr};
std::atomic_flag g_handling = ATOMIC_FLAG_INIT;
std::array<struct sigaction, kFatalSignals.size()> g_previous{};

// A report replaced while a crashing thread may still read it stays alive a little longer.
std::mutex g_retiredMutex;
std::deque<std::unique_ptr<CrashSignalHandler::Report>> g_retired;

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) {
            return;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void writeText(int fd, const char* text) {
    writeAll(fd, text, std::strlen(text));
}

void writeNumber(int fd, long long value) {
    char digits[24];
    size_t length = 0;
    do {
        digits[sizeof(digits) - 1 - length] = static_cast<char>('0' + value % 10);
        value /= 10;
        ++length;
    } while (value > 0 && length < sizeof(digits));
    writeAll(fd, digits + sizeof(digits) - length, length);
}

void writeReport(const CrashSignalHandler::Report& report, const FatalSignal& fatal) {
    const int fd = ::open(report.path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    writeAll(fd, report.head.constData(), static_cast<size_t>(report.head.size()));
    writeText(fd, R"("exception":{"values":[{"type":")");
    writeText(fd, fatal.name);
    writeText(fd, R"(","value":")");
    writeText(fd, fatal.description);
    writeText(fd, R"(","mechanism":{"type":"signalhandler","handled":false}}]},"timestamp":)");
    writeNumber(fd, static_cast<long long>(now.tv_sec));
    writeAll(fd, report.tail.constData(), static_cast<size_t>(report.tail.size()));
    ::close(fd);
}

void handleFatalSignal(int number) {
    for (size_t index = 0; index < kFatalSignals.size(); ++index) {
        if (kFatalSignals[index].number != number) {
            continue;
        }
        const CrashSignalHandler::Report* report = g_report.load();
        if (report != nullptr && !g_handling.test_and_set()) {
            writeReport(*report, kFatalSignals[index]);
        }
        // Hand the signal to whoever had it before; with the default action the process ends.
        ::sigaction(number, &g_previous[index], nullptr);
        ::raise(number);
        return;
    }
}

}  // namespace

void CrashSignalHandler::install() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A stack of its own, so that a stack overflow can still be reported.
        static std::array<char, 64 * 1024> alternateStack;
        stack_t stack{};
        stack.ss_sp = alternateStack.data();
        stack.ss_size = alternateStack.size();
        ::sigaltstack(&stack, nullptr);

        struct sigaction action {};
        action.sa_handler = handleFatalSignal;
        action.sa_flags = SA_ONSTACK;
        ::sigemptyset(&action.sa_mask);
        for (size_t index = 0; index < kFatalSignals.size(); ++index) {
            ::sigaction(kFatalSignals[index].number, &action, &g_previous[index]);
        }
    });
}

void CrashSignalHandler::publish(std::unique_ptr<Report> report) {
    Report* previous = g_report.exchange(report.release());
    std::lock_guard lock(g_retiredMutex);
    g_retired.emplace_back(previous);
    while (g_retired.size() > 4) {
        g_retired.pop_front();
    }
}
