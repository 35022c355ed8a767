// The straightforward per-frame processing, kept as it was first written:
// one frame at a time, every step in its textual order, with all of the
// decided behaviour for unusual input (zeroed rings, speeds outside the ring
// wrapped, a non-finite speed used as 0.0, null channels). The optimised
// processing in effect/varispeed_processing.h must match it bit for bit
// (tests/effect/processing_equivalence_test.cpp), and the benchmarks use it
// as the starting point.
#pragma once

#include <cmath>
#include <cstdint>

#include "varispeed_state.h"

namespace kavro::reference {

namespace detail {

// An upward zero crossing: the previous sample is below 0.0 and the current
// one at or above 0.0. Written as !(previous >= 0.0) so that a NaN previous
// sample counts as below; a NaN current sample fails `current >= 0.0` and so
// never completes a crossing.
inline bool isUpwardCrossing(double previous, double current) noexcept {
    return !(previous >= 0.0) && current >= 0.0;
}

// The speed as the processing uses it: a stored value that is not a finite
// number is used as 0.0 everywhere (advance, gain, retrigger test and
// alignment test).
inline double usableSpeed(float stored) noexcept {
    return std::isfinite(stored) ? static_cast<double>(stored) : 0.0;
}

// One frame's advance of a read position: add speed, subtracting the ring
// length once when the result reaches it. For a position in [0, ringLengthReal)
// and 0 <= speed < ringLength the result is already inside [0, ringLengthReal)
// (the subtraction is exact).
//
// Any other speed (negative, or at or above the ring length, up to FLT_MAX)
// can leave the result outside; it is then wrapped into [0, ringLengthReal)
// like a modulo: fmod is exact, so even a huge step lands on the
// right slot, and a negative speed plays backwards. Adding ringLengthReal to a
// tiny negative remainder can round to ringLengthReal itself; that case is
// the ring's start, so it becomes 0.0, and trunc of the position can never be
// ringLength.
inline double advanceReadPosition(double position, double speed, double ringLengthReal) noexcept {
    double advanced = position + speed;
    if (advanced >= ringLengthReal) {
        advanced -= ringLengthReal;
    }
    if (!(advanced >= 0.0 && advanced < ringLengthReal)) {
        advanced = std::fmod(advanced, ringLengthReal);  // in (-L, L)
        if (advanced < 0.0) {
            advanced += ringLengthReal;
        }
        if (!(advanced >= 0.0 && advanced < ringLengthReal)) {
            advanced = 0.0;
        }
    }
    return advanced;
}

}  // namespace detail

// One processing call (a block) on `state`.
//
// inputs/outputs: arrays of two channel pointers (0 left, 1 right). With
// sampleFrames > 0 a null array or a null channel pointer means the call reads
// and writes no audio and runs only the steps an empty block runs.
// Outputs may be the same arrays as the inputs: every input sample is read in
// the record pass before the playback pass writes the first output sample.
template <typename Sample>
void processBlock(VarispeedState& state, Sample* const* inputs, Sample* const* outputs,
                  std::int32_t sampleFrames) noexcept {
    using detail::advanceReadPosition;
    using detail::isUpwardCrossing;

    const bool haveAudio = sampleFrames > 0 && inputs != nullptr && outputs != nullptr &&
                           inputs[0] != nullptr && inputs[1] != nullptr && outputs[0] != nullptr &&
                           outputs[1] != nullptr;
    const std::int32_t frames = haveAudio ? sampleFrames : 0;

    // Read once per call: one of the orderings a concurrent relaxed store
    // allows (as if the host's store had landed before or after this call).
    const double speed = detail::usableSpeed(state.speed.load(std::memory_order_relaxed));
    // Retriggers need speed != 1.0, the alignment speed == 1.0 (never both).
    const bool atUnitySpeed = !(speed < 1.0 || speed > 1.0);

    double* const ringLeft = state.ringLeft.get();
    double* const ringRight = state.ringRight.get();

    // --- Start of block ---------------------------------------------------
    // The retrigger targets of this call are the crossings found up to the end
    // of the previous call; crossings this call's record pass registers only
    // become targets from the next call on.
    state.jumpTargetLeft = state.crossingLeft;
    state.jumpTargetRight = state.crossingRight;
    double previousLeft = 0.0;
    double previousRight = 0.0;

    // --- Record pass ------------------------------------------------------
    // Writes both inputs into the rings at the shared write index and notes
    // each channel's latest upward input crossing. previous* start at 0.0, so
    // frame 0 never registers a crossing (one split across two calls is lost).
    for (std::int32_t i = 0; i < frames; ++i) {
        const double inputLeft = static_cast<double>(inputs[0][i]);
        const double inputRight = static_cast<double>(inputs[1][i]);
        ringLeft[state.writeIndex] = inputLeft;
        ringRight[state.writeIndex] = inputRight;
        if (isUpwardCrossing(previousLeft, inputLeft)) {
            state.crossingLeft = state.writeIndex;
        }
        if (isUpwardCrossing(previousRight, inputRight)) {
            state.crossingRight = state.writeIndex;
        }
        ++state.writeIndex;
        if (state.writeIndex >= state.ringLength) {
            state.writeIndex -= state.ringLength;
        }
        previousLeft = inputLeft;
        previousRight = inputRight;
    }

    // --- Between the passes, also for empty blocks ------------------------
    state.outputGain = 0.5 * speed + 0.5;
    const double outputGain = state.outputGain;
    ++state.blockCounter;
    if (state.blockCounter >= retriggerPeriod(state.length.load(std::memory_order_relaxed))) {
        state.armedLeft = true;
        state.armedRight = true;
        state.blockCounter = 0;
    }

    // --- Playback pass ----------------------------------------------------
    // previous* still hold this call's last input samples here, so frame 0's
    // retrigger test compares the last input sample with the first fetch.
    for (std::int32_t i = 0; i < frames; ++i) {
        // The one-frame-late fetch: the slot was chosen by the previous frame
        // (previous call for frame 0; 0 from construction).
        // With the write index 256 slots ahead, this extra frame is what makes
        // the delay at speed 1.0 exactly 257 frames; and after a retrigger at
        // frame i, frame i + 1 still plays the slot chosen before the jump and
        // the jump target is heard from frame i + 2.
        const double fetchedLeft = ringLeft[state.readIndexLeft];
        const double fetchedRight = ringRight[state.readIndexRight];
        // Choose the slots for the next frame (positions are >= 0.0
        // and < ringLengthReal, so the conversion is their integer part).
        state.readIndexLeft = static_cast<std::int32_t>(state.readPositionLeft);
        state.readIndexRight = static_cast<std::int32_t>(state.readPositionRight);
        // Advance.
        state.readPositionLeft =
            advanceReadPosition(state.readPositionLeft, speed, state.ringLengthReal);
        state.readPositionRight =
            advanceReadPosition(state.readPositionRight, speed, state.ringLengthReal);
        // Retrigger an armed channel at an upward crossing of its
        // own output (before the gain); the jump replaces the advance.
        if (!atUnitySpeed) {
            if (isUpwardCrossing(previousLeft, fetchedLeft) && state.armedLeft) {
                state.readPositionLeft = static_cast<double>(state.jumpTargetLeft);
                state.armedLeft = false;
            }
            if (isUpwardCrossing(previousRight, fetchedRight) && state.armedRight) {
                state.readPositionRight = static_cast<double>(state.jumpTargetRight);
                state.armedRight = false;
            }
        }
        // The output, narrowed to the host's sample type only here.
        outputs[0][i] = static_cast<Sample>(fetchedLeft * outputGain);
        outputs[1][i] = static_cast<Sample>(fetchedRight * outputGain);
        previousLeft = fetchedLeft;
        previousRight = fetchedRight;
    }

    // --- Channel alignment, also for empty blocks -------------------------
    // Each channel retriggers at its own output crossing, so at speeds other
    // than 1.0 the two read positions drift apart. Back at speed 1.0 (where
    // no retrigger moves them again) they are brought together so the stereo
    // image is restored: moving one channel suffices, and the left one is the
    // reference, so only the right position is stepped, by at most one sample
    // per call (small, click-free steps), compared as plain numbers, not
    // around the ring. The read indices are left alone; the next call's
    // playback picks the new position up.
    if (atUnitySpeed) {
        if (state.readPositionLeft == state.readPositionRight) {
            return;
        }
        if (state.readPositionLeft > state.readPositionRight) {
            state.readPositionRight += 1.0;
            if (state.readPositionRight >= state.ringLengthReal) {
                state.readPositionRight -= state.ringLengthReal;
            }
        }
        if (state.readPositionLeft < state.readPositionRight) {
            state.readPositionRight -= 1.0;
            if (state.readPositionRight < 0.0) {
                state.readPositionRight += state.ringLengthReal;
            }
        }
        const double difference = state.readPositionLeft - state.readPositionRight;
        if (-1.0 < difference && difference < 1.0) {  // snap
            state.readPositionRight = state.readPositionLeft;
        }
    }
}

}  // namespace kavro::reference
