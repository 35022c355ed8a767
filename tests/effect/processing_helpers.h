// Helpers for driving the Varispeed processing on a bare
// VarispeedState, without the host or the effect class.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "varispeed_processing.h"
#include "varispeed_state.h"

namespace kavro_test {

// A state on the heap (as the effect object holds it): fresh, unset memory,
// so that a field or ring the construction forgot shows garbage under the
// sanitizer build (ASan fills fresh allocations with 0xbe).
inline std::unique_ptr<kavro::VarispeedState> makeState() {
    auto state = std::make_unique<kavro::VarispeedState>();
    return state;
}

// Stereo block of samples, left and right, with the pointer arrays a host
// would pass.
template <typename Sample>
struct StereoBlock {
    std::vector<Sample> left;
    std::vector<Sample> right;
    Sample* channels[2];

    explicit StereoBlock(std::size_t frames = 0) : left(frames), right(frames) { bind(); }
    StereoBlock(std::vector<Sample> l, std::vector<Sample> r)
        : left(std::move(l)), right(std::move(r)) {
        bind();
    }
    StereoBlock(const StereoBlock& other) : left(other.left), right(other.right) { bind(); }
    StereoBlock& operator=(const StereoBlock&) = delete;
    void bind() {
        channels[0] = left.data();
        channels[1] = right.data();
    }
    std::int32_t frames() const { return static_cast<std::int32_t>(left.size()); }
};

// Processes `input` into a new block of the same size and returns it.
template <typename Sample>
StereoBlock<Sample> process(kavro::VarispeedState& state, StereoBlock<Sample>& input) {
    StereoBlock<Sample> output(input.left.size());
    kavro::processVarispeedBlock<Sample>(state, input.channels, output.channels, input.frames());
    return output;
}

// A call with valid channel arrays and the given frame count (0 or
// negative): an empty block, which reads and writes no sample.
inline void processEmpty(kavro::VarispeedState& state, std::int32_t sampleFrames = 0) {
    double unused[4] = {};
    double* inputs[2] = {&unused[0], &unused[1]};
    double* outputs[2] = {&unused[2], &unused[3]};
    kavro::processVarispeedBlock<double>(state, inputs, outputs, sampleFrames);
}

}  // namespace kavro_test
