// Speaker arrangement blocks: a VstSpeakerArrangement header
// followed directly by numChannels VstSpeakerProperties records, taken from
// and returned to the general-purpose allocator (std::malloc / std::free).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "EffectExtended.h"
#include "bounded_text.h"

namespace {

// The block size for numChannels speakers, or false when the count is
// negative or the size cannot be expressed in std::size_t (any build width).
bool arrangementSize(std::int32_t numChannels, std::size_t& size) noexcept {
    if (numChannels < 0) {
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(numChannels);
    const std::size_t record = sizeof(VstSpeakerProperties);
    const std::size_t header = sizeof(VstSpeakerArrangement);
    const std::size_t limit = static_cast<std::size_t>(-1);
    if (count > (limit - header) / record) {
        return false;
    }
    size = header + count * record;
    return true;
}

}  // namespace

bool EffectExtended::allocateArrangement(VstSpeakerArrangement** location,
                                         std::int32_t numChannels) noexcept {
    if (location == nullptr) {
        return false;  // nowhere to store a block: nothing is obtained
    }
    if (*location != nullptr) {
        std::free(*location);  // released directly, not through deallocateArrangement
        *location = nullptr;
    }
    std::size_t size = 0;
    if (!arrangementSize(numChannels, size)) {
        return false;
    }
    void* block = std::malloc(size);
    if (block == nullptr) {
        return false;
    }
    std::memset(block, 0, size);
    VstSpeakerArrangement* arrangement = static_cast<VstSpeakerArrangement*>(block);
    arrangement->numChannels = numChannels;
    *location = arrangement;
    return true;
}

bool EffectExtended::deallocateArrangement(VstSpeakerArrangement** location) noexcept {
    if (location != nullptr && *location != nullptr) {
        std::free(*location);
        *location = nullptr;
    }
    return true;
}

bool EffectExtended::copySpeaker(VstSpeakerProperties* to,
                                 const VstSpeakerProperties* from) noexcept {
    if (to == nullptr || from == nullptr) {
        return false;
    }
    boundedCopy(to->name, from->name, kSpeakerNameBound);
    to->type = from->type;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    std::memmove(to->future, from->future, sizeof(to->future));
    return true;
}

bool EffectExtended::matchArrangement(VstSpeakerArrangement** location,
                                      const VstSpeakerArrangement* from) noexcept {
    if (from == nullptr) {
        return false;
    }
    // The source is the very block at the destination. It is
    // already a copy of itself; releasing it first would copy from freed memory.
    if (location != nullptr && *location == from) {
        return true;
    }
    if (!deallocateArrangement(location)) {
        return false;
    }
    if (!allocateArrangement(location, from->numChannels)) {
        return false;
    }
    VstSpeakerArrangement* to = *location;
    to->type = from->type;
    VstSpeakerProperties* toSpeakers = vstSpeakers(to);
    const VstSpeakerProperties* fromSpeakers =
        vstSpeakers(const_cast<VstSpeakerArrangement*>(from));
    for (std::int32_t i = 0; i < to->numChannels; ++i) {
        if (!copySpeaker(&toSpeakers[i], &fromSpeakers[i])) {
            return false;
        }
    }
    return true;
}
