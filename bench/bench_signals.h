// Benchmark inputs: stereo signals built once, from a fixed seed, outside the
// timed loops, and the buffers one processing call reads and writes.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string_view>
#include <vector>

namespace kavro::bench {

enum class InputKind { noise, sine, denormal };

inline std::string_view inputName(InputKind kind) {
    switch (kind) {
        case InputKind::noise:
            return "noise";
        case InputKind::sine:
            return "sine";
        case InputKind::denormal:
            return "denormal";
    }
    return "?";
}

// Frames of source signal a benchmark walks through, one block per call, so
// successive calls see different audio (a sine block of 32 frames alone would
// hold no crossing). A power of two, so every block size divides it.
inline constexpr std::int32_t kSourceFrames = 16384;
inline constexpr std::uint64_t kSeed = 0x4b6176726f2d6265ULL;

// Uniform in [-1, 1) from the top 53 bits, independent of the library's
// distribution implementations.
inline double uniformSigned(std::mt19937_64& random) {
    return static_cast<double>(random() >> 11) * 0x1.0p-52 - 1.0;
}

// Two channels of kSourceFrames samples. Noise: uniform in [-1, 1). Sine:
// 440 Hz left, 660 Hz right at 44.1 kHz, amplitude 0.5. Denormal: values below
// the smallest normal number of the sample type with random signs (crossings
// still occur), the case where arithmetic on subnormals is slow.
template <typename Sample>
struct StereoSource {
    std::vector<Sample> left;
    std::vector<Sample> right;

    explicit StereoSource(InputKind kind) : left(kSourceFrames), right(kSourceFrames) {
        std::mt19937_64 random(kSeed);
        const double smallest = static_cast<double>(std::numeric_limits<Sample>::min());
        for (std::int32_t i = 0; i < kSourceFrames; ++i) {
            double l = 0.0;
            double r = 0.0;
            switch (kind) {
                case InputKind::noise:
                    l = uniformSigned(random);
                    r = uniformSigned(random);
                    break;
                case InputKind::sine: {
                    const double t = static_cast<double>(i) / 44100.0;
                    l = 0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * t);
                    r = 0.5 * std::sin(2.0 * std::numbers::pi * 660.0 * t);
                    break;
                }
                case InputKind::denormal:
                    l = uniformSigned(random) * smallest * 0.5;
                    r = uniformSigned(random) * smallest * 0.5;
                    break;
            }
            left[static_cast<std::size_t>(i)] = static_cast<Sample>(l);
            right[static_cast<std::size_t>(i)] = static_cast<Sample>(r);
        }
    }
};

// The channel arrays of one call: inputs point into the source at the current
// block, outputs into block-sized buffers.
template <typename Sample>
class BlockCursor {
  public:
    BlockCursor(StereoSource<Sample>& source, std::int32_t blockSize)
        : source_(source),
          blockSize_(blockSize),
          outLeft_(static_cast<std::size_t>(blockSize)),
          outRight_(static_cast<std::size_t>(blockSize)) {
        outputs_[0] = outLeft_.data();
        outputs_[1] = outRight_.data();
    }

    // Points the inputs at the next block of the source, wrapping at its end.
    Sample** nextInputs() {
        inputs_[0] = source_.left.data() + offset_;
        inputs_[1] = source_.right.data() + offset_;
        offset_ += blockSize_;
        if (offset_ + blockSize_ > kSourceFrames) {
            offset_ = 0;
        }
        return inputs_;
    }
    Sample** outputs() { return outputs_; }

  private:
    StereoSource<Sample>& source_;
    std::int32_t blockSize_;
    std::int32_t offset_ = 0;
    std::vector<Sample> outLeft_;
    std::vector<Sample> outRight_;
    Sample* inputs_[2] = {nullptr, nullptr};
    Sample* outputs_[2] = {nullptr, nullptr};
};

// The floor for touching the same data: read both inputs, write both outputs
// times a gain. Reading every input before writing is not needed here.
template <typename Sample>
void copyWithGain(Sample* const* inputs, Sample* const* outputs, std::int32_t frames,
                  double gain) noexcept {
    const Sample g = static_cast<Sample>(gain);
    const Sample* const inLeft = inputs[0];
    const Sample* const inRight = inputs[1];
    Sample* const outLeft = outputs[0];
    Sample* const outRight = outputs[1];
    for (std::int32_t i = 0; i < frames; ++i) {
        outLeft[i] = inLeft[i] * g;
        outRight[i] = inRight[i] * g;
    }
}

}  // namespace kavro::bench
