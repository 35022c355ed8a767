// The console report of the processing benchmarks plus a closing table: each
// case's median time per frame and its ratio to the copy baseline (and to the
// straightforward loop) on the same buffers, precision and block size.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kavro::bench {

// What a registered benchmark measured; the report groups by everything but
// `implementation`.
struct CaseKey {
    std::string precision;  // "double" or "float"
    std::string speedCase;  // "" for the copy baseline
    std::string input;
    std::int32_t blockSize = 0;
    auto operator<=>(const CaseKey&) const = default;
};

struct CaseInfo {
    std::string implementation;  // "copy", "straightforward" or "effect"
    CaseKey key;
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    // Registers the meaning of a benchmark name before the runs.
    void describe(const std::string& name, CaseInfo info) { cases_[name] = std::move(info); }

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

  private:
    std::map<std::string, CaseInfo> cases_;
    // Nanoseconds per frame by benchmark name: the median aggregate when there
    // are repetitions, else the single run.
    std::map<std::string, double> nsPerFrame_;
    std::map<std::string, bool> fromMedian_;
};

}  // namespace kavro::bench
