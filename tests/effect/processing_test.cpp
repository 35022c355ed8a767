// The Varispeed processing on a bare VarispeedState: the delay at
// speed 1.0, the retriggers, the arming counter, the channel alignment, and
// the guards for zeroed rings, unset flags, single precision (state level),
// out-of-range speeds, null channels and atomic parameters. This file is also built
// with AddressSanitizer and UndefinedBehaviorSanitizer (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "processing_helpers.h"
#include "varispeed_processing.h"
#include "varispeed_state.h"

using kavro::VarispeedState;
using kavro_test::makeState;
using kavro_test::process;
using kavro_test::processEmpty;
using kavro_test::StereoBlock;

namespace {

constexpr std::int32_t kDelay = 257;
constexpr std::int32_t kMaxSafeBlock = 43843;  // larger calls overwrite before reading
constexpr double kRing = 44100.0;

// ---------------------------------------------------------------------------
// Delay at speed 1.0 from construction
// ---------------------------------------------------------------------------

struct BlockPattern {
    std::string name;
    std::vector<std::int32_t> sizes;  // cycled; 0 and negative sizes are calls too
    bool random = false;
};

// Without it gtest prints the raw bytes, heap addresses included, into the
// test's discovered name, which then changes from build to build.
void PrintTo(const BlockPattern& pattern, std::ostream* os) {
    *os << pattern.name;
}

std::vector<std::int32_t> blockSizesFor(const BlockPattern& pattern, std::int32_t totalFrames) {
    std::vector<std::int32_t> sizes;
    std::int32_t done = 0;
    std::mt19937 random(20240504u);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<std::int32_t> small(1, 600);
    std::uniform_int_distribution<std::int32_t> large(1, kMaxSafeBlock);
    std::size_t next = 0;
    while (done < totalFrames) {
        std::int32_t size = 0;
        if (pattern.random) {
            const int k = kind(random);
            size = k == 0 ? 0 : k == 1 ? -17 : k <= 6 ? small(random) : large(random);
        } else {
            size = pattern.sizes[next++ % pattern.sizes.size()];
        }
        if (size > totalFrames - done) {
            size = totalFrames - done;
        }
        sizes.push_back(size);
        if (size > 0) {
            done += size;
        }
    }
    return sizes;
}

class DelayAtUnitySpeed : public ::testing::TestWithParam<BlockPattern> {};

template <typename Sample>
void checkDelay(const BlockPattern& pattern) {
    constexpr std::int32_t kTotal = 3 * 44100 + 12345;  // goes around the ring 3 times
    std::mt19937 random(7u);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    std::vector<Sample> inLeft(kTotal), inRight(kTotal);
    for (std::int32_t k = 0; k < kTotal; ++k) {
        inLeft[k] = static_cast<Sample>(sample(random));
        inRight[k] = static_cast<Sample>(sample(random));
    }
    std::vector<Sample> outLeft(kTotal, Sample(99)), outRight(kTotal, Sample(99));

    auto state = makeState();
    std::int32_t position = 0;
    for (std::int32_t size : blockSizesFor(pattern, kTotal)) {
        Sample* inputs[2] = {inLeft.data() + position, inRight.data() + position};
        Sample* outputs[2] = {outLeft.data() + position, outRight.data() + position};
        kavro::processVarispeedBlock<Sample>(*state, inputs, outputs, size);
        if (size > 0) {
            position += size;
        }
    }
    ASSERT_EQ(position, kTotal);

    std::int32_t mismatches = 0;
    for (std::int32_t k = 0; k < kTotal; ++k) {
        const Sample expectedLeft = k < kDelay ? Sample(0) : inLeft[k - kDelay];
        const Sample expectedRight = k < kDelay ? Sample(0) : inRight[k - kDelay];
        if (outLeft[k] != expectedLeft || outRight[k] != expectedRight) {
            if (++mismatches <= 5) {
                ADD_FAILURE() << "frame " << k << ": got " << outLeft[k] << "/" << outRight[k]
                              << ", expected " << expectedLeft << "/" << expectedRight;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // At speed 1.0 the two channels never drift apart, and nothing retriggers.
    EXPECT_EQ(state->readPositionLeft, state->readPositionRight);
    EXPECT_EQ(state->outputGain, 1.0);
}

TEST_P(DelayAtUnitySpeed, OutputIsInputDelayedBy257FramesDouble) {
    checkDelay<double>(GetParam());
}

TEST_P(DelayAtUnitySpeed, OutputIsInputDelayedBy257FramesFloat) {
    checkDelay<float>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    BlockSizes, DelayAtUnitySpeed,
    ::testing::Values(BlockPattern{"1", {1}}, BlockPattern{"7", {7}}, BlockPattern{"64", {64}},
                      BlockPattern{"512", {512}}, BlockPattern{"4096", {4096}},
                      BlockPattern{"43843", {kMaxSafeBlock}}, BlockPattern{"RandomMix", {}, true},
                      BlockPattern{"WithEmptyCalls", {0, 100, -5, 33, 0, 257}}),
    [](const ::testing::TestParamInfo<BlockPattern>& info) { return "Blocks" + info.param.name; });

// ---------------------------------------------------------------------------
// In place (outputs the same arrays as inputs) equals separate arrays
// ---------------------------------------------------------------------------

template <typename Sample>
void checkInPlace(float speed, float length) {
    auto separate = makeState();
    auto inPlace = makeState();
    for (VarispeedState* state : {separate.get(), inPlace.get()}) {
        state->speed = speed;
        state->length = length;
    }
    std::mt19937 random(99u);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    // Includes calls above 43843 frames, where the record pass overwrites
    // slots before the playback pass reads them.
    for (std::int32_t size : {300, 1, 0, 4096, 44100, 50000, 17, 2048, 1000}) {
        StereoBlock<Sample> input(static_cast<std::size_t>(size));
        for (std::int32_t i = 0; i < size; ++i) {
            input.left[i] = static_cast<Sample>(sample(random));
            input.right[i] = static_cast<Sample>(sample(random));
        }
        StereoBlock<Sample> output = process(*separate, input);
        kavro::processVarispeedBlock<Sample>(*inPlace, input.channels, input.channels, size);
        ASSERT_EQ(input.left, output.left) << "block of " << size;
        ASSERT_EQ(input.right, output.right) << "block of " << size;
    }
}

TEST(InPlaceProcessing, EqualsSeparateArrays) {
    const struct {
        const char* name;
        void (*check)(float, float);
        float speed;
        float length;
    } cases[] = {
        {"unity speed", &checkInPlace<double>, 1.0f, 0.125f},
        {"with retriggers", &checkInPlace<double>, 0.5f, 0.0f},
        {"above unity speed", &checkInPlace<double>, 1.7f, 0.02f},
        {"single precision", &checkInPlace<float>, 0.5f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(c.speed, c.length);
    }
}

// ---------------------------------------------------------------------------
// Retriggers at speed 0.5 with the default length (N = 9)
// ---------------------------------------------------------------------------
//
// The fixtures write the rings directly. At speed 0.5 from read position 0.0
// the frames of a call fetch the slots 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, ...
// (frame 0 fetches the slot chosen before the call, 0 from construction;
// frame f >= 1 fetches trunc(0.5 x (f - 1))). The gain is 0.5 x 0.5 + 0.5.

constexpr double kGainAtHalfSpeed = 0.75;

std::vector<double> constant(std::size_t frames, double value) {
    return std::vector<double>(frames, value);
}

TEST(Retrigger, ArmsBothChannelsOnEveryNinthCallAtDefaultLength) {
    auto state = makeState();
    state->speed = 0.5f;
    const std::int32_t sizes[] = {0, 5, -3, 1, 64, 0, 2, 9, 0};
    for (int call = 1; call <= 36; ++call) {
        StereoBlock<double> silence(static_cast<std::size_t>(std::max(0, sizes[call % 9])));
        if (sizes[call % 9] < 0) {
            processEmpty(*state, sizes[call % 9]);
        } else {
            process(*state, silence);
        }
        const bool armed = call % 9 == 0;
        EXPECT_EQ(state->armedLeft, armed) << "call " << call;
        EXPECT_EQ(state->armedRight, armed) << "call " << call;
        EXPECT_EQ(state->blockCounter, call % 9) << "call " << call;
        state->armedLeft = state->armedRight = false;  // observe each arming once
    }
}

TEST(Retrigger, ArmedChannelJumpsAtUpwardOutputCrossingAndPlaysTargetTwoFramesLater) {
    auto state = makeState();
    state->speed = 0.5f;
    // Targets recorded before the call: left slot 1000, right slot 2000.
    state->crossingLeft = 1000;
    state->crossingRight = 2000;
    // Armed by the counter in this very call: the ninth call.
    state->blockCounter = 8;
    // Left: slots 0, 1 negative, slot 2 the first at or above zero.
    const double left[] = {-1.0, -2.0, 0.25, 0.5, 0.75};
    // Right: slots 0 to 3 negative, slot 4 crosses.
    const double right[] = {-1.0, -2.0, -3.0, -4.0, 0.5, 1.5};
    std::copy(std::begin(left), std::end(left), state->ringLeft.get());
    std::copy(std::begin(right), std::end(right), state->ringRight.get());
    for (int j = 0; j < 8; ++j) {
        state->ringLeft[1000 + j] = 10.0 + j;
        state->ringRight[2000 + j] = 20.0 + j;
    }
    // Input: positive throughout, so no input crossing, and the last input
    // sample (the frame-0 comparison) is not below zero.
    StereoBlock<double> input(constant(16, 0.5), constant(16, 0.5));
    const StereoBlock<double> output = process(*state, input);

    // Left crosses at frame 5 (slot 2 after slot 1): frame 6 still plays the
    // slot chosen at frame 5 (2), frame 7 on plays 1000, 1000, 1001, 1001, ...
    const double expectedLeft[] = {-1, -1, -1, -2, -2, 0.25, 0.25, 10,
                                   10, 11, 11, 12, 12, 13,   13,   14};
    // Right crosses at frame 9 (slot 4): frame 10 plays 4, frame 11 on 2000, ...
    const double expectedRight[] = {-1, -1,  -1,  -2, -2, -3, -3, -4,
                                    -4, 0.5, 0.5, 20, 20, 21, 21, 22};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(output.left[i], expectedLeft[i] * kGainAtHalfSpeed) << "left frame " << i;
        EXPECT_EQ(output.right[i], expectedRight[i] * kGainAtHalfSpeed) << "right frame " << i;
    }
    // Each retrigger disarms its channel.
    EXPECT_FALSE(state->armedLeft);
    EXPECT_FALSE(state->armedRight);
    EXPECT_EQ(state->blockCounter, 0);
    EXPECT_EQ(state->readPositionLeft, 1000.0 + 0.5 * (15 - 5));
    EXPECT_EQ(state->readPositionRight, 2000.0 + 0.5 * (15 - 9));
}

TEST(Retrigger, NoRetriggerWhenNotArmed) {
    auto state = makeState();
    state->speed = 0.5f;
    state->crossingLeft = 1000;
    const double left[] = {-1.0, -2.0, 0.25, 0.5, 0.75};
    std::copy(std::begin(left), std::end(left), state->ringLeft.get());
    StereoBlock<double> input(constant(8, 0.5), constant(8, 0.5));
    const StereoBlock<double> output = process(*state, input);  // first call: not armed
    const double expected[] = {-1, -1, -1, -2, -2, 0.25, 0.25, 0.5};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(output.left[i], expected[i] * kGainAtHalfSpeed) << "frame " << i;
    }
    EXPECT_EQ(state->readPositionLeft, 4.0);
}

TEST(Retrigger, EachChannelRetriggersAtMostOncePerArming) {
    auto state = makeState();
    state->speed = 0.5f;
    state->armedLeft = true;
    state->crossingLeft = 1000;
    // Crossings everywhere: at the start and in the target region.
    for (int j = 0; j < 40; ++j) {
        state->ringLeft[j] = j % 2 == 0 ? -1.0 : 1.0;
        state->ringLeft[1000 + j] = j % 2 == 0 ? -1.0 : 1.0;
    }
    StereoBlock<double> input(constant(40, 0.5), constant(40, 0.5));
    process(*state, input);
    // Slots 0, 0, 0, 1: the first crossing is at frame 3; after it the
    // position only advances, across every later crossing.
    EXPECT_FALSE(state->armedLeft);
    EXPECT_EQ(state->readPositionLeft, 1000.0 + 0.5 * (39 - 3));
}

TEST(Retrigger, CrossingRegisteredInCurrentCallBecomesTargetOnlyFromNextCall) {
    auto state = makeState();
    state->speed = 0.5f;
    state->armedLeft = true;
    state->crossingLeft = 1000;  // the crossing known before the call
    const double left[] = {-1.0, -2.0, 0.25, 0.5, 0.75};
    std::copy(std::begin(left), std::end(left), state->ringLeft.get());
    for (int j = 0; j < 8; ++j) {
        state->ringLeft[1000 + j] = 10.0 + j;
    }
    // Call 1's left input crosses upward at its frame 2, written to slot 258.
    StereoBlock<double> input1({0.5, -1.0, 1.0, 0.25, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5},
                               constant(10, 0.5));
    const StereoBlock<double> output1 = process(*state, input1);
    // The jump at frame 5 goes to the old target 1000, not to slot 258.
    EXPECT_EQ(output1.left[7], 10.0 * kGainAtHalfSpeed);
    EXPECT_EQ(output1.left[9], 11.0 * kGainAtHalfSpeed);
    EXPECT_EQ(state->jumpTargetLeft, 1000);
    EXPECT_EQ(state->crossingLeft, 258);

    // Call 2: same output fixture again, armed again; the target is now 258.
    state->readPositionLeft = 0.0;
    state->readIndexLeft = 0;
    state->armedLeft = true;
    StereoBlock<double> input2(constant(12, 0.5), constant(12, 0.5));
    const StereoBlock<double> output2 = process(*state, input2);
    EXPECT_EQ(state->jumpTargetLeft, 258);
    // Slots 258, 258, 259, 259, 260 hold call 1's inputs 1.0, 1.0, 0.25, 0.25, 0.5.
    const double expected[] = {-1, -1, -1, -2, -2, 0.25, 0.25, 1.0, 1.0, 0.25, 0.25, 0.5};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(output2.left[i], expected[i] * kGainAtHalfSpeed) << "frame " << i;
    }
}

TEST(Retrigger, FrameZeroComparesTheCallsLastInputSampleWithTheFirstFetch) {
    auto state = makeState();
    state->speed = 0.5f;
    state->armedLeft = true;
    state->armedRight = true;
    state->crossingLeft = 1000;
    state->crossingRight = 2000;
    for (int j = 0; j < 8; ++j) {
        state->ringLeft[j] = 0.5;  // at or above zero from the first fetch on
        state->ringRight[j] = 0.5;
        state->ringLeft[1000 + j] = 10.0 + j;
        state->ringRight[2000 + j] = 20.0 + j;
    }
    // Left input ends negative: frame 0 compares -0.5 with the fetched 0.5, a
    // crossing, so the left channel retriggers at frame 0. Right input ends
    // positive: no crossing, no retrigger, although armed.
    StereoBlock<double> input(constant(8, -0.5), constant(8, 0.5));
    const StereoBlock<double> output = process(*state, input);
    const double expectedLeft[] = {0.5, 0.5, 10, 10, 11, 11, 12, 12};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(output.left[i], expectedLeft[i] * kGainAtHalfSpeed) << "frame " << i;
        EXPECT_EQ(output.right[i], 0.5 * kGainAtHalfSpeed) << "frame " << i;
    }
    EXPECT_FALSE(state->armedLeft);
    EXPECT_TRUE(state->armedRight);
    EXPECT_EQ(state->crossingLeft, 1000);  // -0.5 throughout: no input crossing
}

TEST(Retrigger, NoRetriggerAtUnitySpeedEvenWhenArmed) {
    auto state = makeState();
    state->armedLeft = state->armedRight = true;
    state->crossingLeft = state->crossingRight = 1000;
    state->ringLeft[0] = -1.0;
    state->ringLeft[1] = 1.0;
    StereoBlock<double> input(constant(8, 0.5), constant(8, 0.5));
    process(*state, input);
    EXPECT_TRUE(state->armedLeft);
    EXPECT_EQ(state->readPositionLeft, 8.0);
}

TEST(InputCrossings, UpwardCrossingWithinACallIsRegisteredAtItsSlot) {
    auto state = makeState();
    StereoBlock<double> input({0.5, -1.0, 0.0, 1.0}, {-1.0, -0.0, 2.0, -3.0});
    process(*state, input);
    EXPECT_EQ(state->crossingLeft, 258);   // -1.0 -> 0.0 (at or above zero)
    EXPECT_EQ(state->crossingRight, 257);  // -1.0 -> -0.0 (-0.0 is at or above zero)
}

TEST(InputCrossings, CrossingSplitAcrossTwoCallsIsNotRegistered) {
    auto state = makeState();
    StereoBlock<double> first({0.5, -1.0}, {0.5, -1.0});
    process(*state, first);
    StereoBlock<double> second({1.0, 1.0}, {1.0, 1.0});
    process(*state, second);
    EXPECT_EQ(state->crossingLeft, 0);
    EXPECT_EQ(state->crossingRight, 0);
    // The same samples within one call are registered (slot 256 + 2 + 1 + 1).
    StereoBlock<double> within({-1.0, 1.0}, {0.5, 0.5});
    process(*state, within);
    EXPECT_EQ(state->crossingLeft, 261);
    EXPECT_EQ(state->crossingRight, 0);
}

TEST(InputCrossings, NotANumberPreviousCountsAsBelowAndNotANumberCurrentNeverCompletes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto state = makeState();
    StereoBlock<double> input({0.5, nan, 0.5}, {-1.0, nan, -1.0});
    process(*state, input);
    EXPECT_EQ(state->crossingLeft, 258);  // NaN -> 0.5
    EXPECT_EQ(state->crossingRight, 0);   // -1 -> NaN never completes
}

// ---------------------------------------------------------------------------
// The arming counter: N = 1 - trunc(-64 x length)
// ---------------------------------------------------------------------------

struct LengthCase {
    float length;
    std::int32_t period;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << "length " << c.length << " period " << c.period;
}

class ArmingCounter : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ArmingCounter, ArmsEveryNthCallCountingEmptyAndNegativeSizeCalls) {
    const LengthCase param = GetParam();
    EXPECT_EQ(kavro::retriggerPeriod(param.length), param.period);
    auto state = makeState();
    state->speed = 0.5f;
    state->length = param.length;
    const std::int32_t every = std::max(param.period, 1);
    const std::int32_t sizes[] = {0, -7, 3, -1, 1};
    for (int call = 1; call <= 3 * every + 2; ++call) {
        const std::int32_t size = sizes[call % 5];
        if (size > 0) {
            StereoBlock<double> silence(static_cast<std::size_t>(size));
            process(*state, silence);
        } else {
            processEmpty(*state, size);
        }
        const bool armed = call % every == 0;
        ASSERT_EQ(state->armedLeft, armed) << "call " << call;
        ASSERT_EQ(state->armedRight, armed) << "call " << call;
        state->armedLeft = state->armedRight = false;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ArmingCounter,
                         ::testing::Values(LengthCase{0.0f, 1}, LengthCase{0.015624999f, 1},
                                           LengthCase{0.015625f, 2}, LengthCase{0.125f, 9},
                                           LengthCase{1.0f, 65}, LengthCase{-0.5f, -31},
                                           LengthCase{-0.001f, 1}));

TEST(RetriggerPeriod, IsDefinedForEveryFloat) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(kavro::retriggerPeriod(0.0f), 1);
    EXPECT_EQ(kavro::retriggerPeriod(-0.0f), 1);
    EXPECT_EQ(kavro::retriggerPeriod(0.5f), 33);
    EXPECT_EQ(kavro::retriggerPeriod(1000.0f), 64001);
    // NaN is taken as length 0.0.
    EXPECT_EQ(kavro::retriggerPeriod(std::numeric_limits<float>::quiet_NaN()), 1);
    // Saturated where trunc(-64 x length) leaves int32 (undefined in C++).
    EXPECT_EQ(kavro::retriggerPeriod(1.0e30f), INT32_MAX);
    EXPECT_EQ(kavro::retriggerPeriod(FLT_MAX), INT32_MAX);
    EXPECT_EQ(kavro::retriggerPeriod(inf), INT32_MAX);
    EXPECT_EQ(kavro::retriggerPeriod(-1.0e30f), 1 - INT32_MAX);
    EXPECT_EQ(kavro::retriggerPeriod(-FLT_MAX), 1 - INT32_MAX);
    EXPECT_EQ(kavro::retriggerPeriod(-inf), 1 - INT32_MAX);
    // The edges of the exact range: |64 x length| just inside int32.
    EXPECT_EQ(kavro::retriggerPeriod(33554430.0f), 1 + 64 * 33554430);  // 2^31 - 128
    EXPECT_EQ(kavro::retriggerPeriod(-33554430.0f), 1 - 64 * 33554430);
    EXPECT_EQ(kavro::retriggerPeriod(33554432.0f), INT32_MAX);  // 2^31
}

