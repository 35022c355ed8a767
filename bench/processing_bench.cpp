// Benchmarks of the effect's processing, per frame, against two baselines on
// the same buffers: a plain stereo copy with a gain (the floor for touching
// the same data) and the straightforward per-frame loop (the starting point,
// tests/effect/reference_processing.h). Both precisions, five speed cases,
// three block sizes, three inputs. After the runs a table gives each case's
// ratio to the copy baseline.
//
// The machine is shared: run with --benchmark_repetitions (make bench does)
// and read the medians.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "VarispeedEffect.h"
#include "bench_report.h"
#include "bench_signals.h"
#include "reference_processing.h"
#include "varispeed_state.h"

namespace kavro::bench {
namespace {

struct SpeedCase {
    const char* name;
    float speed;
    bool keepAligning;  // hold the right read position away from the left
};

// 0.5 and 0.9 retrigger (armed on every ninth call at the default length);
// 1.0 is the plain delay; "1.0-align" is speed 1.0 while the alignment still
// steps the right channel toward the left.
constexpr std::array<SpeedCase, 5> kSpeedCases = {{{"1.0", 1.0f, false},
                                                   {"0.5", 0.5f, false},
                                                   {"0.9", 0.9f, false},
                                                   {"0.0", 0.0f, false},
                                                   {"1.0-align", 1.0f, true}}};
constexpr std::array<std::int32_t, 3> kBlockSizes = {32, 512, 4096};
constexpr std::array<InputKind, 3> kInputs = {InputKind::noise, InputKind::sine,
                                              InputKind::denormal};

// The alignment moves the right position one sample per call: an offset this
// large lasts thousands of calls, and it is set again if it ever runs out.
constexpr double kAlignOffset = 20000.0;

void keepAligning(VarispeedState& state) {
    if (state.readPositionRight == state.readPositionLeft) {
        double right = state.readPositionLeft + kAlignOffset;
        if (right >= state.ringLengthReal) {
            right -= state.ringLengthReal;
        }
        state.readPositionRight = right;
    }
}

void countFrames(benchmark::State& state, std::int32_t blockSize) {
    const auto frames = static_cast<double>(state.iterations()) * blockSize;
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
    state.counters["ns/frame"] = benchmark::Counter(
        frames * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename Sample>
StereoSource<Sample>& sourceFor(InputKind kind) {
    static StereoSource<Sample> noise(InputKind::noise);
    static StereoSource<Sample> sine(InputKind::sine);
    static StereoSource<Sample> denormal(InputKind::denormal);
    switch (kind) {
        case InputKind::noise:
            return noise;
        case InputKind::sine:
            return sine;
        case InputKind::denormal:
            break;
    }
    return denormal;
}

template <typename Sample>
void benchCopy(benchmark::State& state, InputKind kind, std::int32_t blockSize) {
    BlockCursor<Sample> cursor(sourceFor<Sample>(kind), blockSize);
    for (auto _ : state) {
        copyWithGain(cursor.nextInputs(), cursor.outputs(), blockSize, 0.75);
        benchmark::ClobberMemory();
    }
    countFrames(state, blockSize);
}

void processEffect(VarispeedEffect& effect, double** in, double** out, std::int32_t frames) {
    effect.processDoubleReplacing(in, out, frames);
}
void processEffect(VarispeedEffect& effect, float** in, float** out, std::int32_t frames) {
    effect.processReplacing(in, out, frames);
}

template <typename Sample>
void benchEffect(benchmark::State& state, InputKind kind, std::int32_t blockSize,
                 SpeedCase speedCase) {
    BlockCursor<Sample> cursor(sourceFor<Sample>(kind), blockSize);
    auto effect = std::make_unique<VarispeedEffect>(nullptr);
    effect->setParameter(VarispeedEffect::kParamSpeed, speedCase.speed);
    VarispeedState& processing = effect->processingState();
    for (auto _ : state) {
        if (speedCase.keepAligning) {
            keepAligning(processing);
        }
        processEffect(*effect, cursor.nextInputs(), cursor.outputs(), blockSize);
        benchmark::ClobberMemory();
    }
    countFrames(state, blockSize);
}

template <typename Sample>
void benchStraightforward(benchmark::State& state, InputKind kind, std::int32_t blockSize,
                          SpeedCase speedCase) {
    BlockCursor<Sample> cursor(sourceFor<Sample>(kind), blockSize);
    auto processing = std::make_unique<VarispeedState>();
    processing->speed.store(speedCase.speed);
    for (auto _ : state) {
        if (speedCase.keepAligning) {
            keepAligning(*processing);
        }
        reference::processBlock<Sample>(*processing, cursor.nextInputs(), cursor.outputs(),
                                        blockSize);
        benchmark::ClobberMemory();
    }
    countFrames(state, blockSize);
}

std::string caseName(const std::string& implementation, const CaseKey& key) {
    std::string name = implementation + "/" + key.precision;
    if (!key.speedCase.empty()) {
        name += "/speed:" + key.speedCase;
    }
    return name + "/" + key.input + "/" + std::to_string(key.blockSize);
}

template <typename Sample>
void registerPrecision(RatioReporter& reporter, const std::string& precision) {
    for (const std::int32_t block : kBlockSizes) {
        for (const InputKind kind : kInputs) {
            const CaseKey copyKey{precision, "", std::string(inputName(kind)), block};
            const std::string copyName = caseName("copy", copyKey);
            benchmark::RegisterBenchmark(copyName.c_str(), benchCopy<Sample>, kind, block);
            reporter.describe(copyName, {"copy", copyKey});
            for (const SpeedCase& speedCase : kSpeedCases) {
                const CaseKey key{precision, speedCase.name, std::string(inputName(kind)), block};
                const std::string straight = caseName("straightforward", key);
                benchmark::RegisterBenchmark(straight.c_str(), benchStraightforward<Sample>, kind,
                                             block, speedCase);
                reporter.describe(straight, {"straightforward", key});
                const std::string effect = caseName("effect", key);
                benchmark::RegisterBenchmark(effect.c_str(), benchEffect<Sample>, kind, block,
                                             speedCase);
                reporter.describe(effect, {"effect", key});
            }
        }
    }
}

}  // namespace
}  // namespace kavro::bench

int main(int argc, char** argv) {
    kavro::bench::RatioReporter reporter;
    kavro::bench::registerPrecision<double>(reporter, "double");
    kavro::bench::registerPrecision<float>(reporter, "float");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
