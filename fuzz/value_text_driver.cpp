// Value texts under any value and any bound: the text stays inside its
// bound + 1 bytes, ends in a zero byte at index bound, and a junk-filled
// buffer never makes an operation read or write past it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "EffectBase.h"
#include "fuzz_drivers.h"
#include "fuzz_input.h"

namespace kavro::fuzz {
namespace {

// The frame's text operations need an object; this one has nothing else.
class TextOnlyEffect final : public EffectBase {
  public:
    TextOnlyEffect() noexcept : EffectBase(nullptr, 1, 0) {}
    void processReplacing(float**, float**, std::int32_t) noexcept override {}
};

constexpr std::int32_t kMaxBound = 64;
constexpr std::size_t kCanaryBytes = 16;
constexpr unsigned char kCanary = 0xC5;

}  // namespace

int driveValueText(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    TextOnlyEffect effect;
    while (!in.empty()) {
        const int operation = in.byte() % 6;
        const auto floatValue = in.bits<float>();
        const auto intValue = in.bits<std::int32_t>();
        const std::int32_t bound = in.byte() % (kMaxBound + 1);
        const unsigned char junk = in.byte() | 1;  // never a terminator

        // Exactly bound + 1 bytes the operation may use, then canaries; on the
        // heap so that AddressSanitizer also sees reads beyond them.
        const auto used = static_cast<std::size_t>(bound) + 1;
        std::vector<unsigned char> buffer(used + kCanaryBytes, kCanary);
        std::memset(buffer.data(), junk, used);
        char* text = reinterpret_cast<char*>(buffer.data());

        switch (operation) {
            case 0:
                effect.dB2string(floatValue, text, bound);
                break;
            case 1:
                effect.Hz2string(floatValue, text, bound);
                break;
            case 2:
                effect.ms2string(floatValue, text, bound);
                break;
            case 3:
                effect.float2string(floatValue, text, bound);
                break;
            case 4:
                effect.int2string(intValue, text, bound);
                break;
            default:
                // Hz2string and ms2string divide by whatever rate is cached.
                effect.setSampleRate(floatValue);
                continue;
        }
        check(buffer[static_cast<std::size_t>(bound)] == 0, "no zero byte at index bound",
              operation);
        for (std::size_t i = used; i < buffer.size(); ++i) {
            check(buffer[i] == kCanary, "wrote past bound + 1 bytes", operation);
        }
    }
    return 0;
}

}  // namespace kavro::fuzz
