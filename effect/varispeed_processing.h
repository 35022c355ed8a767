// The per-block processing of the Varispeed effect, written once for both
// sample types: double for processDoubleReplacing and float for
// processReplacing. Every sample is widened to double as it is read and all
// arithmetic is in double; only the output store narrows back to the host's
// type. So a float call gives, bit for bit, the double call's output narrowed
// to float, and both run on the same state (counter, arming, rings).
//
// Real-time safe: no allocation, lock, system call or host call; constant
// work per frame. This header knows nothing of the host; VarispeedEffect
// forwards to it, the tests drive it directly on a VarispeedState.
//
// The straightforward form of this processing, one frame at a time, is kept in
// tests/effect/reference_processing.h; this one gives the same outputs and
// state bit for bit (tests/effect/processing_equivalence_test.cpp), faster:
// the record pass, the crossing search and each channel's playback run as
// separate loops, and where the read positions are exact (see Fixed below)
// the playback needs no per-frame floating-point chain.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "varispeed_state.h"

// SSE2 is part of every x86-64 target and of the 32-bit builds (-msse2); its
// packed operations round exactly like the scalar ones, so they change no
// result. Other targets use the plain loops next to them.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define KAVRO_VARISPEED_SSE2 1
#endif

namespace kavro {

namespace varispeed_detail {

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
// like a modulo: fmod is exact, so even a huge step lands on the right slot,
// and a negative speed plays backwards. Adding ringLengthReal to a tiny
// negative remainder can round to ringLengthReal itself; that case is the
// ring's start, so it becomes 0.0, and trunc of the position can never be
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

// Bit k of the result is set when input[k] >= 0.0 (false for NaN), for up
// to 32 samples.
inline std::uint32_t nonNegativeBits(const double* input, std::int32_t count) noexcept {
    std::uint32_t bits = 0;
    std::int32_t k = 0;
#ifdef KAVRO_VARISPEED_SSE2
    const __m128d zero = _mm_setzero_pd();
    for (; k + 2 <= count; k += 2) {
        const int pair = _mm_movemask_pd(_mm_cmpge_pd(_mm_loadu_pd(input + k), zero));
        bits |= static_cast<std::uint32_t>(pair) << k;
    }
#endif
    for (; k < count; ++k) {
        bits |= static_cast<std::uint32_t>(input[k] >= 0.0) << k;
    }
    return bits;
}

// The same for float input: widening to double changes no comparison.
inline std::uint32_t nonNegativeBits(const float* input, std::int32_t count) noexcept {
    std::uint32_t bits = 0;
    std::int32_t k = 0;
#ifdef KAVRO_VARISPEED_SSE2
    const __m128 zero = _mm_setzero_ps();
    for (; k + 4 <= count; k += 4) {
        const int four = _mm_movemask_ps(_mm_cmpge_ps(_mm_loadu_ps(input + k), zero));
        bits |= static_cast<std::uint32_t>(four) << k;
    }
#endif
    for (; k < count; ++k) {
        bits |= static_cast<std::uint32_t>(input[k] >= 0.0f) << k;
    }
    return bits;
}

// target[k] = source[k] widened to double.
inline void widenInto(double* target, const double* source, std::int32_t count) noexcept {
    std::memcpy(target, source, sizeof(double) * static_cast<std::size_t>(count));
}

inline void widenInto(double* target, const float* source, std::int32_t count) noexcept {
    std::int32_t k = 0;
#ifdef KAVRO_VARISPEED_SSE2
    for (; k + 4 <= count; k += 4) {
        const __m128 four = _mm_loadu_ps(source + k);
        _mm_storeu_pd(target + k, _mm_cvtps_pd(four));
        _mm_storeu_pd(target + k + 2, _mm_cvtps_pd(_mm_movehl_ps(four, four)));
    }
#endif
    for (; k < count; ++k) {
        target[k] = static_cast<double>(source[k]);
    }
}

#ifdef KAVRO_VARISPEED_SSE2
// Stores two output samples, narrowed to the host's type.
inline void storePair(double* out, __m128d pair) noexcept {
    _mm_storeu_pd(out, pair);
}
inline void storePair(float* out, __m128d pair) noexcept {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_castps_si128(_mm_cvtpd_ps(pair)));
}
#endif

// out[k] = source[k] x gain, narrowed to the host's type.
template <typename Sample>
void scaleInto(Sample* out, const double* source, std::int32_t count, double gain) noexcept {
    std::int32_t k = 0;
#ifdef KAVRO_VARISPEED_SSE2
    const __m128d gains = _mm_set1_pd(gain);
    for (; k + 2 <= count; k += 2) {
        storePair(out + k, _mm_mul_pd(_mm_loadu_pd(source + k), gains));
    }
#endif
    for (; k < count; ++k) {
        out[k] = static_cast<Sample>(source[k] * gain);
    }
}

// out[k] = ring[slot of position + k x step] x gain, for positions that do
// not reach the ring's end.
template <typename Sample>
void gatherInto(Sample* out, const double* ring, std::int64_t position, std::int64_t step,
                int fractionBits, std::int32_t count, double gain) noexcept {
    std::int32_t k = 0;
#ifdef KAVRO_VARISPEED_SSE2
    const __m128d gains = _mm_set1_pd(gain);
    for (; k + 2 <= count; k += 2) {
        const __m128d first = _mm_load_sd(ring + (position >> fractionBits));
        const __m128d pair = _mm_loadh_pd(first, ring + ((position + step) >> fractionBits));
        storePair(out + k, _mm_mul_pd(pair, gains));
        position += 2 * step;
    }
#endif
    for (; k < count; ++k) {
        out[k] = static_cast<Sample>(ring[position >> fractionBits] * gain);
        position += step;
    }
}

// Exact read positions. While speed is 0.0 or from 2^-13 up to (not
// including) the ring length, and a read position is a whole multiple of
// 2^-36, every advance and every ring subtraction of that position is exact in
// double: a float of at least 2^-13 is a multiple of 2^-36, and a multiple of
// 2^-36 below 2^17 fits in 53 significant bits. The position is then an
// integer count of 2^-36 steps, and integer arithmetic on that count gives bit
// for bit what the double steps give, with the slot as a shift, no chain of
// floating-point additions, and the frames up to the next ring wrap known in
// advance. Retriggers (to a whole slot) and the alignment (whole steps, or a
// snap to the left position) keep positions on that grid; only tiny speeds
// and positions set from outside leave it, and those take the stepwise loop.
using Fixed = std::int64_t;  // read position in 2^-36 samples, 0 <= x < ring length << 36
inline constexpr int kFractionBits = 36;
inline constexpr double kFixedPerSample = 0x1p36;
inline constexpr double kSamplesPerFixed = 0x1p-36;
inline constexpr double kSmallestExactSpeed = 0x1p-13;
inline constexpr Fixed kFixedUnitSpeed = Fixed{1} << kFractionBits;

// The position as a count of 2^-36 steps, if it is one and lies in the ring.
// -0.0 stays with the stepwise loop, which keeps its sign bit.
inline bool toFixed(double position, double ringLengthReal, Fixed& fixed) noexcept {
    if (!(position >= 0.0 && position < ringLengthReal) || std::signbit(position)) {
        return false;
    }
    const double scaled = position * kFixedPerSample;  // exact: a power of two, below 2^53
    fixed = static_cast<Fixed>(scaled);
    return static_cast<double>(fixed) == scaled;
}

inline double fromFixed(Fixed fixed) noexcept {
    return static_cast<double>(fixed) * kSamplesPerFixed;
}

// What both channels share in one playback pass.
struct PlaybackSettings {
    double speed;
    double gain;
    double ringLengthReal;
    bool retriggers;  // speed is not 1.0
    bool exactSpeed;  // the speed allows exact positions (see Fixed)
    Fixed step;       // speed in 2^-36 samples, when exactSpeed
    Fixed ringEnd;    // ring length in 2^-36 samples, when exactSpeed
};

// One channel's playback state, bound to the fields of the state.
struct ChannelPlayback {
    const double* ring;
    std::int32_t& readIndex;
    double& readPosition;
    bool& armed;
    std::int32_t jumpTarget;
    double previous;  // the call's last input sample: frame 0 compares with it
};

inline Fixed advanceFixed(Fixed x, Fixed step, Fixed ringEnd) noexcept {
    x += step;
    return x >= ringEnd ? x - ringEnd : x;
}

// Fetches `count` frames at the successive positions x, x + step, ... (wrapped
// at the ring's end) into `out`, times the gain; x is left at the position
// after the last of them.
template <typename Sample>
void playFreeRunning(const double* ring, Sample* out, std::int32_t count, Fixed& x,
                     const PlaybackSettings& settings) noexcept {
    const Fixed step = settings.step;
    const double gain = settings.gain;
    if (step == 0) {
        const Sample value = static_cast<Sample>(ring[x >> kFractionBits] * gain);
        for (std::int32_t k = 0; k < count; ++k) {
            out[k] = value;
        }
        return;
    }
    while (count > 0) {
        // The positions among the next `count` that lie before the ring's end.
        Fixed room = count;
        if (count >= 2048 || x + (count - 1) * step >= settings.ringEnd) {
            room = (settings.ringEnd - 1 - x) / step + 1;
        }
        const auto segment = static_cast<std::int32_t>(room < count ? room : count);
        if (step == kFixedUnitSpeed) {
            scaleInto(out, ring + (x >> kFractionBits), segment, gain);  // consecutive slots
        } else {
            gatherInto(out, ring, x, step, kFractionBits, segment, gain);
        }
        x += segment * step;
        if (x >= settings.ringEnd) {
            x -= settings.ringEnd;
        }
        out += segment;
        count -= segment;
    }
}

// One channel's playback pass with its position exact, starting at `x`.
template <typename Sample>
void playChannelExact(ChannelPlayback& channel, Sample* out, std::int32_t frames, Fixed x,
                      const PlaybackSettings& settings) noexcept {
    const double* const ring = channel.ring;
    std::int32_t readIndex = channel.readIndex;
    std::int32_t i = 0;
    if (channel.armed && settings.retriggers) {
        // Frame by frame up to the first upward crossing of the fetched
        // samples, where the position jumps and the channel is disarmed. At
        // speed 0 every fetch from the third frame on repeats the second, so
        // no later frame of the call can cross.
        double previous = channel.previous;
        const std::int32_t armedFrames = settings.step == 0 && frames > 2 ? 2 : frames;
        while (i < armedFrames) {
            const double fetched = ring[readIndex];
            readIndex = static_cast<std::int32_t>(x >> kFractionBits);
            x = advanceFixed(x, settings.step, settings.ringEnd);
            out[i] = static_cast<Sample>(fetched * settings.gain);
            ++i;
            if (isUpwardCrossing(previous, fetched)) {
                x = Fixed{channel.jumpTarget} << kFractionBits;
                channel.armed = false;
                break;
            }
            previous = fetched;
        }
    }
    if (i < frames) {
        // No retrigger in the rest of the call. Frame i fetches the slot chosen
        // before it; every later frame the slot of the position one frame back.
        out[i] = static_cast<Sample>(ring[readIndex] * settings.gain);
        playFreeRunning(ring, out + i + 1, frames - i - 1, x, settings);
        readIndex = static_cast<std::int32_t>(x >> kFractionBits);
        x = advanceFixed(x, settings.step, settings.ringEnd);
    }
    channel.readIndex = readIndex;
    channel.readPosition = fromFixed(x);
}

// One channel's playback pass frame by frame on the double position, for the
// speeds and positions where exactness is not known.
template <typename Sample>
void playChannelStepwise(ChannelPlayback& channel, Sample* out, std::int32_t frames,
                         const PlaybackSettings& settings) noexcept {
    const double* const ring = channel.ring;
    std::int32_t readIndex = channel.readIndex;
    double position = channel.readPosition;
    bool armed = channel.armed;
    double previous = channel.previous;
    for (std::int32_t i = 0; i < frames; ++i) {
        // The fetch uses the slot chosen one frame earlier.
        const double fetched = ring[readIndex];
        readIndex = static_cast<std::int32_t>(position);
        position = advanceReadPosition(position, settings.speed, settings.ringLengthReal);
        if (settings.retriggers && armed && isUpwardCrossing(previous, fetched)) {
            position = static_cast<double>(channel.jumpTarget);  // replaces the advance
            armed = false;
        }
        out[i] = static_cast<Sample>(fetched * settings.gain);
        previous = fetched;
    }
    channel.readIndex = readIndex;
    channel.readPosition = position;
    channel.armed = armed;
}

template <typename Sample>
void playChannel(ChannelPlayback& channel, Sample* out, std::int32_t frames,
                 const PlaybackSettings& settings) noexcept {
    Fixed x = 0;
    if (settings.exactSpeed && toFixed(channel.readPosition, settings.ringLengthReal, x)) {
        playChannelExact(channel, out, frames, x, settings);
    } else {
        playChannelStepwise(channel, out, frames, settings);
    }
}

// Writes one input channel into its ring from slot writeIndex on, wrapping.
// Of a call longer than the ring only the last ringLength frames survive, so
// only those are written.
template <typename Sample>
void recordChannel(double* ring, std::int32_t ringLength, std::int32_t writeIndex,
                   const Sample* input, std::int32_t frames) noexcept {
    std::int32_t first = 0;
    std::int32_t slot = writeIndex;
    if (frames > ringLength) {
        first = frames - ringLength;
        slot = static_cast<std::int32_t>((std::int64_t{writeIndex} + first) % ringLength);
    }
    while (first < frames) {
        const std::int32_t room = ringLength - slot;
        const std::int32_t segment = frames - first < room ? frames - first : room;
        widenInto(ring + slot, input + first, segment);
        first += segment;
        slot += segment;
        if (slot >= ringLength) {
            slot -= ringLength;
        }
    }
}

// The frame of the call's last upward input crossing, or -1. Frame 0 never
// counts: its previous sample is 0.0, not the previous call's last one.
// Searched backwards in windows (8 frames, then 32), branching once per
// window, not per frame: a noise input crosses within a few frames of the end,
// a low sine in a short block may not cross at all.
template <typename Sample>
std::int32_t lastUpwardCrossing(const Sample* input, std::int32_t frames) noexcept {
    std::int32_t end = frames;
    std::int32_t window = 8;  // most signals cross within the last few frames
    while (end > 1) {
        const std::int32_t first = end > window ? end - window : 0;
        window = 32;
        const std::uint32_t nonNegative = nonNegativeBits(input + first, end - first);
        // Frame first + k crosses when bit k is set and bit k - 1 is clear; bit 0
        // has no previous frame in the window (the next window covers it).
        const std::uint32_t crossings = nonNegative & ~(nonNegative << 1) & ~std::uint32_t{1};
        if (crossings != 0) {
            return first + 31 - std::countl_zero(crossings);
        }
        end = first + 1;
    }
    return -1;
}

}  // namespace varispeed_detail

