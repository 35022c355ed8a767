// VarispeedEffect: the product. A stereo effect that records both
// inputs into two rings and plays them back at a variable speed with
// zero-crossing retriggers; the processing itself is varispeed_processing.h
// run on the VarispeedState this object owns.
#pragma once

#include <cstdint>

#include "EffectExtended.h"
#include "varispeed_state.h"
#include "vst_interface.h"

class VarispeedEffect : public EffectExtended {
  public:
    static constexpr std::int32_t kNumPrograms = 1;
    static constexpr std::int32_t kNumParams = 2;
    static constexpr std::int32_t kParamSpeed = 0;
    static constexpr std::int32_t kParamLength = 1;
    static constexpr std::int32_t kUniqueId = fourCharCode("QKvr");
    static constexpr std::int32_t kVendorVersion = 1001;

    // Construction. If a ring cannot be allocated the object is
    // still a valid (destructible) object but ringsAllocated() is false, and
    // createEffect hands out nothing.
    explicit VarispeedEffect(audioMasterCallback hostCallback) noexcept;
    ~VarispeedEffect() override = default;  // the state releases both rings

    bool ringsAllocated() const noexcept { return state.ringsAllocated(); }

    // [audio thread] The processing, and the same processing in single
    // precision: both forward to kavro::processVarispeedBlock on `state`.
    void processReplacing(float** inputs, float** outputs,
                          std::int32_t sampleFrames) noexcept override;
    void processDoubleReplacing(double** inputs, double** outputs,
                                std::int32_t sampleFrames) noexcept override;

    // Parameters: stored unchanged (no clamping), relaxed atomics.
    void setParameter(std::int32_t index, float value) noexcept override;
    float getParameter(std::int32_t index) noexcept override;

    void setProgramName(const char* name) noexcept override;
    void getProgramName(char* name) noexcept override;
    void getParamLabel(std::int32_t index, char* label) noexcept override;
    void getParamDisplay(std::int32_t index, char* text) noexcept override;
    void getParamName(std::int32_t index, char* text) noexcept override;

    bool getEffectName(char* text) noexcept override;
    bool getVendorString(char* text) noexcept override;
    bool getProductString(char* text) noexcept override;
    std::int32_t getVendorVersion() noexcept override;

    // For tests and benchmarks: the processing state.
    kavro::VarispeedState& processingState() noexcept { return state; }

  private:
    char programName[kProgramNameBound + 1];  // "Default" at construction
    kavro::VarispeedState state;              // speed ... length
};
