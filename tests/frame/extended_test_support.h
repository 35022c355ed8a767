// Shared pieces of the EffectExtended tests: a recording host callback and
// the smallest concrete effect.
#pragma once

#include <cstdint>
#include <vector>

#include "EffectExtended.h"

namespace kavro_test {

// One callback the effect made, as the host saw it.
struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// The recording host: every call is kept; each answers `answer`.
struct RecordingHost {
    static std::vector<HostCall>& calls() {
        static std::vector<HostCall> list;
        return list;
    }
    static VstIntPtr& answer() {
        static VstIntPtr value = 0;
        return value;
    }
    static void reset(VstIntPtr newAnswer = 0) {
        calls().clear();
        answer() = newAnswer;
    }
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt) {
        calls().push_back(HostCall{effect, opcode, index, value, ptr, opt});
        return answer();
    }
};

// Only the one operation EffectBase leaves without a body.
class PlainEffect : public EffectExtended {
  public:
    explicit PlainEffect(audioMasterCallback callback = nullptr) noexcept
        : EffectExtended(callback, 1, 2) {}
    void processReplacing(float**, float**, std::int32_t) noexcept override {}

    // Test access to the protected state of EffectBase.
    float cachedSampleRate() const { return sampleRate; }
    std::int32_t cachedBlockSize() const { return blockSize; }
    std::int32_t flags() const { return descriptor.flags; }
    void setFlags(std::int32_t value) { descriptor.flags = value; }
    AEffect* record() { return &descriptor; }
};

}  // namespace kavro_test
