// Host torture: seeded random sequences of host calls against the built
// Kavro module, loaded through its exported entry point. Every dispatcher
// opcode from -2 to 90 with random index, value and opt (buffers as a host
// promises them, canaries after each bound), setParameter with any float,
// processing in both precisions with any block size, calls before open and
// after suspend, several instances at once, and close.
//
// Checks: no canary touched, a closed instance never calls back, parameters
// come back as stored, and every output sample is finite for finite input
// while the speed lies in [-4, 4], whatever the length (NaN and infinite
// included). Beyond that speed only memory safety is checked: the gain
// 0.5 x speed + 0.5 alone can carry a finite sample to infinity (speed 1e38).
// Run under the sanitizers, any memory or UB fault ends the process with the
// sequence's seed printed.
//
// Replay: KAVRO_TORTURE_SEED=<seed> runs that one sequence;
// KAVRO_TORTURE_SEQUENCES=<n> changes how many sequences a run makes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dispatcher_buffers.h"
#include "vst_interface.h"

extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

constexpr std::uint64_t kDefaultBaseSeed = 0x4B6176726FULL;
constexpr int kDefaultSequences = 1000;
constexpr int kMaxInstances = 4;
constexpr float kSaneSpeed = 4.0f;
constexpr int kGuardSamples = 16;
constexpr double kGuardValue = 12345.0;

// The seed of the running sequence, printed if the process dies in it.
std::atomic<std::uint64_t> runningSeed{0};
std::atomic<bool> sequenceRunning{false};

void printRunningSeed() {
    if (!sequenceRunning.load()) {
        return;
    }
    char line[96];
    const int n = std::snprintf(line, sizeof line,
                                "\nhost torture died in sequence: KAVRO_TORTURE_SEED=%" PRIu64 "\n",
                                runningSeed.load());
    if (n > 0) {
        [[maybe_unused]] auto written = ::write(2, line, static_cast<std::size_t>(n));
    }
}

extern "C" void onFatalSignal(int signal) {
    printRunningSeed();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Sanitizers report through their death callback; without them, a fatal
// signal handler does the same job (installing one under ASan would hide
// its own report).
void installSeedReporter() {
    if (__sanitizer_set_death_callback != nullptr) {
        __sanitizer_set_death_callback(printRunningSeed);
        return;
    }
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        std::signal(signal, onFatalSignal);
    }
}

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

// Records whose instance is alive; the callback must only ever see these.
std::set<const AEffect*> liveRecords;
std::atomic<long> callbacksFromDeadRecords{0};
std::atomic<long> callbacksReceived{0};
std::atomic<bool> refuseVersionProbe{false};

VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                   float) {
    callbacksReceived.fetch_add(1);
    if (effect != nullptr && liveRecords.count(effect) == 0) {
        callbacksFromDeadRecords.fetch_add(1);
    }
    if (opcode == audioMasterVersion) {
        return refuseVersionProbe.load() ? 0 : kVstVersion;
    }
    return 0;
}

class Random {
  public:
    explicit Random(std::uint64_t seed) : engine(seed) {}

    std::uint8_t byte() { return static_cast<std::uint8_t>(engine()); }
    // Uniform in [low, high].
    std::int64_t between(std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(engine);
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(engine) < p; }
    double unit() { return std::uniform_real_distribution<double>(-1.0, 1.0)(engine); }

    template <class T>
    T pick(std::initializer_list<T> values) {
        return values.begin()[between(0, static_cast<std::int64_t>(values.size()) - 1)];
    }

    // Every kind of float a careless host may send.
    float anyFloat() {
        constexpr float inf = std::numeric_limits<float>::infinity();
        switch (between(0, 5)) {
            case 0:
                return pick({std::numeric_limits<float>::quiet_NaN(),
                             -std::numeric_limits<float>::quiet_NaN(), inf, -inf,
                             std::numeric_limits<float>::denorm_min(),
                             -std::numeric_limits<float>::denorm_min(),
                             std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                             1e30f, -1e30f, 44100.0f, 44099.5f, -0.0f});
            case 1:
                return pick({0.0f, 0.5f, 0.9f, 1.0f, 2.0f, -0.5f, 0.125f, 0.015625f, 1.0f / 64.0f});
            case 2: {
                const auto raw = static_cast<std::uint32_t>(engine());
                float value;
                std::memcpy(&value, &raw, sizeof value);
                return value;
            }
            case 3:
                return static_cast<float>(unit() * 4.0);
            default:
                return static_cast<float>(std::uniform_real_distribution<double>(0.0, 1.0)(engine));
        }
    }

