// A tiny well-behaved VST 2.4 gain effect written straight against the plain-C
// interface header, without the frame, so the host library can be tested on
// its own. Variants (compile definitions) make the broken modules the error
// tests need:
//   TEST_MONO        one input, one output, single precision only
//   TEST_MAIN_ONLY   exports the entry point only as "main"
//   TEST_REFUSE      the entry point returns null
//   TEST_PICKY       refuses unless the host answers the probe with >= 9999
//   TEST_BAD_MAGIC   returns a record whose magic is wrong
//   TEST_NO_ENTRY    exports no entry point at all
#include <cstdio>
#include <cstring>
#include <new>

#include "test_plugin.h"
#include "vst_interface.h"

namespace {

KavroTestStats stats = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0, -1, 0};

#ifdef TEST_MONO
constexpr int kChannels = 1;
#else
constexpr int kChannels = 2;
#endif

struct GainEffect {
    AEffect record;
    audioMasterCallback host;
    float gain = 0.5f;
};

GainEffect* self(AEffect* e) {
    return static_cast<GainEffect*>(e->object);
}

void copyText(void* ptr, const char* text, size_t bound) {
    auto* out = static_cast<char*>(ptr);
    std::strncpy(out, text, bound);
    out[bound] = '\0';
}

VstIntPtr VSTCALLBACK dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float opt) {
    switch (opcode) {
        case effOpen:
            ++stats.opened;
            return 0;
        case effClose:
            ++stats.closed;
            delete self(e);
            return 1;
        case effSetSampleRate:
            stats.lastSampleRate = opt;
            return 0;
        case effSetBlockSize:
            stats.lastBlockSize = value;
            return 0;
        case effMainsChanged:
            if (value)
                ++stats.mainsOn;
            else
                ++stats.mainsOff;
            return 0;
        case effStartProcess:
            ++stats.startProcess;
            return 0;
        case effStopProcess:
            ++stats.stopProcess;
            return 0;
        case effSetProcessPrecision:
            stats.lastPrecision = value;
            return 1;
        case effGetParamName:
            if (index == 0)
                copyText(ptr, "Gain", kParamTextBound);
            return 0;
        case effGetParamLabel:
            if (index == 0)
                copyText(ptr, "x", kParamTextBound);
            return 0;
        case effGetParamDisplay:
            if (index == 0) {
                char text[32];
                // Deliberately longer than the bound: the host must cope.
                std::snprintf(text, sizeof text, "%.6f-overlong",
                              static_cast<double>(self(e)->gain));
                std::strcpy(static_cast<char*>(ptr), text);
            }
            return 0;
        case effGetProgramName:
            copyText(ptr, "Init", kProgramNameBound);
            return 0;
        case effGetEffectName:
            copyText(ptr, "TestGain", kEffectNameBound);
            return 1;
        case effGetVendorString:
            copyText(ptr, "Kavro Tests", kVendorTextBound);
            return 1;
        case effGetProductString:
            copyText(ptr, "Test Gain Module", kProductTextBound);
            return 1;
        case effGetVendorVersion:
            return 7;
        case effGetVstVersion:
            return kVstVersion;
        default:
            return 0;
    }
}

void VSTCALLBACK setParameter(AEffect* e, VstInt32 index, float value) {
    if (index == 0)
        self(e)->gain = value;
}
float VSTCALLBACK getParameter(AEffect* e, VstInt32 index) {
    return index == 0 ? self(e)->gain : 0.0f;
}

template <class T>
void gain(AEffect* e, T** in, T** out, VstInt32 frames) {
    const T g = static_cast<T>(self(e)->gain) * 2;
    for (int c = 0; c < kChannels; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            out[c][i] = in[c][i] * g;
    if (frames > stats.maxFrames)
        stats.maxFrames = frames;
}

void VSTCALLBACK processReplacing(AEffect* e, float** in, float** out, VstInt32 frames) {
    ++stats.processFloat;
    gain(e, in, out, frames);
}
#ifndef TEST_MONO
void VSTCALLBACK processDouble(AEffect* e, double** in, double** out, VstInt32 frames) {
    ++stats.processDouble;
    gain(e, in, out, frames);
}
#endif

AEffect* create(audioMasterCallback host) {
    stats.probeAnswer = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
#if defined(TEST_REFUSE)
    return nullptr;
#elif defined(TEST_PICKY)
    if (stats.probeAnswer < 9999)
        return nullptr;
#elif defined(TEST_BAD_MAGIC)
    static AEffect bogus;
    std::memset(&bogus, 0, sizeof bogus);
    bogus.magic = KAVRO_FOURCC('B', 'A', 'D', '!');
    return &bogus;
#endif
    if (stats.probeAnswer == 0)
        return nullptr;
    auto* effect = new (std::nothrow) GainEffect;
    if (!effect)
        return nullptr;
    AEffect& r = effect->record;
    std::memset(&r, 0, sizeof r);
    r.magic = kEffectMagic;
    r.dispatcher = dispatch;
    r.setParameter = setParameter;
    r.getParameter = getParameter;
    r.numPrograms = 1;
    r.numParams = 1;
    r.numInputs = kChannels;
    r.numOutputs = kChannels;
    r.flags = effFlagsCanReplacing;
    r.ioRatio = 1.0f;
    r.object = effect;
    r.uniqueID = KAVRO_FOURCC('T', 'g', 'a', 'n');
    r.version = 1;
    r.processReplacing = processReplacing;
#ifndef TEST_MONO
    r.flags |= effFlagsCanDoubleReplacing;
    r.processDoubleReplacing = processDouble;
#endif
    effect->host = host;
    // Ask the host from inside the constructor, before it knows the record.
    stats.ctorSampleRate = host(&r, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
    stats.ctorBlockSize = host(&r, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
    stats.ctorUnknownAnswer = host(&r, audioMasterGetTime, 0, 0, nullptr, 0.0f);
    ++stats.created;
    return &r;
}

}  // namespace

extern "C" {

KAVRO_EXPORT KavroTestStats* kavroTestStats() {
    return &stats;
}

#if defined(TEST_NO_ENTRY)
KAVRO_EXPORT AEffect* notAnEntryPoint(audioMasterCallback host) {
    return create(host);
}
#elif defined(TEST_MAIN_ONLY)
#ifdef _WIN32
// Exported as main by main_only.def, the way Kavro.dll names its second entry
// (an assembler label would miss the symbol prefix of 32-bit Windows).
AEffect* vstMainAlias(audioMasterCallback host) {
    return create(host);
}
#else
// A C++ function cannot be called main; give the symbol its name directly.
KAVRO_EXPORT AEffect* vstMainAlias(audioMasterCallback host) __asm__("main");
AEffect* vstMainAlias(audioMasterCallback host) {
    return create(host);
}
#endif
#else
KAVRO_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    return create(host);
}
#endif

}  // extern "C"
