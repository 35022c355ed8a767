// The optimised processing against the straightforward per-frame loop
// (reference_processing.h): long seeded random sessions, in double, float and
// mixed precision, with random block sizes (empty, negative and longer than
// the ring included), parameter changes and position changes between blocks.
// After every block the outputs and the whole state, rings included, must be
// equal bit for bit.
//
// KAVRO_EQUIVALENCE_BLOCKS sets the blocks per session (default 1500); a
// sanitizer run may want fewer, a soak run more.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#define KAVRO_TEST_MXCSR 1
#endif

#include "reference_processing.h"
#include "varispeed_processing.h"
#include "varispeed_state.h"

namespace {

using kavro::VarispeedState;

constexpr std::int32_t kMaxFrames = 100000;

int blocksPerSession() {
    if (const char* text = std::getenv("KAVRO_EQUIVALENCE_BLOCKS")) {
        const int blocks = std::atoi(text);
        if (blocks > 0) {
            return blocks;
        }
    }
    return 1500;
}

template <typename T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// The first difference between two states, or "" when they are equal bit for
// bit (positions and gain compared as bits: -0.0 and NaN payloads count).
std::string stateDifference(const VarispeedState& a, const VarispeedState& b) {
    std::ostringstream out;
    out.precision(17);
    const auto field = [&](const char* name, const auto& x, const auto& y) {
        if (out.tellp() == 0 && !sameBits(x, y)) {
            out << name << ": reference " << x << ", optimised " << y;
        }
    };
    field("speed", a.speed.load(), b.speed.load());
    field("length", a.length.load(), b.length.load());
    field("readPositionLeft", a.readPositionLeft, b.readPositionLeft);
    field("readPositionRight", a.readPositionRight, b.readPositionRight);
    field("ringLength", a.ringLength, b.ringLength);
    field("ringLengthReal", a.ringLengthReal, b.ringLengthReal);
    field("writeIndex", a.writeIndex, b.writeIndex);
    field("crossingLeft", a.crossingLeft, b.crossingLeft);
    field("crossingRight", a.crossingRight, b.crossingRight);
    field("jumpTargetLeft", a.jumpTargetLeft, b.jumpTargetLeft);
    field("jumpTargetRight", a.jumpTargetRight, b.jumpTargetRight);
    field("armedLeft", a.armedLeft, b.armedLeft);
    field("armedRight", a.armedRight, b.armedRight);
    field("blockCounter", a.blockCounter, b.blockCounter);
    field("readIndexLeft", a.readIndexLeft, b.readIndexLeft);
    field("readIndexRight", a.readIndexRight, b.readIndexRight);
    field("outputGain", a.outputGain, b.outputGain);
    const auto ringBytes = sizeof(double) * static_cast<std::size_t>(kavro::kRingLength);
    if (out.tellp() == 0 && std::memcmp(a.ringLeft.get(), b.ringLeft.get(), ringBytes) != 0) {
        out << "ringLeft contents";
    }
    if (out.tellp() == 0 && std::memcmp(a.ringRight.get(), b.ringRight.get(), ringBytes) != 0) {
        out << "ringRight contents";
    }
    return out.str();
}

// Speeds across every regime: exact-path speeds (0, 2^-13 and up), tiny ones
// below 2^-13 (stepwise only), speeds well above 1, at and beyond the ring
// length, negative, huge and not finite.
const std::vector<float> kSpeeds = {0.0f,
                                    -0.0f,
                                    1.0f,
                                    0.5f,
                                    0.9f,
                                    0.25f,
                                    0x1p-13f,
                                    0x1.fffffep-14f,
                                    1e-5f,
                                    0x1p-20f,
                                    1e-42f,
                                    1.5f,
                                    2.0f,
                                    3.7f,
                                    100.25f,
                                    1234.5678f,
                                    44099.0f,
                                    44099.996f,
                                    44100.0f,
                                    44100.5f,
                                    50000.0f,
                                    1e9f,
                                    1e30f,
                                    FLT_MAX,
                                    -0.5f,
                                    -1.0f,
                                    -3.25f,
                                    -44100.0f,
                                    -1e9f,
                                    std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity()};

// Lengths across the range: N = 1, 2, 9, 33, 65, below 1, huge, NaN.
const std::vector<float> kLengths = {0.0f,
                                     0.015625f,
                                     0.125f,
                                     0.0078125f,
                                     0.5f,
                                     1.0f,
                                     -0.5f,
                                     2.0f,
                                     1e10f,
                                     -1e10f,
                                     std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity()};

enum class Precision { doubleOnly, floatOnly, mixed };

class Session {
  public:
    Session(std::uint64_t seed, Precision precision)
        : random_(seed),
          precision_(precision),
          reference_(std::make_unique<VarispeedState>()),
          optimised_(std::make_unique<VarispeedState>()) {
        for (auto* buffers : {&referenceBuffers_, &optimisedBuffers_}) {
            for (auto& channel : buffers->doubles) {
                channel.resize(kMaxFrames);
            }
            for (auto& channel : buffers->floats) {
                channel.resize(kMaxFrames);
            }
        }
        inputDouble_[0].resize(kMaxFrames);
        inputDouble_[1].resize(kMaxFrames);
    }