TEST(ArmingCounterLimits, HugeAndNotANumberLengthsProcessWithoutFault) {
    const float inf = std::numeric_limits<float>::infinity();
    for (float length :
         {std::numeric_limits<float>::quiet_NaN(), inf, -inf, FLT_MAX, -FLT_MAX, 1.0e12f}) {
        auto state = makeState();
        state->speed = 0.5f;
        state->length = length;
        for (int call = 0; call < 50; ++call) {
            StereoBlock<double> input(constant(8, 0.25), constant(8, -0.25));
            process(*state, input);
            EXPECT_GE(state->blockCounter, 0);
        }
    }
}

// ---------------------------------------------------------------------------
// Channel alignment at speed 1.0, with empty calls
// ---------------------------------------------------------------------------

void checkAlignment(double left, double right, const std::vector<double>& expectedRight) {
    auto state = makeState();
    state->readPositionLeft = left;
    state->readPositionRight = right;
    state->readIndexLeft = 11;
    state->readIndexRight = 22;
    for (std::size_t call = 0; call < expectedRight.size(); ++call) {
        processEmpty(*state);
        EXPECT_DOUBLE_EQ(state->readPositionRight, expectedRight[call])
            << left << "/" << right << " call " << call + 1;
        EXPECT_EQ(state->readPositionLeft, left);
    }
    // Aligned: nothing moves any more; the read indices were never touched.
    processEmpty(*state);
    EXPECT_DOUBLE_EQ(state->readPositionRight, expectedRight.back());
    EXPECT_EQ(state->readIndexLeft, 11);
    EXPECT_EQ(state->readIndexRight, 22);
}

