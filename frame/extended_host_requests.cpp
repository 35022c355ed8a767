// The extended host requests: each sends one fixed
// opcode with its fields and turns the answer into its result kind. Without
// a host callback nothing is sent and each kind's default is given.
#include <cstdint>

#include "EffectExtended.h"

namespace {

constexpr std::int32_t kNoIndex = 0;
constexpr VstIntPtr kNoValue = 0;

// Sends one request and hands back the answer; 0 without a callback.
VstIntPtr send(audioMasterCallback callback, AEffect* effect, std::int32_t opcode,
               std::int32_t index, VstIntPtr value, void* ptr, float opt) noexcept {
    return callback != nullptr ? callback(effect, opcode, index, value, ptr, opt) : 0;
}

}  // namespace

void EffectExtended::hostWantMidi(std::int32_t filter) noexcept {
    if (hostCallback != nullptr) {
        hostCallback(&descriptor, audioMasterWantMidi, kNoIndex, filter, nullptr, 0.0f);
    }
}

VstIntPtr EffectExtended::hostGetTime(std::int32_t filter) noexcept {
    return send(hostCallback, &descriptor, audioMasterGetTime, kNoIndex, filter, nullptr, 0.0f);
}

VstIntPtr EffectExtended::hostTempoAt(std::int32_t position) noexcept {
    return send(hostCallback, &descriptor, audioMasterTempoAt, kNoIndex, position, nullptr, 0.0f);
}

VstIntPtr EffectExtended::hostGetNumAutomatableParameters() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetNumAutomatableParameters, kNoIndex,
                kNoValue, nullptr, 0.0f);
}

VstIntPtr EffectExtended::hostGetParameterQuantization() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetParameterQuantization, kNoIndex, kNoValue,
                nullptr, 0.0f);
}

bool EffectExtended::hostIOChanged() noexcept {
    return send(hostCallback, &descriptor, audioMasterIOChanged, kNoIndex, kNoValue, nullptr,
                0.0f) != 0;
}

bool EffectExtended::hostNeedIdle() noexcept {
    return send(hostCallback, &descriptor, audioMasterNeedIdle, kNoIndex, kNoValue, nullptr,
                0.0f) != 0;
}

bool EffectExtended::hostSizeWindow(std::int32_t width, std::int32_t height) noexcept {
    return send(hostCallback, &descriptor, audioMasterSizeWindow, width, height, nullptr, 0.0f) !=
           0;
}

float EffectExtended::hostGetSampleRate() noexcept {
    if (hostCallback != nullptr) {
        const VstIntPtr answer =
            hostCallback(&descriptor, audioMasterGetSampleRate, kNoIndex, kNoValue, nullptr, 0.0f);
        if (answer > 0) {
            sampleRate = static_cast<float>(answer);
        }
    }
    return sampleRate;
}

std::int32_t EffectExtended::hostGetBlockSize() noexcept {
    if (hostCallback != nullptr) {
        const VstIntPtr answer =
            hostCallback(&descriptor, audioMasterGetBlockSize, kNoIndex, kNoValue, nullptr, 0.0f);
        if (answer > 0) {
            // An answer beyond 32 bits is no block size a host can mean; the
            // cache keeps the largest size it can hold.
            blockSize = answer > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(answer);
        }
    }
    return blockSize;
}

VstIntPtr EffectExtended::hostGetInputLatency() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetInputLatency, kNoIndex, kNoValue, nullptr,
                0.0f);
}

VstIntPtr EffectExtended::hostGetOutputLatency() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetOutputLatency, kNoIndex, kNoValue, nullptr,
                0.0f);
}

VstIntPtr EffectExtended::hostGetPreviousPlug(std::int32_t /*pin*/) noexcept {
    return send(hostCallback, &descriptor, audioMasterGetPreviousPlug, kNoIndex, kNoValue, nullptr,
                0.0f);
}

VstIntPtr EffectExtended::hostGetNextPlug(std::int32_t /*pin*/) noexcept {
    return send(hostCallback, &descriptor, audioMasterGetNextPlug, kNoIndex, kNoValue, nullptr,
                0.0f);
}

VstIntPtr EffectExtended::hostWillReplaceOrAccumulate() noexcept {
    return send(hostCallback, &descriptor, audioMasterWillReplaceOrAccumulate, kNoIndex, kNoValue,
                nullptr, 0.0f);
}

VstIntPtr EffectExtended::hostGetCurrentProcessLevel() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetCurrentProcessLevel, kNoIndex, kNoValue,
                nullptr, 0.0f);
}

VstIntPtr EffectExtended::hostGetAutomationState() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetAutomationState, kNoIndex, kNoValue,
                nullptr, 0.0f);
}

bool EffectExtended::hostOfflineStart(void* audioFiles, std::int32_t numAudioFiles,
                                      std::int32_t numNewAudioFiles) noexcept {
    return send(hostCallback, &descriptor, audioMasterOfflineStart, numNewAudioFiles, numAudioFiles,
                audioFiles, 0.0f) != 0;
}

