// From a key event to the mapping it drives, on a plan of 40 items, against a plain hash lookup
// of the key code measured in the same run.

#include "keymapping/KeyMappingViewModel.h"
#include "keymapping/LinuxKeyEventTranslator.h"
#include "keymapping/WindowsKeyTable.h"

#include <QCoreApplication>
#include <QHash>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

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

void keyEventToMatch(benchmark::State& state) {
    KeyMappingViewModel model([](const QString&, const ImportedKeyMappingPlan&) {});
    model.appliedKeyMappings = fortyItemPlan();
    const KeyEventRecord event = keyDown(111);
    for (auto _ : state) {
        KeyMappingKeyDownResult result = model.handleKeyDown(event);
        benchmark::DoNotOptimize(result);
    }
    if (model.handleKeyDown(event).kind != KeyMappingKeyDownResult::Kind::matched) {
        state.SkipWithError("F12 did not match");
    }
}

void unmappedKeyEvent(benchmark::State& state) {
    KeyMappingViewModel model([](const QString&, const ImportedKeyMappingPlan&) {});
    model.appliedKeyMappings = fortyItemPlan();
    const KeyEventRecord event = keyDown(120);  // F2's neighbour F1 is mapped, F2 is not
    for (auto _ : state) {
        KeyMappingKeyDownResult result = model.handleKeyDown(event);
        benchmark::DoNotOptimize(result);
    }
}

void qtKeyEventToMatch(benchmark::State& state) {
    KeyMappingViewModel model([](const QString&, const ImportedKeyMappingPlan&) {});
    model.appliedKeyMappings = fortyItemPlan();
    LinuxKeyEventTranslator translator(LinuxKeyCodeTable::ScanCodes::xkb);
    const LinuxKeyInput input{true, Qt::Key_F12, 96, Qt::NoModifier, QString(), false};
    for (auto _ : state) {
        const QList<KeyEventRecord> records = translator.translate(input);
        KeyMappingKeyDownResult result = model.handleKeyDown(records.constFirst());
        benchmark::DoNotOptimize(result);
    }
}

BENCHMARK(referenceHashLookup);
BENCHMARK(keyEventToMatch);
BENCHMARK(unmappedKeyEvent);
BENCHMARK(qtKeyEventToMatch);

// Keeps each benchmark's time per iteration (the median when repeated) for the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!run.error_occurred && (run.run_type == Run::RT_Iteration || median)) {
                nanoseconds[run.run_name.function_name] =
                    run.GetAdjustedCPUTime() *
                    benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                    benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> nanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto reference = reporter.nanoseconds.find("referenceHashLookup");
    if (reference != reporter.nanoseconds.end() && reference->second > 0) {
        std::printf("\nratio to a hash lookup of the key code (%.1f ns), 40-item plan:\n",
                    reference->second);
        for (const auto& [name, time] : reporter.nanoseconds) {
            if (name != reference->first) {
                std::printf("  %-20s %8.1f ns  %6.1fx\n", name.c_str(), time,
                            time / reference->second);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