TEST(Alignment, StepsRightTowardsLeftByOnePerCallThenSnaps) {
    const struct {
        double left;
        double right;
        std::vector<double> expectedRight;  // after each call
    } cases[] = {
        {100.0, 97.0, {98.0, 99.0, 100.0, 100.0}},  // up by one per call
        {100.0, 99.5, {100.0}},                     // within one sample: snaps
        {100.0, 103.2, {102.2, 101.2, 100.0}},      // down, then snaps
    };
    for (const auto& c : cases) {
        checkAlignment(c.left, c.right, c.expectedRight);
    }
}

TEST(Alignment, StepUpWrapsAtTheRingEndWithoutSnap) {
    auto state = makeState();
    state->readPositionLeft = 44099.5;
    state->readPositionRight = 44099.0;
    processEmpty(*state);
    EXPECT_EQ(state->readPositionRight, 0.0);
}

TEST(Alignment, StepDownWrapsAtTheRingStartWithoutSnap) {
    auto state = makeState();
    state->readPositionLeft = 0.0;
    state->readPositionRight = 0.5;
    processEmpty(*state);
    EXPECT_EQ(state->readPositionRight, 44099.5);
}

TEST(Alignment, RunsOnlyAtUnitySpeed) {
    for (float speed : {0.999f, 1.001f, 0.0f}) {
        auto state = makeState();
        state->speed = speed;
        state->readPositionLeft = 100.0;
        state->readPositionRight = 97.0;
        processEmpty(*state, -4);
        EXPECT_EQ(state->readPositionRight, 97.0) << speed;
    }
}

