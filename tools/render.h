// The renderer's core, apart from its command line: block patterns, parameter
// automation, finding the plug-in, the demo signal and the render loop. The
// kavro-render tool and the tests both use it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio_io.h"
#include "kavro_result.h"
#include "plugin_host.h"

namespace kavro::render {

// What went wrong, as the tool's exit status: one per kind of bad input.
enum class Failure { Usage = 2, Input = 3, Plugin = 4, Output = 5, Interrupted = 130 };

struct Error {
    Failure kind;
    std::string message;  // one line, without the "error: " prefix
};

template <class T>
using Result = kavro::Result<T, Error>;

// Block sizes for successive processing calls: "N" (every block N frames),
// "A,B,C" (then C again and again), "A,B,C,loop" (the list over and over),
// "random:SEED" or "random:SEED:MAX" (sizes from 1 to MAX, default 4096,
// repeatable for a seed).
class BlockPattern {
  public:
    static Result<BlockPattern> parse(const std::string& text);
    static BlockPattern fixed(std::int32_t size);

    std::int32_t next() noexcept;
    std::int32_t maxBlock() const noexcept { return largest; }
    void restart() noexcept;

  private:
    std::vector<std::int32_t> sizes;
    bool loop = false;
    bool random = false;
    std::uint64_t seed = 0, state = 0;
    std::size_t position = 0;
    std::int32_t largest = 1;
};

constexpr std::int32_t kMaxBlock = 1 << 20;

// One --param option: NAME|INDEX=VALUE or NAME|INDEX=SECONDS:VALUE,...
struct ParamOption {
    std::string key;  // name or index, as given (trimmed)
    struct Point {
        double seconds;
        float value;
    };
    std::vector<Point> points;  // one point with seconds 0 for a plain value
    bool automated = false;     // written with breakpoints

    static Result<ParamOption> parse(const std::string& text);
    // The value at a time: linear between breakpoints, held outside them.
    float valueAt(double seconds) const noexcept;
};

// A --param option bound to a parameter of the plug-in.
struct ParamBinding {
    std::int32_t index;
    ParamOption option;
};

// Finds a parameter by index, or by name: case-insensitive with surrounding
// spaces ignored, then by the name's first word ("speed" finds "SPEED x ").
Result<std::int32_t> resolveParam(host::Instance& instance, const std::string& key);

// Where a plug-in is searched when none is named, in order.
std::vector<std::string> pluginSearchList();
// The plug-in to load: the given path, else the first existing entry of the
// search list.
Result<std::string> findPlugin(const std::string& given);

// The built-in demo: a few seconds of plucked arpeggios, drums and noise.
audio::Buffer demoSignal(int sampleRate = 44100, double seconds = 8.0);
// The demo's speed sweep, as breakpoints.
ParamOption demoSpeedSweep();

struct Spec {
    int channels = 0;                 // input channels
    int sampleRate = 0;               // input rate, also given to the plug-in
    std::int64_t expectedFrames = 0;  // input length as announced (for progress)
    std::function<audio::Result<std::int64_t>(double*, std::int64_t)> read;
    std::function<Result<std::int64_t>(const double*, std::int64_t)> write;
    host::Precision precision = host::Precision::Double;
    BlockPattern pattern = BlockPattern::fixed(512);
    std::int64_t tailFrames = 0;
    std::vector<ParamBinding> params;
    // Called at each block start after the automation is applied, before the
    // block is processed: first frame of the block and its length.
    std::function<void(host::Instance&, std::int64_t, std::int32_t)> onBlock;
    // Called now and then with frames done and frames expected in all.
    std::function<void(std::int64_t, std::int64_t)> progress;
    const std::atomic<bool>* cancel = nullptr;
};

struct Stats {
    std::int64_t framesRead = 0;
    std::int64_t framesWritten = 0;
    int outputChannels = 0;
    double wallSeconds = 0;
    std::vector<double> peak;    // per output channel, absolute
    std::vector<double> rms;     // per output channel
    std::int64_t nonFinite = 0;  // NaN or infinite output samples (left out of peak and RMS)
};

// Checks the input's channel count against the plug-in's inputs.
Result<int> checkChannels(const host::Instance& instance, int inputChannels);

// Runs the input through the instance (already created with the input's
// sample rate and the pattern's largest block), writing every output frame.
Result<Stats> render(host::Instance& instance, Spec& spec);

}  // namespace kavro::render