    std::int32_t anyIndex() {
        switch (between(0, 3)) {
            case 0:
                return pick<std::int32_t>({-1, 0, 1, 2, 3, std::numeric_limits<std::int32_t>::max(),
                                           std::numeric_limits<std::int32_t>::min()});
            case 1:
                return static_cast<std::int32_t>(engine());
            default:
                return static_cast<std::int32_t>(between(0, 2));
        }
    }

    VstIntPtr anyValue() {
        switch (between(0, 3)) {
            case 0:
                return pick<VstIntPtr>({0, 1, -1, 2, 24, 480, std::numeric_limits<VstIntPtr>::max(),
                                        std::numeric_limits<VstIntPtr>::min()});
            case 1:
                return static_cast<VstIntPtr>(engine());
            default:
                return static_cast<VstIntPtr>(between(-4, 4096));
        }
    }

    std::int32_t anyFrames() {
        switch (between(0, 5)) {
            case 0:
                return pick<std::int32_t>(
                    {0, -1, -512, std::numeric_limits<std::int32_t>::min(), 1});
            case 1:
                return static_cast<std::int32_t>(between(2048, 8192));
            default:
                return static_cast<std::int32_t>(between(1, 1024));
        }
    }

  private:
    std::mt19937_64 engine;
};

struct Instance {
    AEffect* effect = nullptr;
    bool inputsFinite = true;  // every sample ever fed was finite
    float stored[2] = {1.0f, 0.125f};
};

struct Counts {
    std::uint64_t sequences = 0;
    std::uint64_t calls = 0;
    std::uint64_t dispatcherCalls = 0;
    std::uint64_t processCalls = 0;
    std::uint64_t parameterCalls = 0;
    std::uint64_t instancesMade = 0;
    std::uint64_t finiteChecks = 0;  // blocks whose outputs had to be finite
};

bool sameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

bool sane(float parameter) {
    return std::isfinite(parameter) && std::fabs(parameter) <= kSaneSpeed;
}

class Torture {
  public:
    Torture(VstPluginMainProc entry, std::uint64_t seed, Counts& counts)
        : entry(entry), seed(seed), random(seed), counts(counts) {}

    // Empty when the sequence passed; else what broke, at which step.
    std::string run() {
        const int steps = static_cast<int>(random.between(100, 400));
        const int initial = static_cast<int>(random.between(1, kMaxInstances));
        for (int i = 0; i < initial; ++i) {
            makeInstance();
        }
        for (step = 0; step < steps && failure.empty(); ++step) {
            const std::int64_t action = random.between(0, 99);
            if (instances.empty()) {
                makeInstance();
            }
            Instance& target = instances[static_cast<std::size_t>(
                random.between(0, static_cast<std::int64_t>(instances.size()) - 1))];
            if (action < 45) {
                dispatch(target, static_cast<std::int32_t>(random.between(-2, 90)));
            } else if (action < 55) {
                // The lifecycle opcodes, far more often than one in 93.
                dispatch(target, random.pick<std::int32_t>(
                                     {effOpen, effMainsChanged, effMainsChanged, effSetSampleRate,
                                      effSetBlockSize, effStartProcess, effStopProcess}));
            } else if (action < 68) {
                setParameter(target);
            } else if (action < 72) {
                getParameter(target);
            } else if (action < 96) {
                process(target);
            } else if (action < 98) {
                if (instances.size() < kMaxInstances) {
                    makeInstance();
                }
            } else {
                refusedCreation();
            }
        }
        while (!instances.empty()) {
            close(instances.size() - 1);
        }
        ++counts.sequences;
        return failure;
    }

  private:
    void fail(const std::string& what) {
        if (failure.empty()) {
            failure = "step " + std::to_string(step) + ": " + what;
        }
    }