TEST(Advance, PositionWrapsOnceAtTheRingEnd) {
    auto state = makeState();
    state->readPositionLeft = state->readPositionRight = 44099.5;
    StereoBlock<double> input(1);
    process(*state, input);
    EXPECT_EQ(state->readPositionLeft, 0.5);
    EXPECT_EQ(state->readPositionRight, 0.5);
    EXPECT_EQ(state->readIndexLeft, 44099);
}

TEST(Advance, GainIsHalfSpeedPlusHalf) {
    auto state = makeState();
    for (float speed : {0.0f, 0.5f, 1.0f, 0.3f, 2.0f}) {
        state->speed = speed;
        processEmpty(*state);
        EXPECT_EQ(state->outputGain, 0.5 * static_cast<double>(speed) + 0.5);
    }
}

TEST(Advance, SpeedZeroRepeatsOneSlot) {
    auto state = makeState();
    state->speed = 0.0f;
    state->ringLeft[0] = 0.25;
    state->ringRight[0] = -0.25;
    StereoBlock<double> input(constant(100, 0.5), constant(100, 0.5));
    const StereoBlock<double> output = process(*state, input);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(output.left[i], 0.125);
        EXPECT_EQ(output.right[i], -0.125);
    }
    EXPECT_EQ(state->readPositionLeft, 0.0);
}

