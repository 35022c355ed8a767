// EffectExtended: construction, resume, flag setters and the defaults that
// are not inline.
#include "EffectExtended.h"

#include "capability_words.h"

EffectExtended::EffectExtended(audioMasterCallback hostCallback, std::int32_t numPrograms,
                               std::int32_t numParams) noexcept
    : EffectBase(hostCallback, numPrograms, numParams) {}

void EffectExtended::resume() noexcept {
    if ((descriptor.flags & effFlagsIsSynth) == 0 && canDo(kavro::kReceiveVstMidiEvent) != 1) {
        return;
    }
    hostWantMidi(1);
}

void EffectExtended::setFlagIsSynth(bool on) noexcept {
    setFlag(effFlagsIsSynth, on);
}

void EffectExtended::setFlagNoSoundInStop(bool on) noexcept {
    setFlag(effFlagsNoSoundInStop, on);
}

void EffectExtended::setFlagExtIsAsync(bool on) noexcept {
    setFlag(effFlagsExtIsAsync, on);
}

void EffectExtended::setFlagExtHasBuffer(bool on) noexcept {
    setFlag(effFlagsExtHasBuffer, on);
}

std::int32_t EffectExtended::getPlugCategory() noexcept {
    return (descriptor.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

bool EffectExtended::getSpeakerArrangement(VstSpeakerArrangement** input,
                                           VstSpeakerArrangement** output) noexcept {
    // Only locations that are themselves not null are written.
    if (input != nullptr) {
        *input = nullptr;
    }
    if (output != nullptr) {
        *output = nullptr;
    }
    return false;
}

void EffectExtended::setBlockSizeAndSampleRate(std::int32_t size, float rate) noexcept {
    blockSize = size;
    sampleRate = rate;
}
