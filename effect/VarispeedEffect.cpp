// VarispeedEffect: descriptor settings, program name, parameters,
// their texts, identification, and the forwarding of both processing calls.
#include "VarispeedEffect.h"

#include <atomic>
#include <cstdint>

#include "bounded_text.h"
#include "varispeed_processing.h"

namespace {

// The value LENGTH shows: 512 x N (a shift left by 9 bits). For
// lengths from 0 to 1 that is 512 to 33280. Outside the values the 32-bit
// product can hold it saturates instead of wrapping: to INT32_MAX above (which
// int2string shows as "Huge!") and to -999999999 below (the most negative
// value int2string gives digits for).
std::int32_t lengthDisplayValue(float length) noexcept {
    const std::int64_t shown = std::int64_t{512} * kavro::retriggerPeriod(length);
    if (shown > INT32_MAX) {
        return INT32_MAX;
    }
    if (shown < -999999999) {
        return -999999999;
    }
    return static_cast<std::int32_t>(shown);
}

}  // namespace

VarispeedEffect::VarispeedEffect(audioMasterCallback hostCallback) noexcept
    : EffectExtended(hostCallback, kNumPrograms, kNumParams) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);
    setFlagCanDoubleReplacing(true);
    setInitialDelay(0);
    boundedCopy(programName, "Default", kProgramNameBound);
    // The remaining fields get their construction values (and the rings
    // their zero-filled allocation) in VarispeedState's initialisers.
}

void VarispeedEffect::processReplacing(float** inputs, float** outputs,
                                       std::int32_t sampleFrames) noexcept {
    kavro::processVarispeedBlock<float>(state, inputs, outputs, sampleFrames);
}

void VarispeedEffect::processDoubleReplacing(double** inputs, double** outputs,
                                             std::int32_t sampleFrames) noexcept {
    kavro::processVarispeedBlock<double>(state, inputs, outputs, sampleFrames);
}

void VarispeedEffect::setParameter(std::int32_t index, float value) noexcept {
    if (index == kParamSpeed) {
        state.speed.store(value, std::memory_order_relaxed);
    } else if (index == kParamLength) {
        state.length.store(value, std::memory_order_relaxed);
    }
}

float VarispeedEffect::getParameter(std::int32_t index) noexcept {
    if (index == kParamSpeed) {
        return state.speed.load(std::memory_order_relaxed);
    }
    if (index == kParamLength) {
        return state.length.load(std::memory_order_relaxed);
    }
    return 0.0f;
}

void VarispeedEffect::setProgramName(const char* name) noexcept {
    boundedCopy(programName, name, kProgramNameBound);
}

void VarispeedEffect::getProgramName(char* name) noexcept {
    boundedCopy(name, programName, kProgramNameBound);
}

void VarispeedEffect::getParamLabel(std::int32_t index, char* label) noexcept {
    if (index == kParamSpeed) {
        boundedCopy(label, " ", kParamTextBound);
    } else if (index == kParamLength) {
        boundedCopy(label, "samples", kParamTextBound);
    }
}

void VarispeedEffect::getParamDisplay(std::int32_t index, char* text) noexcept {
    if (index == kParamSpeed) {
        float2string(state.speed.load(std::memory_order_relaxed), text, kParamTextBound);
    } else if (index == kParamLength) {
        int2string(lengthDisplayValue(state.length.load(std::memory_order_relaxed)), text,
                   kParamTextBound);
    }
}

void VarispeedEffect::getParamName(std::int32_t index, char* text) noexcept {
    if (index == kParamSpeed) {
        boundedCopy(text, "SPEED x ", kParamTextBound);
    } else if (index == kParamLength) {
        boundedCopy(text, "LENGTH ", kParamTextBound);
    }
}

bool VarispeedEffect::getEffectName(char* text) noexcept {
    boundedCopy(text, "Kavro", kEffectNameBound);
    return true;
}

bool VarispeedEffect::getVendorString(char* text) noexcept {
    boundedCopy(text, "Quorla", kVendorTextBound);
    return true;
}

bool VarispeedEffect::getProductString(char* text) noexcept {
    boundedCopy(text, "Kavro", kProductTextBound);
    return true;
}

std::int32_t VarispeedEffect::getVendorVersion() noexcept {
    return kVendorVersion;
}