// ---------------------------------------------------------------------------
// Construction values: zeroed rings, cleared flags and targets
// ---------------------------------------------------------------------------

TEST(ZeroFilledRings, EveryRingSlotIsZeroAtConstruction) {
    auto state = makeState();
    ASSERT_TRUE(state->ringsAllocated());
    std::int32_t nonZero = 0;
    for (std::int32_t i = 0; i < kavro::kRingLength; ++i) {
        nonZero += state->ringLeft[i] != 0.0 || state->ringRight[i] != 0.0;
    }
    EXPECT_EQ(nonZero, 0);
}

TEST(ZeroFilledRings, FirstFramesAreSilenceAtUnitySpeed) {
    auto state = makeState();
    StereoBlock<double> input(constant(300, 0.5), constant(300, -0.5));
    const StereoBlock<double> output = process(*state, input);
    for (int k = 0; k < 300; ++k) {
        EXPECT_EQ(output.left[k], k < kDelay ? 0.0 : 0.5) << k;
        EXPECT_EQ(output.right[k], k < kDelay ? 0.0 : -0.5) << k;
    }
}

TEST(ConstructionValues, AllFieldsHaveTheirValues) {
    auto state = makeState();
    EXPECT_EQ(state->speed.load(), 1.0f);
    EXPECT_EQ(state->length.load(), 0.125f);
    EXPECT_EQ(state->readPositionLeft, 0.0);
    EXPECT_EQ(state->readPositionRight, 0.0);
    EXPECT_EQ(state->ringLength, 44100);
    EXPECT_EQ(state->ringLengthReal, 44100.0);
    EXPECT_EQ(state->writeIndex, 256);
    EXPECT_EQ(state->crossingLeft, 0);
    EXPECT_EQ(state->crossingRight, 0);
    EXPECT_EQ(state->blockCounter, 0);
    EXPECT_EQ(state->readIndexLeft, 0);
    EXPECT_EQ(state->readIndexRight, 0);
    // The values construction would otherwise leave unset.
    EXPECT_FALSE(state->armedLeft);
    EXPECT_FALSE(state->armedRight);
    EXPECT_EQ(state->jumpTargetLeft, 0);
    EXPECT_EQ(state->jumpTargetRight, 0);
    EXPECT_EQ(state->outputGain, 0.0);
}

