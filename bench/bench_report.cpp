#include "bench_report.h"

#include <cstdio>
#include <set>
#include <tuple>

namespace kavro::bench {

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        const std::string name = run.run_name.function_name;
        const auto found = cases_.find(name);
        if (found == cases_.end() || run.error_occurred) {
            continue;
        }
        const bool isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool isSingle = run.run_type == Run::RT_Iteration;
        if (!isMedian && !(isSingle && !fromMedian_[name])) {
            continue;
        }
        // CPU time: the machine is shared, and time spent descheduled is not
        // the processing's.
        const double seconds =
            run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        nsPerFrame_[name] = seconds * 1e9 / found->second.key.blockSize;
        fromMedian_[name] = isMedian;
    }
}

void RatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    // (precision, input, block) -> copy time; full key -> implementation -> time.
    std::map<std::tuple<std::string, std::string, std::int32_t>, double> copyTime;
    std::map<CaseKey, std::map<std::string, double>> byCase;
    bool anyMedian = false;
    for (const auto& [name, ns] : nsPerFrame_) {
        const CaseInfo& info = cases_.at(name);
        anyMedian = anyMedian || fromMedian_[name];
        if (info.implementation == "copy") {
            copyTime[{info.key.precision, info.key.input, info.key.blockSize}] = ns;
        } else {
            byCase[info.key][info.implementation] = ns;
        }
    }
    if (byCase.empty()) {
        return;
    }
    std::printf(
        "\nTime per stereo frame (%s CPU time), ratio to the copy baseline on the same\n"
        "buffers; 'gain' is straightforward / effect.\n",
        anyMedian ? "median" : "single-run");
    std::printf("%-6s %-10s %-9s %5s | %8s | %8s %7s | %8s %7s | %6s\n", "prec", "speed", "input",
                "block", "copy ns", "straight", "x copy", "effect", "x copy", "gain");
    for (const auto& [key, times] : byCase) {
        const auto copy = copyTime.find({key.precision, key.input, key.blockSize});
        const double copyNs = copy == copyTime.end() ? 0.0 : copy->second;
        const auto cell = [&](const char* implementation, double& ns) {
            const auto t = times.find(implementation);
            ns = t == times.end() ? 0.0 : t->second;
            return ns > 0.0 && copyNs > 0.0 ? ns / copyNs : 0.0;
        };
        double straightNs = 0.0;
        double effectNs = 0.0;
        const double straightRatio = cell("straightforward", straightNs);
        const double effectRatio = cell("effect", effectNs);
        std::printf("%-6s %-10s %-9s %5d | %8.3f | %8.3f %7.2f | %8.3f %7.2f | %6.2f\n",
                    key.precision.c_str(), key.speedCase.c_str(), key.input.c_str(), key.blockSize,
                    copyNs, straightNs, straightRatio, effectNs, effectRatio,
                    effectNs > 0.0 ? straightNs / effectNs : 0.0);
    }
}

}  // namespace kavro::bench