    void makeInstance() {
        AEffect* effect = entry(hostCallback);
        ++counts.calls;
        if (effect == nullptr) {
            fail("the entry point answered null");
            return;
        }
        if (effect->magic != kEffectMagic) {
            fail("the record's magic is wrong");
        }
        liveRecords.insert(effect);
        instances.push_back(Instance{effect});
        ++counts.instancesMade;
    }

    // A host that answers 0 to the version probe gets null and leaks nothing.
    void refusedCreation() {
        refuseVersionProbe.store(true);
        AEffect* effect = entry(hostCallback);
        refuseVersionProbe.store(false);
        ++counts.calls;
        if (effect != nullptr) {
            fail("a refused version probe still made an instance");
            liveRecords.insert(effect);
            instances.push_back(Instance{effect});
        }
    }

    void close(std::size_t which) {
        AEffect* effect = instances[which].effect;
        const VstIntPtr result = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        ++counts.calls;
        ++counts.dispatcherCalls;
        liveRecords.erase(effect);
        instances.erase(instances.begin() + static_cast<std::ptrdiff_t>(which));
        if (result != 1) {
            fail("effClose answered " + std::to_string(result));
        }
    }

    void dispatch(Instance& target, std::int32_t opcode) {
        if (opcode == effClose) {
            close(static_cast<std::size_t>(&target - instances.data()));
            return;
        }
        const std::int32_t index = random.anyIndex();
        VstIntPtr value = random.anyValue();
        const float opt = random.anyFloat();
        void* ptr = nullptr;
        call.prepare(opcode, value, ptr, random);
        AEffect* effect = target.effect;
        const VstIntPtr result = effect->dispatcher(effect, opcode, index, value, ptr, opt);
        ++counts.calls;
        ++counts.dispatcherCalls;
        if (const char* broken = call.verify(result)) {
            fail("opcode " + std::to_string(opcode) + " index " + std::to_string(index) + ": " +
                 broken);
        }
    }

    void setParameter(Instance& target) {
        const std::int32_t index = random.pick<std::int32_t>({0, 1, 0, 1, -1, 2, 1000});
        const float value = random.anyFloat();
        target.effect->setParameter(target.effect, index, value);
        ++counts.calls;
        ++counts.parameterCalls;
        if (index == 0 || index == 1) {
            target.stored[index] = value;
        }
    }

    void getParameter(Instance& target) {
        const std::int32_t index = random.pick<std::int32_t>({0, 1, -1, 2});
        const float value = target.effect->getParameter(target.effect, index);
        ++counts.calls;
        ++counts.parameterCalls;
        if ((index == 0 || index == 1) && !sameFloat(value, target.stored[index])) {
            fail("parameter " + std::to_string(index) + " came back changed");
        }
    }

    template <class Sample>
    struct Block {
        // Inputs of exactly the block's size, so AddressSanitizer sees any read
        // beyond; outputs with guard samples behind, so any write beyond shows.
        std::array<std::unique_ptr<Sample[]>, 2> input;
        std::array<std::vector<Sample>, 2> output;
        Sample* inputs[2];
        Sample* outputs[2];
    };

    void process(Instance& target) {
        const int kind = static_cast<int>(random.between(0, 5));
        if (kind < 3) {
            processBlock<double>(target, target.effect->processDoubleReplacing, "double");
        } else if (kind < 5) {
            processBlock<float>(target, target.effect->processReplacing, "single");
        } else {
            processBlock<float>(target, target.effect->process, "accumulating");
        }
    }