TEST(ConstructionValues, NoRetriggerBeforeTheFirstArming) {
    auto state = makeState();
    state->speed = 0.5f;
    state->ringLeft[0] = -1.0;
    state->ringLeft[1] = 1.0;
    StereoBlock<double> input(constant(8, 0.5), constant(8, 0.5));
    process(*state, input);  // call 1 of 9: nothing is armed yet
    EXPECT_EQ(state->readPositionLeft, 4.0);
}

// ---------------------------------------------------------------------------
// Float processing is the double processing narrowed
// ---------------------------------------------------------------------------

TEST(SinglePrecisionState, FloatCallEqualsDoubleCallNarrowedBitForBit) {
    for (float speed : {1.0f, 0.5f, 0.37f, 1.6f, -0.75f, 0.0f}) {
        auto viaDouble = makeState();
        auto viaFloat = makeState();
        viaDouble->speed = viaFloat->speed = speed;
        viaDouble->length = viaFloat->length = 0.02f;  // arms every second call
        std::mt19937 random(5u);
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        std::uniform_int_distribution<std::int32_t> blockSize(-2, 3000);
        for (int call = 0; call < 60; ++call) {
            const std::int32_t size = blockSize(random);
            const std::size_t frames = static_cast<std::size_t>(std::max(size, 0));
            StereoBlock<float> inFloat(frames), outFloat(frames);
            StereoBlock<double> inDouble(frames), outDouble(frames);
            for (std::size_t i = 0; i < frames; ++i) {
                inFloat.left[i] = sample(random);
                inFloat.right[i] = sample(random);
                inDouble.left[i] = inFloat.left[i];
                inDouble.right[i] = inFloat.right[i];
            }
            kavro::processVarispeedBlock<double>(*viaDouble, inDouble.channels, outDouble.channels,
                                                 size);
            kavro::processVarispeedBlock<float>(*viaFloat, inFloat.channels, outFloat.channels,
                                                size);
            for (std::size_t i = 0; i < frames; ++i) {
                const float left = static_cast<float>(outDouble.left[i]);
                const float right = static_cast<float>(outDouble.right[i]);
                ASSERT_EQ(std::memcmp(&left, &outFloat.left[i], sizeof(float)), 0)
                    << "speed " << speed << " call " << call << " frame " << i;
                ASSERT_EQ(std::memcmp(&right, &outFloat.right[i], sizeof(float)), 0)
                    << "speed " << speed << " call " << call << " frame " << i;
            }
            ASSERT_EQ(viaDouble->readPositionLeft, viaFloat->readPositionLeft);
            ASSERT_EQ(viaDouble->readPositionRight, viaFloat->readPositionRight);
            ASSERT_EQ(viaDouble->blockCounter, viaFloat->blockCounter);
            ASSERT_EQ(viaDouble->armedLeft, viaFloat->armedLeft);
        }
    }
}

// ---------------------------------------------------------------------------
// Speeds outside 0 up to 44100
// ---------------------------------------------------------------------------

