// Construction, destruction, the descriptor setters and the text
// defaults of EffectBase.
#include "EffectBase.h"

#include <cstring>

#include "bounded_text.h"
#include "entry_functions.h"

EffectBase::EffectBase(audioMasterCallback hostCallback, std::int32_t numPrograms,
                       std::int32_t numParams) noexcept
    : hostCallback(hostCallback),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(numPrograms),
      currentProgram(0) {
    // Zero bytes everywhere, alignment gaps and `future` included.
    std::memset(&descriptor, 0, sizeof(descriptor));
    descriptor.magic = kEffectMagic;
    descriptor.dispatcher = dispatcherEntry;
    descriptor.process = processEntry;
    descriptor.setParameter = setParameterEntry;
    descriptor.getParameter = getParameterEntry;
    descriptor.numPrograms = numPrograms;
    descriptor.numParams = numParams;
    descriptor.numInputs = 1;
    descriptor.numOutputs = 2;
    descriptor.ioRatio = 1.0f;
    descriptor.object = this;
    descriptor.uniqueID = kDefaultUniqueId;
    descriptor.version = 1;
    descriptor.processReplacing = processReplacingEntry;
    // Runs EffectBase's setter: a derived override does not exist yet.
    setFlagCanReplacing(true);
    descriptor.processDoubleReplacing = processDoubleReplacingEntry;
}

EffectBase::~EffectBase() {
    delete editor;
}

void EffectBase::setFlag(std::int32_t mask, bool state) noexcept {
    if (state) {
        descriptor.flags |= mask;
    } else {
        descriptor.flags &= ~mask;
    }
}

void EffectBase::setSampleRate(float rate) noexcept {
    sampleRate = rate;
}

void EffectBase::setBlockSize(std::int32_t size) noexcept {
    blockSize = size;
}

void EffectBase::getProgramName(char* name) noexcept {
    boundedCopy(name, "", 0);
}

void EffectBase::getParamLabel(std::int32_t /*index*/, char* label) noexcept {
    boundedCopy(label, "", 0);
}

void EffectBase::getParamDisplay(std::int32_t /*index*/, char* text) noexcept {
    boundedCopy(text, "", 0);
}

void EffectBase::getParamName(std::int32_t /*index*/, char* text) noexcept {
    boundedCopy(text, "", 0);
}

void EffectBase::setUniqueID(std::int32_t id) noexcept {
    descriptor.uniqueID = id;
}

void EffectBase::setNumInputs(std::int32_t count) noexcept {
    descriptor.numInputs = count;
}

void EffectBase::setNumOutputs(std::int32_t count) noexcept {
    descriptor.numOutputs = count;
}

void EffectBase::setFlagCanReplacing(bool state) noexcept {
    setFlag(effFlagsCanReplacing, state);
}

void EffectBase::setFlagCanDoubleReplacing(bool state) noexcept {
    setFlag(effFlagsCanDoubleReplacing, state);
}

void EffectBase::setFlagProgramChunks(bool state) noexcept {
    setFlag(effFlagsProgramChunks, state);
}

void EffectBase::setInitialDelay(std::int32_t delay) noexcept {
    descriptor.initialDelay = delay;
}

void EffectBase::setFlagHasVu(bool state) noexcept {
    setFlag(effFlagsHasVu, state);
}

void EffectBase::setFlagHasClip(bool state) noexcept {
    setFlag(effFlagsHasClip, state);
}

void EffectBase::setFlagCanMono(bool state) noexcept {
    setFlag(effFlagsCanMono, state);
}

void EffectBase::setRealQualities(std::int32_t quality) noexcept {
    descriptor.realQualities = quality;
}

void EffectBase::setOffQualities(std::int32_t quality) noexcept {
    descriptor.offQualities = quality;
}
