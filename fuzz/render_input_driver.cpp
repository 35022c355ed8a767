// The renderer's input loading on arbitrary file bytes: it answers either a
// one-line error or a buffer that is whole and finite, never anything else.
#include <cmath>
#include <cstdint>

#include "audio_io.h"
#include "fuzz_drivers.h"
#include "fuzz_input.h"

namespace kavro::fuzz {

int driveRenderInput(const std::uint8_t* data, std::size_t size) {
    // A small frame cap keeps each run fast; the limit itself is part of what
    // is driven (a header may claim far more).
    constexpr std::int64_t kMaxFrames = 1 << 16;
    auto loaded = audio::loadMemory(data, size, kMaxFrames);
    if (!loaded) {
        const std::string& message = loaded.error().message;
        check(!message.empty(), "an error without a message");
        check(message.find('\n') == std::string::npos, "an error message of several lines");
        return 0;
    }
    const audio::Buffer& buffer = loaded.value();
    check(buffer.channels >= 1 && buffer.channels <= audio::kMaxChannels, "channel count",
          buffer.channels);
    check(buffer.sampleRate > 0, "sample rate", buffer.sampleRate);
    check(buffer.frames >= 1 && buffer.frames <= kMaxFrames, "frame count",
          static_cast<long>(buffer.frames));
    check(buffer.samples.size() ==
              static_cast<std::size_t>(buffer.frames) * static_cast<std::size_t>(buffer.channels),
          "samples held differ from frames x channels", static_cast<long>(buffer.samples.size()));
    for (double sample : buffer.samples) {
        check(std::isfinite(sample), "a non-finite sample was accepted");
    }
    return 0;
}

}  // namespace kavro::fuzz
