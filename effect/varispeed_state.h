// The processing state of the Varispeed effect, as a
// plain struct that knows nothing of the host: VarispeedEffect holds one, and
// the tests build one directly, set its fields and drive it through the
// processing of varispeed_processing.h.
//
// Fields in declaration order (programName lives in VarispeedEffect).
// Values that would otherwise be left undefined are pinned down:
//   both rings are zero-filled, so a slot no input has reached reads 0.0;
//   armedLeft/armedRight start false, the jump targets and the gain 0;
//   speed and length are std::atomic<float>, used with relaxed order
//   (the host writes them from another thread while processing runs).
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

namespace kavro {

// Ring length: fixed, it does not follow the host's sample rate.
inline constexpr std::int32_t kRingLength = 44100;
// The write index starts this many slots ahead of read position 0, which with
// the one-frame-late fetch makes the 257-frame delay at speed 1.0.
inline constexpr std::int32_t kInitialWriteIndex = 256;
inline constexpr float kDefaultSpeed = 1.0f;
inline constexpr float kDefaultLength = 0.125f;

// N = 1 - trunc(-64 x length) the number of processing
// calls between two armings of the retrigger (the display shows 512 x N).
//
// The product is taken exactly (in double, a float times 64 never rounds).
// Converting a double outside the int32 range to int32 is undefined in C++,
// so the truncation saturates: t is clamped to [-(2^31 - 2), 2^31 - 1] so that
// N = 1 - t always fits in int32 too (N from -(2^31 - 2) to 2^31 - 1). A NaN
// length is taken as 0.0, like a non-finite speed in the processing,
// giving N = 1 (arming on every call); +infinity gives the largest N, and
// -infinity a negative N (arming on every call). Wherever the formula
// is defined (t within that range) the result is exactly the formula's.
inline std::int32_t retriggerPeriod(float length) noexcept {
    const double product = -64.0 * static_cast<double>(length);
    std::int32_t truncated = 0;  // NaN length: as if length were 0.0
    if (product >= 2147483647.0) {
        truncated = INT32_MAX;
    } else if (product <= -2147483646.0) {
        truncated = -2147483646;  // keeps 1 - truncated inside int32
    } else if (product == product) {
        truncated = static_cast<std::int32_t>(product);  // toward zero, in range
    }
    return 1 - truncated;
}

struct VarispeedState {
    // Allocates both rings (nothrow) and zero-fills them. If either
    // allocation fails, both ring pointers are left null and ringsAllocated()
    // is false; the owner must not process with such a state.
    VarispeedState() noexcept
        : ringLeft(new (std::nothrow) double[kRingLength]()),
          ringRight(ringLeft ? new (std::nothrow) double[kRingLength]() : nullptr) {
        if (!ringRight) {
            ringLeft.reset();
        }
    }
    VarispeedState(const VarispeedState&) = delete;
    VarispeedState& operator=(const VarispeedState&) = delete;

    bool ringsAllocated() const noexcept { return ringLeft && ringRight; }

    // Parameter 0, "SPEED x ": the playback speed factor. Stored unclamped.
    std::atomic<float> speed{kDefaultSpeed};
    // Fractional read positions in the rings, in samples; kept in
    // [0.0, ringLengthReal) for every speed.
    double readPositionLeft = 0.0;
    double readPositionRight = 0.0;
    std::int32_t ringLength = kRingLength;  // bound for writeIndex
    double ringLengthReal = kRingLength;    // bound for the read positions
    // Ring slot that the next input frame is written to; shared by both rings.
    std::int32_t writeIndex = kInitialWriteIndex;
    // The recorded inputs, ringLength samples each; declared after the fields
    // above, initialised by the constructor.
    std::unique_ptr<double[]> ringLeft;
    std::unique_ptr<double[]> ringRight;
    // Slot of the most recent upward zero crossing found in each input.
    std::int32_t crossingLeft = 0;
    std::int32_t crossingRight = 0;
    // The crossings as they stood at the start of the current block: the
    // retrigger targets of this block.
    std::int32_t jumpTargetLeft = 0;
    std::int32_t jumpTargetRight = 0;
    // A retrigger of the channel is pending.
    bool armedLeft = false;
    bool armedRight = false;
    // Processing calls counted since the last arming.
    std::int32_t blockCounter = 0;
    // Ring slot that the next playback frame fetches (chosen one frame early).
    std::int32_t readIndexLeft = 0;
    std::int32_t readIndexRight = 0;
    // Output gain of the current block: 0.5 x speed + 0.5.
    double outputGain = 0.0;
    // Parameter 1, "LENGTH ": sets the retrigger period. Stored unclamped.
    std::atomic<float> length{kDefaultLength};
};

}  // namespace kavro