    bool allocated() const { return reference_->ringsAllocated() && optimised_->ringsAllocated(); }

    // Runs `blocks` blocks; stops at the first difference and describes it.
    std::string run(int blocks) {
        for (block_ = 0; block_ < blocks; ++block_) {
            changeParameters();
            const bool useFloat = precision_ == Precision::floatOnly ||
                                  (precision_ == Precision::mixed && chance(0.5));
            const std::string difference = useFloat ? runBlock<float>() : runBlock<double>();
            if (!difference.empty()) {
                std::ostringstream out;
                out << "block " << block_ << " (" << (useFloat ? "float" : "double") << ", "
                    << lastFrames_ << " frames, speed " << reference_->speed.load() << ", length "
                    << reference_->length.load() << "): " << difference;
                return out.str();
            }
        }
        return "";
    }

  private:
    struct Buffers {
        std::vector<double> doubles[2];
        std::vector<float> floats[2];
        template <typename Sample>
        std::vector<Sample>* channels() {
            if constexpr (std::is_same_v<Sample, double>) {
                return doubles;
            } else {
                return floats;
            }
        }
    };

    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < p; }
    int uniformInt(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    double uniformSigned() { return std::uniform_real_distribution<double>(-1.0, 1.0)(random_); }

    template <typename T>
    const T& pick(const std::vector<T>& values) {
        return values[static_cast<std::size_t>(uniformInt(0, static_cast<int>(values.size()) - 1))];
    }

    void setBoth(float speed, float length) {
        for (VarispeedState* state : {reference_.get(), optimised_.get()}) {
            state->speed.store(speed);
            state->length.store(length);
        }
    }

    void changeParameters() {
        float speed = reference_->speed.load();
        float length = reference_->length.load();
        if (chance(0.12)) {
            switch (uniformInt(0, 3)) {
                case 0:  // a float with any bits in (0, 2)
                    speed = static_cast<float>(
                        std::ldexp(std::uniform_real_distribution<double>(1.0, 2.0)(random_),
                                   uniformInt(-30, 0)));
                    break;
                case 1:  // a float in [0, 2) on a coarse grid
                    speed = static_cast<float>(uniformInt(0, 255)) / 128.0f;
                    break;
                default:
                    speed = pick(kSpeeds);
                    break;
            }
        }
        if (chance(0.05)) {
            length =
                chance(0.5) ? pick(kLengths) : static_cast<float>((uniformSigned() + 1.0) / 2.0);
        }
        setBoth(speed, length);
        if (chance(0.03)) {
            // Positions the processing itself may not reach: finer bits than
            // 2^-36, the ring's last half sample, -0.0, or near the other one.
            const double ringEnd = kavro::kRingLength;
            double position = 0.0;
            switch (uniformInt(0, 4)) {
                case 0:
                    position = (uniformSigned() + 1.0) / 2.0 * ringEnd;
                    break;
                case 1:
                    position = ringEnd - 0.5;
                    break;
                case 2:
                    position = -0.0;
                    break;
                case 3:
                    position = std::floor(reference_->readPositionLeft) + 0.5;
                    break;
                default:
                    position = static_cast<double>(uniformInt(0, kavro::kRingLength - 1));
                    break;
            }
            if (!(position < ringEnd)) {
                position = 0.0;
            }
            const bool right = chance(0.7);
            for (VarispeedState* state : {reference_.get(), optimised_.get()}) {
                (right ? state->readPositionRight : state->readPositionLeft) = position;
            }
        }
    }

    std::int32_t blockSize() {
        const int kind = uniformInt(0, 99);
        if (kind < 55) {
            return uniformInt(1, 700);
        }
        if (kind < 65) {
            return uniformInt(1, 8);
        }
        if (kind < 72) {
            return 0;
        }
        if (kind < 77) {
            return pick(std::vector<std::int32_t>{-1, -7, -512, INT32_MIN});
        }
        if (kind < 97) {
            return uniformInt(700, 5000);
        }
        return pick(
            std::vector<std::int32_t>{43843, 43844, 44099, 44100, 44101, 60000, kMaxFrames});
    }

    // Fills the first `frames` input samples of both channels in one of a few
    // styles: noise, noise that rarely crosses, a sine, special values.
    void makeInput(std::int32_t frames) {
        const int style = uniformInt(0, 9);
        const double frequency = 0.001 + 0.05 * (uniformSigned() + 1.0);
        for (int channel = 0; channel < 2; ++channel) {
            double* input = inputDouble_[channel].data();
            for (std::int32_t i = 0; i < frames; ++i) {
                double x = uniformSigned();
                if (style == 4 || style == 5) {
                    x = std::fabs(x) * (chance(0.01) ? -1.0 : 1.0);
                } else if (style == 6 || style == 7) {
                    x = 0.7 * std::sin(frequency * i + channel);
                } else if (style == 8) {
                    constexpr double kSpecials[] = {0.0,
                                                    -0.0,
                                                    1e-310,
                                                    -1e-310,
                                                    1e-45,
                                                    -1e-45,
                                                    std::numeric_limits<double>::quiet_NaN(),
                                                    std::numeric_limits<double>::infinity(),
                                                    -std::numeric_limits<double>::infinity(),
                                                    0.5,
                                                    -0.5};
                    x = kSpecials[uniformInt(0, 10)];
                }
                input[i] = x;
            }
        }
    }

    template <typename Sample>
    std::string runBlock() {
        const std::int32_t frames = blockSize();
        lastFrames_ = frames;
        const std::int32_t used = frames > 0 ? frames : 0;
        makeInput(used);
        const bool inPlace = chance(0.15);
        const int nullKind = chance(0.03) ? uniformInt(1, 4) : 0;
        Sample* const* in[2] = {nullptr, nullptr};
        Sample* const* out[2] = {nullptr, nullptr};
        Sample* inPointers[2][2] = {};
        Sample* outPointers[2][2] = {};
        Buffers* buffers[2] = {&referenceBuffers_, &optimisedBuffers_};
        std::vector<std::vector<Sample>> inputCopies(2);
        for (int rig = 0; rig < 2; ++rig) {
            std::vector<Sample>* channels = buffers[rig]->template channels<Sample>();
            for (int channel = 0; channel < 2; ++channel) {
                Sample* output = channels[channel].data();
                // Outputs start from the same sentinel so that untouched samples
                // compare too; in place, the inputs go into the outputs.
                for (std::int32_t i = 0; i < used; ++i) {
                    output[i] = inPlace ? static_cast<Sample>(inputDouble_[channel][i])
                                        : static_cast<Sample>(-12345.0);
                }
                outPointers[rig][channel] = output;
            }
            if (inPlace) {
                inPointers[rig][0] = outPointers[rig][0];
                inPointers[rig][1] = outPointers[rig][1];
            } else {
                inputCopies[rig].resize(2 * static_cast<std::size_t>(used));
                for (std::int32_t i = 0; i < used; ++i) {
                    inputCopies[rig][i] = static_cast<Sample>(inputDouble_[0][i]);
                    inputCopies[rig][used + i] = static_cast<Sample>(inputDouble_[1][i]);
                }
                inPointers[rig][0] = inputCopies[rig].data();
                inPointers[rig][1] = inputCopies[rig].data() + used;
            }
            in[rig] = inPointers[rig];
            out[rig] = outPointers[rig];
            switch (nullKind) {
                case 1:
                    in[rig] = nullptr;
                    break;
                case 2:
                    out[rig] = nullptr;
                    break;
                case 3:
                    inPointers[rig][1] = nullptr;
                    break;
                case 4:
                    outPointers[rig][0] = nullptr;
                    break;
                default:
                    break;
            }
        }
        kavro::reference::processBlock<Sample>(*reference_, in[0], out[0], frames);
        kavro::processVarispeedBlock<Sample>(*optimised_, in[1], out[1], frames);

        for (int channel = 0; channel < 2; ++channel) {
            const std::vector<Sample>* a = referenceBuffers_.template channels<Sample>();
            const std::vector<Sample>* b = optimisedBuffers_.template channels<Sample>();
            if (std::memcmp(a[channel].data(), b[channel].data(), sizeof(Sample) * used) != 0) {
                for (std::int32_t i = 0; i < used; ++i) {
                    if (!sameBits(a[channel][i], b[channel][i])) {
                        std::ostringstream message;
                        message.precision(17);
                        message << (channel == 0 ? "left" : "right") << " output frame " << i
                                << ": reference " << a[channel][i] << ", optimised "
                                << b[channel][i];
                        return message.str();
                    }
                }
            }
        }
        return stateDifference(*reference_, *optimised_);
    }

    std::mt19937_64 random_;
    Precision precision_;
    std::unique_ptr<VarispeedState> reference_;
    std::unique_ptr<VarispeedState> optimised_;
    Buffers referenceBuffers_;
    Buffers optimisedBuffers_;
    std::vector<double> inputDouble_[2];
    int block_ = 0;
    std::int32_t lastFrames_ = 0;
};

struct SessionCase {
    const char* name;
    std::uint64_t seed;
    Precision precision;
};

TEST(ProcessingEquivalence, OptimisedEqualsStraightforwardLoopBitForBit) {
    const SessionCase cases[] = {
        {"double A", 0x6b61767231ULL, Precision::doubleOnly},
        {"double B", 0x6b61767232ULL, Precision::doubleOnly},
        {"float A", 0x6b61767233ULL, Precision::floatOnly},
        {"float B", 0x6b61767234ULL, Precision::floatOnly},
        {"mixed A", 0x6b61767235ULL, Precision::mixed},
        {"mixed B", 0x6b61767236ULL, Precision::mixed},
    };
    const int blocks = blocksPerSession();
    for (const SessionCase& session : cases) {
        SCOPED_TRACE(session.name);
        auto rig = std::make_unique<Session>(session.seed, session.precision);
        ASSERT_TRUE(rig->allocated());
        EXPECT_EQ(rig->run(blocks), "");
    }
}

#ifdef KAVRO_TEST_MXCSR
// Hosts often run their audio thread with subnormals flushed to zero (FTZ)
// and read as zero (DAZ); the two implementations must agree there as well.
TEST(ProcessingEquivalence, AlsoWithSubnormalsFlushedToZero) {
    const unsigned saved = _mm_getcsr();
    _mm_setcsr(saved | 0x8040u);  // FTZ (bit 15) and DAZ (bit 6)
    std::string difference;
    {
        auto rig = std::make_unique<Session>(0x6b61767237ULL, Precision::mixed);
        difference = rig->allocated() ? rig->run(blocksPerSession()) : "rings not allocated";
    }
    _mm_setcsr(saved);
    EXPECT_EQ(difference, "");
}
#endif

}  // namespace