void expectInsideRing(const VarispeedState& state, const std::string& where) {
    ASSERT_GE(state.readIndexLeft, 0) << where;
    ASSERT_LT(state.readIndexLeft, kavro::kRingLength) << where;
    ASSERT_GE(state.readIndexRight, 0) << where;
    ASSERT_LT(state.readIndexRight, kavro::kRingLength) << where;
    ASSERT_TRUE(state.readPositionLeft >= 0.0 && state.readPositionLeft < kRing) << where;
    ASSERT_TRUE(state.readPositionRight >= 0.0 && state.readPositionRight < kRing) << where;
    ASSERT_GE(state.writeIndex, 0) << where;
    ASSERT_LT(state.writeIndex, kavro::kRingLength) << where;
}

template <typename Sample>
void runSpeedForManyBlocks(float speed) {
    auto state = makeState();
    state->speed = speed;
    state->length = 0.0f;  // armed on every call: as many retriggers as possible
    std::mt19937 random(31u);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    const std::string where = "speed " + std::to_string(speed);
    // One-frame calls: after each, the read indices are the next fetch's
    // slots, so every fetched slot is checked.
    for (int call = 0; call < 3000; ++call) {
        StereoBlock<Sample> input(1);
        input.left[0] = static_cast<Sample>(sample(random));
        input.right[0] = static_cast<Sample>(sample(random));
        const StereoBlock<Sample> output = process(*state, input);
        ASSERT_TRUE(std::isfinite(output.left[0]) && std::isfinite(output.right[0])) << where;
        expectInsideRing(*state, where);
    }
    // Larger calls (the sanitizer build checks every fetch inside them).
    std::uniform_int_distribution<std::int32_t> blockSize(0, 4096);
    for (int call = 0; call < 150; ++call) {
        StereoBlock<Sample> input(static_cast<std::size_t>(blockSize(random)));
        for (std::size_t i = 0; i < input.left.size(); ++i) {
            input.left[i] = static_cast<Sample>(sample(random));
            input.right[i] = static_cast<Sample>(sample(random));
        }
        const StereoBlock<Sample> output = process(*state, input);
        for (std::size_t i = 0; i < output.left.size(); ++i) {
            ASSERT_TRUE(std::isfinite(output.left[i]) && std::isfinite(output.right[i])) << where;
        }
        expectInsideRing(*state, where);
    }
}

const float kOutsideSpeeds[] = {-0.5f,
                                -1.0f,
                                -44100.0f,
                                -44099.9f,
                                -1.0e9f,
                                44100.0f,
                                44100.004f,
                                88200.0f,
                                1.0e9f,
                                FLT_MAX,
                                -FLT_MAX,
                                std::numeric_limits<float>::denorm_min(),
                                -std::numeric_limits<float>::denorm_min(),
                                std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity()};

TEST(SpeedsOutsideTheRing, EveryFetchInsideAndEveryOutputFiniteDouble) {
    for (float speed : kOutsideSpeeds) {
        runSpeedForManyBlocks<double>(speed);
    }
}

TEST(SpeedsOutsideTheRing, EveryFetchInsideAndEveryOutputFiniteFloat) {
    for (float speed : kOutsideSpeeds) {
        runSpeedForManyBlocks<float>(speed);
    }
}

double advancedOnce(float speed, double from) {
    auto state = makeState();
    state->speed = speed;
    state->readPositionLeft = state->readPositionRight = from;
    StereoBlock<double> input(1);
    process(*state, input);
    return state->readPositionLeft;
}

TEST(SpeedsOutsideTheRing, NegativeSpeedPlaysBackwardsAndWraps) {
    EXPECT_EQ(advancedOnce(-0.5f, 10.0), 9.5);
    EXPECT_EQ(advancedOnce(-0.5f, 0.25), 44099.75);
    EXPECT_EQ(advancedOnce(-1.0f, 0.0), 44099.0);
    EXPECT_EQ(advancedOnce(-44100.0f, 7.0), 7.0);
    // A tiny negative step from 0.0 rounds to the ring end: wrapped to 0.0.
    EXPECT_EQ(advancedOnce(-std::numeric_limits<float>::denorm_min(), 0.0), 0.0);

    // Played backwards: at speed -2.0 the positions before each advance are
    // 0, 44098, 44096, ..., and each is fetched one frame later. The gain
    // 0.5 x -2.0 + 0.5 is -0.5.
    auto state = makeState();
    state->speed = -2.0f;
    for (int j = 0; j < 10; ++j) {
        state->ringLeft[44090 + j] = 1.0 + j;
    }
    state->ringLeft[0] = 0.5;
    StereoBlock<double> input(6);
    const StereoBlock<double> output = process(*state, input);
    const double expected[] = {0.5, 0.5, 9.0, 7.0, 5.0, 3.0};  // slots 0, 0, 44098, ..., 44092
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(output.left[i], expected[i] * -0.5) << "frame " << i;
    }
    EXPECT_EQ(state->readIndexLeft, 44090);
    EXPECT_EQ(state->readPositionLeft, 44088.0);
}

TEST(SpeedsOutsideTheRing, HugeSpeedsWrapLikeAModulo) {
    EXPECT_EQ(advancedOnce(1.0e9f, 0.0), 32500.0);  // 1e9 - 22675 x 44100
    EXPECT_EQ(advancedOnce(44100.0f, 12.5), 12.5);
    EXPECT_EQ(advancedOnce(88200.0f, 12.5), 12.5);
    EXPECT_EQ(advancedOnce(FLT_MAX, 0.0), std::fmod(static_cast<double>(FLT_MAX), kRing));
    const double minus = advancedOnce(-FLT_MAX, 0.0);
    EXPECT_EQ(minus, kRing - std::fmod(static_cast<double>(FLT_MAX), kRing));
}

