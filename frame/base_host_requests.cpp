// The base requests to the host, host opcodes 0 to 4. Each passes
// the descriptor's address as the effect and null as ptr; without a callback
// each answers alone.
#include "EffectBase.h"

std::int32_t EffectBase::hostVersion() noexcept {
    if (hostCallback == nullptr) {
        return 1;
    }
    const VstIntPtr answer = hostCallback(&descriptor, audioMasterVersion, 0, 0, nullptr, 0.0f);
    return answer == 0 ? 1 : static_cast<std::int32_t>(answer);
}

std::int32_t EffectBase::hostCurrentId() noexcept {
    if (hostCallback == nullptr) {
        return 0;
    }
    return static_cast<std::int32_t>(
        hostCallback(&descriptor, audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void EffectBase::hostIdle() noexcept {
    if (hostCallback != nullptr) {
        static_cast<void>(hostCallback(&descriptor, audioMasterIdle, 0, 0, nullptr, 0.0f));
    }
}

bool EffectBase::hostInputConnected(std::int32_t index) noexcept {
    if (hostCallback == nullptr) {
        return true;
    }
    return hostCallback(&descriptor, audioMasterPinConnected, index, 0, nullptr, 0.0f) == 0;
}

bool EffectBase::hostOutputConnected(std::int32_t index) noexcept {
    if (hostCallback == nullptr) {
        return true;
    }
    return hostCallback(&descriptor, audioMasterPinConnected, index, 1, nullptr, 0.0f) == 0;
}

void EffectBase::setParameterAutomated(std::int32_t index, float value) noexcept {
    setParameter(index, value);
    if (hostCallback != nullptr) {
        static_cast<void>(hostCallback(&descriptor, audioMasterAutomate, index, 0, nullptr, value));
    }
}
