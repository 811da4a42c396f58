// The last pass every console and log line takes (LogRedaction::maskedLine) over lines of 10 KB,
// 100 KB and 1 MB of each shape that once cost it more than linear time, and of those it hides.
// Its cost must grow with a line's length alone: for each shape the time at 1 MB is at most 15
// times the time at 100 KB, and at most 20 times that of a plain line of 1 MB (log text with
// nothing to hide), measured in the same run; a hidden key's object or array of 1 MB, whose every
// member is hidden, at most 50 times. The program ends with the table of both ratios.
//
// Besides, ordinary console lines of 200 characters, masked, against turning the same line into
// UTF-8 (what each sink does with it next), measured in the same run: the ratio an ordinary line
// pays for the pass.
#include "RatioReporter.h"
#include "foundation/logging/LogRedaction.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QString>

#include <array>
#include <cstdio>
#include <string>

#include <malloc.h>

namespace {

struct Shape {
    const char* name;
    // What the line starts with, then a unit repeated to the length asked, then what closes it.
    const char16_t* head;
    const char16_t* unit;
    const char16_t* tail = u"";
};

const std::array<Shape, 37> kShapes = {{
    {"plain line", u"",
     u"📥 收到请求: GET /screenshot?deviceId=12&t=3 HTTP/1.1 status: 200, size=1024; "},
    {"JSON with secrets", u"",
     u"{\"uid\":\"u1\",\"token\":\"T0k3n\",\"phone\":\"13800000000\",\"extra\":"
     u"\"{\\\"sign\\\":\\\"S1\\\"}\"},"},
    {"runs of key:\"", u"", u"key:\""},
    {"runs of value:\"", u"", u"value:\""},
    {"runs of key:'", u"", u"key:'"},
    {"runs of key:\\\"", u"", u"key:\\\""},
    {"many {", u"{\"token\":", u"{"},
    {"many \"", u"{\"token\":", u"\""},
    {"many \\", u"{\"token\":\"", u"\\"},
    {"Set-Cookie, Proxy-Authorization", u"",
     u"Set-Cookie: SESSION=abc; Path=/\nProxy-Authorization: Basic dXNlcg==\n"},
    {"hashes, escaped =", u"", u"\"token\"=>\"v\", token=>v, token\\u003dv "},
    {"<Token type=\"x\">, <Token-0>", u"", u"<Token type=\"x\">v</Token><Token-0>v</Token-0>"},
    {"ArgumentName, ArgumentValue", u"",
     u"<ArgumentName>x-amz-security-token</ArgumentName><ArgumentValue>v</ArgumentValue>"},
    {"runs of key:value=", u"", u"key:value="},
    {"%3D-separated pairs", u"", u"token%3Dv%26phone%3D138%26x%3D1%26"},
    {"encoded JSON", u"", u"%7B%22token%22%3A%22v%22%2C%22phone%22%3A%22138%22%7D%2C"},
    {"escaped twice", u"", u"token%253Dv%2526x%253D%2522sign%2522%253A%2522w%2522"},
    {"runs of value%3A%22", u"", u"value%3A%22"},
    {"names and values", u"",
     u"{\"name\":\"token\",\"value\":\"v\"},{\"value\":\"w\",\"name\":\"lang\"},"},
    {"values before names, objects between", u"",
     u"{\"value\":\"v\",\"x\":{\"a\":\"}\"},\"name\":\"token\"},"
     u"{\"value\":{\"b\":[1]},\"name\":\"sign\"},"},
    {"quotes written \\u0022", u"",
     u"{\"data\":\"{\\u0022token\\u0022:\\u0022v\\u0022,\\u0022n\\u0022:1}\"},"},
    {"a form's blanks, escapes three deep", u"",
     u"data=%7B%22token%22%3A+%22v%22%7D next=%2Fh%3Fsign%25253Dv%252526x%25253D1 "},
    {"pairs, names in any letter case", u"",
     u"[[\"authorization\",\"Bearer v\"],[\"lang\",\"zh\"]] {\"Name\":\"token\",\"Value\":\"v\"} "},
    {"digits in groups, wide spaces", u"",
     u"phone: 138\u00a00000\u00a00041 idcard: 110101 19900307 044X phone: 13800000000 10001 "},
    {"runs of [\"token\",\"", u"", u"[\"token\",\""},
    {"runs of %22token%22+%3A+%22", u"", u"%22token%22+%3A+%22"},
    {"keys inside hidden values", u"", u"{\"token\":\"a:b='c\",\"sign\":\"k=v\"},"},
    {"a hidden key's object", u"{\"token\":{", u"\"a\":1,"},
    {"a hidden key's array", u"{\"token\":[", u"{\"a\":1},"},
    {"nested objects of a hidden key", u"{\"credentials\":{", u"\"k\":{\"v\":{\"w\":\"x\"}},"},
    {"token: {a: 1, …}", u"token: {", u"a: 1, "},
    {"a cookie list", u"{\"cookie\":[", u"{\"name\":\"SESSION\",\"value\":\"v\"},"},
    {"a hidden key's object over lines", u"{\n  \"token\": {\n", u"    \"a\": 1,\n", u"\n  }\n}"},
    {"texts ending in an escaped \\", u"{\"token\":[", u"\"C:\\\\dir\\\\\",{\"a\":\"x\"},"},
    {"brackets that end texts", u"", u"{\"error\":\"unexpected token: {\",\"deviceId\":\"1\"},"},
    {"lists of numbers, a device id after", u"",
     u"phone: 13912345678;13800001111 82160517008 idCard: 110105194912310021 757698229190210185 "},
    {"forms in a field, blanks written %2B", u"data=",
     u"msg%3Dtoken%253A%2B%255B%26sign%253D%2BZq7%26lang%3Dzh%26"},
}};

constexpr qsizetype kConsoleLineSize = 200;

const std::array<Shape, 2> kConsoleLines = {{
    {"page message", u"📤 发送消息到 Web: response-mac-get data:",
     u"{\"requestid\":\"r7\",\"code\":0,\"msg\":\"ok\",\"data\":{\"deviceId\":12,\"name\":"
     u"\"设备12\",\"online\":true}} "},
    {"request with escapes",
     u"📥 收到请求: GET /screenshot?deviceId=12&path=%2Fdata%2Fshot%201.png&t=3 HTTP/1.1 ",
     u"status: 200, size=1024; "},
}};

constexpr std::array<qsizetype, 3> kSizes = {10 * 1024, 100 * 1024, 1024 * 1024};

QString lineOf(const Shape& shape, qsizetype size) {
    QString line = QString::fromUtf16(shape.head);
    const QString unit = QString::fromUtf16(shape.unit);
    line.reserve(size + unit.size());
    const QString tail = QString::fromUtf16(shape.tail);
    while (line.size() < size - tail.size()) {
        line += unit;
    }
    line.truncate(size - tail.size());
    return line + tail;
}

// Each iteration hands `pass` a line of the shape's, `size` characters long.
template <typename Pass>
void timePass(benchmark::State& state, const Shape& shape, qsizetype size, Pass pass) {
    const QString line = lineOf(shape, size);
    for (auto _ : state) {
        auto result = pass(line);
        benchmark::DoNotOptimize(result);
    }
    state.SetLabel(shape.name);
}

void BM_MaskedLine(benchmark::State& state) {
    timePass(state, kShapes[static_cast<size_t>(state.range(0))], state.range(1),
             LogRedaction::maskedLine);
}

BENCHMARK(BM_MaskedLine)
    ->ArgsProduct({benchmark::CreateDenseRange(0, kShapes.size() - 1, 1),
                   {kSizes[0], kSizes[1], kSizes[2]}})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ConsoleLine(benchmark::State& state) {
    timePass(state, kConsoleLines[static_cast<size_t>(state.range(0))], kConsoleLineSize,
             LogRedaction::maskedLine);
}

void BM_ConsoleLineUtf8(benchmark::State& state) {
    timePass(state, kConsoleLines[static_cast<size_t>(state.range(0))], kConsoleLineSize,
             [](const QString& line) { return line.toUtf8(); });
}

BENCHMARK(BM_ConsoleLine)
    ->DenseRange(0, kConsoleLines.size() - 1, 1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ConsoleLineUtf8)
    ->DenseRange(0, kConsoleLines.size() - 1, 1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

std::string runName(size_t shape, qsizetype size) {
    return "BM_MaskedLine/" + std::to_string(shape) + "/" + std::to_string(size);
}

void printTable(const RatioReporter& reporter) {
    const auto time = [&reporter](size_t shape, qsizetype size) {
        const auto found = reporter.byRunName.find(runName(shape, size));
        return found == reporter.byRunName.end() ? 0.0 : found->second / 1000.0;
    };
    const double plain = time(0, kSizes[2]);
    std::printf("\n| shape | 10 KB | 100 KB | 1 MB | 1 MB / 100 KB | 1 MB / plain 1 MB |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (size_t shape = 0; shape < kShapes.size(); ++shape) {
        const double large = time(shape, kSizes[2]);
        const double middle = time(shape, kSizes[1]);
        std::printf("| %s | %.0f µs | %.0f µs | %.0f µs | %.1f× | %.1f× |\n", kShapes[shape].name,
                    time(shape, kSizes[0]), middle, large, middle > 0 ? large / middle : 0.0,
                    plain > 0 ? large / plain : 0.0);
    }
    std::printf("\n| console line of %lld characters | masked | UTF-8 | masked / UTF-8 |\n",
                static_cast<long long>(kConsoleLineSize));
    std::printf("|---|---|---|---|\n");
    for (size_t line = 0; line < kConsoleLines.size(); ++line) {
        const auto found = [&reporter, line](const std::string& function) {
            const auto run = reporter.byRunName.find(function + "/" + std::to_string(line));
            return run == reporter.byRunName.end() ? 0.0 : run->second;
        };
        const double masked = found("BM_ConsoleLine");
        const double utf8 = found("BM_ConsoleLineUtf8");
        std::printf("| %s | %.0f ns | %.0f ns | %.2f× |\n", kConsoleLines[line].name, masked, utf8,
                    utf8 > 0 ? masked / utf8 : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // glibc hands blocks above its threshold back to the system when they are freed and faults
    // them in afresh on the next use; a 1 MB line's copies are such blocks. Kept, each iteration
    // measures the pass, as in a process whose heap has grown.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printTable(reporter);
    return 0;
}