// One processing call (a block) on `state`.
//
// inputs/outputs: arrays of two channel pointers (0 left, 1 right). With
// sampleFrames > 0 a null array or a null channel pointer means the call reads
// and writes no audio and runs only the steps an empty block runs.
// Outputs may be the same arrays as the inputs: every input sample is read in
// the record pass before the playback pass writes the first output sample.
template <typename Sample>
void processVarispeedBlock(VarispeedState& state, Sample* const* inputs, Sample* const* outputs,
                           std::int32_t sampleFrames) noexcept {
    using namespace varispeed_detail;

    const bool haveAudio = sampleFrames > 0 && inputs != nullptr && outputs != nullptr &&
                           inputs[0] != nullptr && inputs[1] != nullptr && outputs[0] != nullptr &&
                           outputs[1] != nullptr;
    const std::int32_t frames = haveAudio ? sampleFrames : 0;

    // Read once per call: one of the orderings a concurrent relaxed store
    // allows (as if the host's store had landed before or after this call).
    const double speed = usableSpeed(state.speed.load(std::memory_order_relaxed));
    // Retriggers need speed != 1.0, the alignment speed == 1.0 (never both).
    const bool atUnitySpeed = !(speed < 1.0 || speed > 1.0);

    // The retrigger targets of this call are the crossings found up to the end
    // of the previous call; crossings this call's record pass registers only
    // become targets from the next call on.
    state.jumpTargetLeft = state.crossingLeft;
    state.jumpTargetRight = state.crossingRight;
    double previousLeft = 0.0;
    double previousRight = 0.0;

    // Record pass: both inputs into the rings at the shared write index, and
    // each channel's latest upward input crossing.
    if (frames > 0) {
        const std::int32_t writeIndex = state.writeIndex;
        const std::int32_t ringLength = state.ringLength;
        recordChannel(state.ringLeft.get(), ringLength, writeIndex, inputs[0], frames);
        recordChannel(state.ringRight.get(), ringLength, writeIndex, inputs[1], frames);
        const auto slotOf = [&](std::int32_t frame) {
            std::int64_t slot = std::int64_t{writeIndex} + frame;
            if (slot >= ringLength) {
                slot -= ringLength;
                if (slot >= ringLength) {
                    slot %= ringLength;  // only in calls longer than the ring
                }
            }
            return static_cast<std::int32_t>(slot);
        };
        if (const std::int32_t frame = lastUpwardCrossing(inputs[0], frames); frame > 0) {
            state.crossingLeft = slotOf(frame);
        }
        if (const std::int32_t frame = lastUpwardCrossing(inputs[1], frames); frame > 0) {
            state.crossingRight = slotOf(frame);
        }
        state.writeIndex = slotOf(frames);
        // The playback's first retrigger test compares with these.
        previousLeft = static_cast<double>(inputs[0][frames - 1]);
        previousRight = static_cast<double>(inputs[1][frames - 1]);
    }

    // Between the passes, also for empty blocks: gain, call counter, arming.
    state.outputGain = 0.5 * speed + 0.5;
    ++state.blockCounter;
    if (state.blockCounter >= retriggerPeriod(state.length.load(std::memory_order_relaxed))) {
        state.armedLeft = true;
        state.armedRight = true;
        state.blockCounter = 0;
    }

    // Playback pass. The channels share only speed and gain, so each channel
    // runs through the whole block on its own.
    if (frames > 0) {
        PlaybackSettings settings{};
        settings.speed = speed;
        settings.gain = state.outputGain;
        settings.ringLengthReal = state.ringLengthReal;
        settings.retriggers = !atUnitySpeed;
        settings.exactSpeed =
            (speed == 0.0 || (speed >= kSmallestExactSpeed && speed < state.ringLengthReal)) &&
            state.ringLengthReal == static_cast<double>(state.ringLength) &&
            state.ringLength <= (std::int32_t{1} << 16);
        if (settings.exactSpeed) {
            settings.step = static_cast<Fixed>(speed * kFixedPerSample);
            settings.ringEnd = Fixed{state.ringLength} << kFractionBits;
        }
        ChannelPlayback left{state.ringLeft.get(), state.readIndexLeft,  state.readPositionLeft,
                             state.armedLeft,      state.jumpTargetLeft, previousLeft};
        ChannelPlayback right{state.ringRight.get(), state.readIndexRight,  state.readPositionRight,
                              state.armedRight,      state.jumpTargetRight, previousRight};
        playChannel(left, outputs[0], frames, settings);
        playChannel(right, outputs[1], frames, settings);
    }

    // Channel alignment, also for empty blocks. Each channel retriggers at its
    // own output crossing, so at speeds other than 1.0 the two read positions
    // drift apart. Back at speed 1.0 (where no retrigger moves them again) they
    // are brought together so the stereo image is restored: moving one channel
    // suffices, and the left one is the reference, so only the right position
    // is stepped, by at most one sample per call (small, click-free steps),
    // compared as plain numbers, not around the ring. The read indices are
    // left alone; the next call's playback picks the new position up.
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

}  // namespace kavro