TEST(SpeedsOutsideTheRing, NonFiniteSpeedIsUsedAsZeroEverywhere) {
    for (float speed :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
          -std::numeric_limits<float>::infinity()}) {
        auto state = makeState();
        state->speed = speed;
        state->readPositionLeft = 100.0;
        state->readPositionRight = 97.0;
        state->readIndexLeft = 100;
        state->readIndexRight = 97;
        state->ringLeft[100] = 0.5;
        state->ringRight[97] = -0.5;
        StereoBlock<double> input(constant(4, 0.5), constant(4, 0.5));
        const StereoBlock<double> output = process(*state, input);
        EXPECT_EQ(state->outputGain, 0.5);          // gain of speed 0.0
        EXPECT_EQ(state->readPositionLeft, 100.0);  // no advance
        EXPECT_EQ(state->readPositionRight, 97.0);  // no alignment (0.0 != 1.0)
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(output.left[i], 0.25);
            EXPECT_EQ(output.right[i], -0.25);
        }
        // Retriggers stay possible (0.0 differs from 1.0).
        state->armedLeft = true;
        state->crossingLeft = 5;
        state->ringLeft[100] = 1.0;
        StereoBlock<double> negative(constant(2, -0.5), constant(2, 0.5));
        process(*state, negative);
        EXPECT_EQ(state->readPositionLeft, 5.0);
    }
}

// ---------------------------------------------------------------------------
// Null channel array or null channel pointer
// ---------------------------------------------------------------------------

TEST(NullChannels, NoAudioIsTouchedAndOnlyTheEmptyBlockStepsRun) {
    for (int variant = 0; variant < 6; ++variant) {
        auto state = makeState();
        state->crossingLeft = 77;
        state->crossingRight = 88;
        state->readPositionLeft = 100.0;
        state->readPositionRight = 97.0;
        std::vector<double> sentinel(64, 3.0);
        std::vector<double> l(sentinel), r(sentinel), ol(sentinel), orr(sentinel);
        double* inputs[2] = {l.data(), r.data()};
        double* outputs[2] = {ol.data(), orr.data()};
        double** in = inputs;
        double** out = outputs;
        switch (variant) {
            case 0:
                in = nullptr;
                break;
            case 1:
                out = nullptr;
                break;
            case 2:
                inputs[0] = nullptr;
                break;
            case 3:
                inputs[1] = nullptr;
                break;
            case 4:
                outputs[0] = nullptr;
                break;
            case 5:
                outputs[1] = nullptr;
                break;
        }
        kavro::processVarispeedBlock<double>(*state, in, out, 64);
        EXPECT_EQ(ol, sentinel) << "variant " << variant;
        EXPECT_EQ(orr, sentinel) << "variant " << variant;
        EXPECT_EQ(state->writeIndex, 256) << "no sample recorded";
        EXPECT_EQ(state->readPositionLeft, 100.0) << "no frame played";
        EXPECT_EQ(state->readIndexLeft, 0);
        // The empty-block steps: targets, gain, counter, alignment.
        EXPECT_EQ(state->jumpTargetLeft, 77);
        EXPECT_EQ(state->jumpTargetRight, 88);
        EXPECT_EQ(state->outputGain, 1.0);
        EXPECT_EQ(state->blockCounter, 1);
        EXPECT_EQ(state->readPositionRight, 98.0);
        std::int32_t nonZero = 0;
        for (std::int32_t i = 0; i < kavro::kRingLength; ++i) {
            nonZero += state->ringLeft[i] != 0.0 || state->ringRight[i] != 0.0;
        }
        EXPECT_EQ(nonZero, 0);
    }
}

// ---------------------------------------------------------------------------
// Relaxed atomic parameters
// ---------------------------------------------------------------------------

static_assert(std::is_same_v<decltype(VarispeedState::speed), std::atomic<float>>);
static_assert(std::is_same_v<decltype(VarispeedState::length), std::atomic<float>>);
static_assert(std::atomic<float>::is_always_lock_free);

TEST(AtomicParameters, ParameterWritesDuringProcessingKeepEveryFetchInside) {
    auto state = makeState();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const float speeds[] = {0.5f, 1.0f, -3.0f, 1.0e9f, 0.0f, 2.5f};
        const float lengths[] = {0.0f, 0.125f, 1.0f, -1.0f};
        for (unsigned n = 0; !stop.load(); ++n) {
            state->speed.store(speeds[n % 6], std::memory_order_relaxed);
            state->length.store(lengths[n % 4], std::memory_order_relaxed);
        }
    });
    std::mt19937 random(3u);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    for (int call = 0; call < 400; ++call) {
        StereoBlock<double> input(256);
        for (std::size_t i = 0; i < 256; ++i) {
            input.left[i] = sample(random);
            input.right[i] = sample(random);
        }
        process(*state, input);
        expectInsideRing(*state, "concurrent call " + std::to_string(call));
    }
    stop = true;
    writer.join();
}

}  // namespace
