// The key matcher alone: from a key event to the mapping it drives, on a plan of 40 items. The
// goal is that a key press costs a negligible part of a 60 Hz frame before it becomes touches,
// so each time is reported as a fraction of one frame (16.67 ms); a plain hash lookup of the key
// code, measured in the same run, shows the scale of the machine.

#include "RatioReporter.h"
#include "foundation/logging/ConsoleOutput.h"
#include "keymapping/KeyMatcher.h"
#include "keymapping/LinuxKeyEventTranslator.h"
#include "keymapping/WindowsKeyTable.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

#include <benchmark/benchmark.h>

namespace {

constexpr int kPlanSize = 40;

KeyMappingItem tapItem(int windowsKey, std::optional<int> second = std::nullopt) {
    KeyMappingItem item(KeyMappingType::tap, QPointF(0.5, 0.5));
    item.windowsKey = windowsKey;
    item.keyCode = WindowsKeyTable::windowsKeyName(windowsKey).macKeyCode;
    item.keyDisplayName = WindowsKeyTable::windowsKeyDisplayName(windowsKey);
    item.secondWindowsKey = second;
    return item;
}

// One move item (WASD), eight Shift or Ctrl combinations, and single keys up to 40 items; the
// last item is F12, so matching it walks the whole plan.
QList<KeyMappingItem> fortyItemPlan() {
    QList<KeyMappingItem> items{KeyMappingItem(KeyMappingType::move, QPointF(0.2, 0.7))};
    for (const int key : {49, 50, 51, 52}) {
        items.append(tapItem(16, key));
        items.append(tapItem(17, key));
    }
    const QList<int> singles = {'B', 'C', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M',
                                'N', 'O', 'P', 'Q', 'R', 'T', 'U', 'V', 'X', 'Y', 'Z',
                                53,  54,  55,  56,  57,  48,  32,  112, 113};
    for (const int key : singles) {
        items.append(tapItem(key));
    }
    items.append(tapItem(123));
    Q_ASSERT(items.size() == kPlanSize);
    return items;
}

KeyEventRecord keyDown(quint16 keyCode) {
    return {KeyEventRecord::Type::keyDown, keyCode, QString(), 0, false};
}

void referenceHashLookup(benchmark::State& state) {
    QHash<quint16, int> byKeyCode;
    const QList<KeyMappingItem> items = fortyItemPlan();
    for (int index = 0; index < items.size(); ++index) {
        if (items.at(index).keyCode) {
            byKeyCode.insert(*items.at(index).keyCode, index);
        }
    }
    const quint16 f12 = 111;
    for (auto _ : state) {
        benchmark::DoNotOptimize(byKeyCode.value(f12, -1));
    }
}

// A matcher over the plan with its own pressed-key state.
struct MatcherBench {
    QList<KeyMappingItem> plan = fortyItemPlan();
    QHash<quint16, CapturedKey> pressed;
    QHash<quint16, CapturedKey> deferred;
    QSet<quint16> consumed;
    KeyMatcher matcher{plan, {pressed, deferred, consumed}};
};

void keyEventToMatch(benchmark::State& state) {
    MatcherBench bench;
    const KeyEventRecord event = keyDown(111);
    for (auto _ : state) {
        KeyMappingKeyDownResult result = bench.matcher.keyDown(event);
        benchmark::DoNotOptimize(result);
    }
    if (bench.matcher.keyDown(event).kind != KeyMappingKeyDownResult::Kind::matched) {
        state.SkipWithError("F12 did not match");
    }
}

void unmappedKeyEvent(benchmark::State& state) {
    MatcherBench bench;
    const KeyEventRecord event = keyDown(120);  // F2's neighbour F1 is mapped, F2 is not
    for (auto _ : state) {
        KeyMappingKeyDownResult result = bench.matcher.keyDown(event);
        benchmark::DoNotOptimize(result);
    }
}

void qtKeyEventToMatch(benchmark::State& state) {
    MatcherBench bench;
    LinuxKeyEventTranslator translator(LinuxKeyCodeTable::ScanCodes::xkb);
    const LinuxKeyInput input{true, Qt::Key_F12, 96, Qt::NoModifier, QString(), false};
    for (auto _ : state) {
        const QList<KeyEventRecord> records = translator.translate(input);
        KeyMappingKeyDownResult result = bench.matcher.keyDown(records.constFirst());
        benchmark::DoNotOptimize(result);
    }
}

BENCHMARK(referenceHashLookup);
BENCHMARK(keyEventToMatch);
BENCHMARK(unmappedKeyEvent);
BENCHMARK(qtKeyEventToMatch);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    constexpr double kFrameNanoseconds = 1e9 / 60;
    const auto reference = reporter.nanoseconds.find("referenceHashLookup");
    ConsoleOutput::print(QStringLiteral("\nshare of one 60 Hz frame (16.67 ms), 40-item plan:"));
    for (const auto& [name, time] : reporter.nanoseconds) {
        if (reference != reporter.nanoseconds.end() && name == reference->first) {
            continue;
        }
        QString line = QStringLiteral("  %1 %2 ns  %3 of a frame")
                           .arg(QString::fromStdString(name), -20)
                           .arg(time, 8, 'f', 1)
                           .arg(time / kFrameNanoseconds, 0, 'e', 2);
        if (reference != reporter.nanoseconds.end() && reference->second > 0) {
            line +=
                QStringLiteral("  (%1x a hash lookup)").arg(time / reference->second, 0, 'f', 0);
        }
        ConsoleOutput::print(line);
    }
    benchmark::Shutdown();
    return 0;
}