    template <class Sample, class Proc>
    void processBlock(Instance& target, Proc proc, const char* precision) {
        const std::int32_t frames = random.anyFrames();
        const std::size_t count = frames > 0 ? static_cast<std::size_t>(frames) : 0;
        const bool inPlace = random.chance(0.2);
        const bool poisoned = random.chance(0.03);
        Block<Sample> block;
        for (int c = 0; c < 2; ++c) {
            block.input[c].reset(new Sample[count]);
            for (std::size_t i = 0; i < count; ++i) {
                block.input[c][i] = static_cast<Sample>(random.unit());
            }
            if (poisoned && count > 0) {
                block.input[c][static_cast<std::size_t>(
                    random.between(0, static_cast<std::int64_t>(count) - 1))] =
                    random.pick<Sample>({std::numeric_limits<Sample>::quiet_NaN(),
                                         std::numeric_limits<Sample>::infinity(),
                                         -std::numeric_limits<Sample>::infinity()});
                target.inputsFinite = false;
            }
            block.output[c].assign(count + kGuardSamples, static_cast<Sample>(kGuardValue));
            std::fill_n(block.output[c].begin(), count, Sample(0));
            block.inputs[c] = block.input[c].get();
            block.outputs[c] = block.output[c].data();
        }
        AEffect* effect = target.effect;
        proc(effect, block.inputs, inPlace ? block.inputs : block.outputs, frames);
        ++counts.calls;
        ++counts.processCalls;

        const std::string where =
            std::string(precision) + " block of " + std::to_string(frames) + " frames";
        for (int c = 0; c < 2; ++c) {
            for (std::size_t i = count; i < block.output[c].size(); ++i) {
                if (block.output[c][i] != static_cast<Sample>(kGuardValue)) {
                    fail(where + ": wrote past the output block");
                    return;
                }
            }
        }
        if (!target.inputsFinite || !sane(target.stored[0])) {
            return;
        }
        ++counts.finiteChecks;
        for (int c = 0; c < 2; ++c) {
            const Sample* out = inPlace ? block.inputs[c] : block.outputs[c];
            for (std::size_t i = 0; i < count; ++i) {
                if (!std::isfinite(out[i])) {
                    char detail[160];
                    std::snprintf(
                        detail, sizeof detail, ": channel %d frame %zu is %g (speed %g, length %g)",
                        c, i, static_cast<double>(out[i]), static_cast<double>(target.stored[0]),
                        static_cast<double>(target.stored[1]));
                    fail(where + detail);
                    return;
                }
            }
        }
    }

    VstPluginMainProc entry;
    std::uint64_t seed;
    Random random;
    Counts& counts;
    std::vector<Instance> instances;
    kavro::reliability::DispatcherCall call;
    int step = 0;
    std::string failure;
};

class HostTorture : public ::testing::Test {
  protected:
    void SetUp() override {
        handle = dlopen(KAVRO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        entry = reinterpret_cast<VstPluginMainProc>(dlsym(handle, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr) << "VSTPluginMain is not exported";
    }
    void TearDown() override {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
    void* handle = nullptr;
    VstPluginMainProc entry = nullptr;
};

TEST_F(HostTorture, RandomHostCallSequencesBreakNothing) {
    installSeedReporter();
    const std::uint64_t replay = envNumber("KAVRO_TORTURE_SEED", 0);
    const std::uint64_t sequences =
        replay != 0 ? 1 : envNumber("KAVRO_TORTURE_SEQUENCES", kDefaultSequences);
    Counts counts;
    std::vector<std::string> failures;
    for (std::uint64_t i = 0; i < sequences; ++i) {
        const std::uint64_t seed = replay != 0 ? replay : kDefaultBaseSeed + i;
        runningSeed.store(seed);
        sequenceRunning.store(true);
        Torture torture(entry, seed, counts);
        const std::string failure = torture.run();
        sequenceRunning.store(false);
        if (!failure.empty()) {
            failures.push_back("KAVRO_TORTURE_SEED=" + std::to_string(seed) + " " + failure);
        }
    }
    std::printf("host torture: %" PRIu64 " sequences, %" PRIu64 " host calls (%" PRIu64
                " dispatcher, %" PRIu64 " processing, %" PRIu64 " parameter, %" PRIu64
                " instances made; %" PRIu64 " blocks checked finite)\n",
                counts.sequences, counts.calls, counts.dispatcherCalls, counts.processCalls,
                counts.parameterCalls, counts.instancesMade, counts.finiteChecks);
    RecordProperty("sequences", std::to_string(counts.sequences));
    RecordProperty("calls", std::to_string(counts.calls));

    EXPECT_EQ(callbacksFromDeadRecords.load(), 0) << "a closed instance called the host";
    EXPECT_TRUE(liveRecords.empty());
    for (const std::string& failure : failures) {
        ADD_FAILURE() << failure;
    }
    // Guards the harness itself: a run that made no checked block or reached
    // no instance proves nothing.
    EXPECT_GT(counts.finiteChecks, 0U);
    EXPECT_GE(counts.instancesMade, counts.sequences);
}

}  // namespace