bool EffectExtended::hostOfflineRead(void* offline, std::int32_t option, bool readSource) noexcept {
    return send(hostCallback, &descriptor, audioMasterOfflineRead, readSource ? 1 : 0, option,
                offline, 0.0f) != 0;
}

bool EffectExtended::hostOfflineWrite(void* offline, std::int32_t option) noexcept {
    return send(hostCallback, &descriptor, audioMasterOfflineWrite, kNoIndex, option, offline,
                0.0f) != 0;
}

std::int32_t EffectExtended::hostOfflineGetCurrentPass() noexcept {
    return send(hostCallback, &descriptor, audioMasterOfflineGetCurrentPass, kNoIndex, kNoValue,
                nullptr, 0.0f) != 0
               ? 1
               : 0;
}

std::int32_t EffectExtended::hostOfflineGetCurrentMetaPass() noexcept {
    return send(hostCallback, &descriptor, audioMasterOfflineGetCurrentMetaPass, kNoIndex, kNoValue,
                nullptr, 0.0f) != 0
               ? 1
               : 0;
}

void EffectExtended::hostSetOutputSampleRate(float rate) noexcept {
    if (hostCallback != nullptr) {
        hostCallback(&descriptor, audioMasterSetOutputSampleRate, kNoIndex, kNoValue, nullptr,
                     rate);
    }
}

VstIntPtr EffectExtended::hostGetOutputSpeakerArrangement() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetOutputSpeakerArrangement, kNoIndex,
                kNoValue, nullptr, 0.0f);
}

bool EffectExtended::hostGetVendorString(char* text) noexcept {
    return send(hostCallback, &descriptor, audioMasterGetVendorString, kNoIndex, kNoValue, text,
                0.0f) != 0;
}

bool EffectExtended::hostGetProductString(char* text) noexcept {
    return send(hostCallback, &descriptor, audioMasterGetProductString, kNoIndex, kNoValue, text,
                0.0f) != 0;
}

VstIntPtr EffectExtended::hostGetVendorVersion() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetVendorVersion, kNoIndex, kNoValue, nullptr,
                0.0f);
}

VstIntPtr EffectExtended::hostVendorSpecific(std::int32_t index, VstIntPtr value, void* ptr,
                                             float opt) noexcept {
    return send(hostCallback, &descriptor, audioMasterVendorSpecific, index, value, ptr, opt);
}

std::int32_t EffectExtended::hostCanDo(const char* text) noexcept {
    // The host only reads the word; the callback's ptr field is untyped.
    return send(hostCallback, &descriptor, audioMasterCanDo, kNoIndex, kNoValue,
                const_cast<char*>(text), 0.0f) != 0
               ? 1
               : 0;
}

VstIntPtr EffectExtended::hostGetLanguage() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetLanguage, kNoIndex, kNoValue, nullptr,
                0.0f);
}

VstIntPtr EffectExtended::hostOpenWindow(void* window) noexcept {
    return send(hostCallback, &descriptor, audioMasterOpenWindow, kNoIndex, kNoValue, window, 0.0f);
}

bool EffectExtended::hostCloseWindow(void* window) noexcept {
    return send(hostCallback, &descriptor, audioMasterCloseWindow, kNoIndex, kNoValue, window,
                0.0f) != 0;
}

VstIntPtr EffectExtended::hostGetDirectory() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetDirectory, kNoIndex, kNoValue, nullptr,
                0.0f);
}

bool EffectExtended::hostUpdateDisplay() noexcept {
    return send(hostCallback, &descriptor, audioMasterUpdateDisplay, kNoIndex, kNoValue, nullptr,
                0.0f) != 0;
}

bool EffectExtended::hostBeginEdit(std::int32_t index) noexcept {
    return send(hostCallback, &descriptor, audioMasterBeginEdit, index, kNoValue, nullptr, 0.0f) !=
           0;
}

bool EffectExtended::hostEndEdit(std::int32_t index) noexcept {
    return send(hostCallback, &descriptor, audioMasterEndEdit, index, kNoValue, nullptr, 0.0f) != 0;
}

bool EffectExtended::hostOpenFileSelector(void* fileSelect) noexcept {
    if (fileSelect == nullptr) {
        return false;
    }
    return send(hostCallback, &descriptor, audioMasterOpenFileSelector, kNoIndex, kNoValue,
                fileSelect, 0.0f) != 0;
}

bool EffectExtended::hostCloseFileSelector(void* fileSelect) noexcept {
    if (fileSelect == nullptr) {
        return false;
    }
    return send(hostCallback, &descriptor, audioMasterCloseFileSelector, kNoIndex, kNoValue,
                fileSelect, 0.0f) != 0;
}

bool EffectExtended::hostGetChunkFile(char* path) noexcept {
    if (path == nullptr) {
        return false;
    }
    return send(hostCallback, &descriptor, audioMasterGetChunkFile, kNoIndex, kNoValue, path,
                0.0f) != 0;
}

VstIntPtr EffectExtended::hostGetInputSpeakerArrangement() noexcept {
    return send(hostCallback, &descriptor, audioMasterGetInputSpeakerArrangement, kNoIndex,
                kNoValue, nullptr, 0.0f);
}
