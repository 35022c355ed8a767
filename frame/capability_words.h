// The capability words of the canDo question, as two
// constant lists in the interface's order.
#pragma once

#include <cstddef>

namespace kavro {

// Words that an effect can ask the host about (hostCanDo).
inline constexpr std::size_t kHostCapabilityCount = 14;
extern const char* const kHostCapabilities[kHostCapabilityCount];

// Words that the host can ask an effect about (the effect's canDo).
inline constexpr std::size_t kEffectCapabilityCount = 8;
extern const char* const kEffectCapabilities[kEffectCapabilityCount];

// The one word the frame itself uses: resume asks canDo about it.
inline constexpr const char* kReceiveVstMidiEvent = "receiveVstMidiEvent";

}  // namespace kavro
