#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

// Keeps each benchmark's time per iteration (the median when repeated) for the ratios at the end,
// by function and by the run's whole name (with its arguments).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!run.error_occurred && (run.run_type == Run::RT_Iteration || median)) {
                const double time = run.GetAdjustedCPUTime() *
                                    benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                    benchmark::GetTimeUnitMultiplier(run.time_unit);
                nanoseconds[run.run_name.function_name] = time;
                const std::string& args = run.run_name.args;
                byRunName[run.run_name.function_name + (args.empty() ? "" : "/" + args)] = time;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> nanoseconds;
    std::map<std::string, double> byRunName;
};
