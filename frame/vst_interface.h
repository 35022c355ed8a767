/*
 * The plug-in interface as plain C data: the descriptor record a host drives,
 * the host callback, the dispatcher and host opcode numbers, the flag bits,
 * the four-character codes and the records shared with the host.
 *
 * This header is self-contained and compiles as C (C11) and as C++. Every
 * number of the interface is written here once; everything else refers to
 * these names.
 */
#ifndef KAVRO_VST_INTERFACE_H
#define KAVRO_VST_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

/* Calling convention of every function that crosses the boundary: the
 * platform's plain C convention (cdecl on 32-bit x86 Windows). */
#if defined(_WIN32)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

/* Marks the entry point for export; everything else stays hidden. */
#if defined(_WIN32)
#define KAVRO_EXPORT __declspec(dllexport)
#else
#define KAVRO_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define KAVRO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define KAVRO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

typedef int32_t VstInt32;
/* Pointer-sized signed integer: the dispatcher's value and result. */
typedef intptr_t VstIntPtr;

/* Packs four characters, the first in the most significant byte. */
#define KAVRO_FOURCC(a, b, c, d)                                                              \
    ((VstInt32)(((uint32_t)(unsigned char)(a) << 24) | ((uint32_t)(unsigned char)(b) << 16) | \
                ((uint32_t)(unsigned char)(c) << 8) | (uint32_t)(unsigned char)(d)))

enum {
    /* first field of every record */
    kEffectMagic = KAVRO_FOURCC('V', 's', 't', 'P'),
    /* uniqueID before an effect sets its own */
    kDefaultUniqueId = KAVRO_FOURCC('N', 'o', 'E', 'f'),
    /* answer to effIdentify */
    kIdentifyAnswer = KAVRO_FOURCC('N', 'v', 'E', 'f')
};

struct AEffect;

/* result = callback(effect, opcode, index, value, ptr, opt); effect is null only
 * in the version probe of the entry point. */
typedef VstIntPtr(VSTCALLBACK* audioMasterCallback)(struct AEffect* effect, VstInt32 opcode,
                                                    VstInt32 index, VstIntPtr value, void* ptr,
                                                    float opt);

typedef VstIntPtr(VSTCALLBACK* AEffectDispatcherProc)(struct AEffect* effect, VstInt32 opcode,
                                                      VstInt32 index, VstIntPtr value, void* ptr,
                                                      float opt);
typedef void(VSTCALLBACK* AEffectProcessProc)(struct AEffect* effect, float** inputs,
                                              float** outputs, VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectProcessDoubleProc)(struct AEffect* effect, double** inputs,
                                                    double** outputs, VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectSetParameterProc)(struct AEffect* effect, VstInt32 index,
                                                   float value);
typedef float(VSTCALLBACK* AEffectGetParameterProc)(struct AEffect* effect, VstInt32 index);

/* The descriptor record. Natural alignment gives 144 bytes with 4-byte
 * pointers and 192 with 8-byte pointers; the asserts below hold both forms. */
typedef struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process; /* accumulating, single precision */
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    VstInt32 initialDelay; /* latency in samples reported to the host */
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object; /* the effect object that owns this record */
    void* user;   /* the host's; never touched by the plug-in */
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
} AEffect;

/* Offset in the 4-byte-pointer form, or in the 8-byte-pointer form. */
#define KAVRO_LAYOUT(off32, off64) (sizeof(void*) == 4 ? (size_t)(off32) : (size_t)(off64))

KAVRO_STATIC_ASSERT(sizeof(void*) == 4 || sizeof(void*) == 8, "4- or 8-byte pointers");
KAVRO_STATIC_ASSERT(sizeof(AEffect) == KAVRO_LAYOUT(144, 192), "AEffect size");
KAVRO_STATIC_ASSERT(offsetof(AEffect, magic) == KAVRO_LAYOUT(0, 0), "magic");
KAVRO_STATIC_ASSERT(offsetof(AEffect, dispatcher) == KAVRO_LAYOUT(4, 8), "dispatcher");
KAVRO_STATIC_ASSERT(offsetof(AEffect, process) == KAVRO_LAYOUT(8, 16), "process");
KAVRO_STATIC_ASSERT(offsetof(AEffect, setParameter) == KAVRO_LAYOUT(12, 24), "setParameter");
KAVRO_STATIC_ASSERT(offsetof(AEffect, getParameter) == KAVRO_LAYOUT(16, 32), "getParameter");
KAVRO_STATIC_ASSERT(offsetof(AEffect, numPrograms) == KAVRO_LAYOUT(20, 40), "numPrograms");
KAVRO_STATIC_ASSERT(offsetof(AEffect, numParams) == KAVRO_LAYOUT(24, 44), "numParams");
KAVRO_STATIC_ASSERT(offsetof(AEffect, numInputs) == KAVRO_LAYOUT(28, 48), "numInputs");
KAVRO_STATIC_ASSERT(offsetof(AEffect, numOutputs) == KAVRO_LAYOUT(32, 52), "numOutputs");
KAVRO_STATIC_ASSERT(offsetof(AEffect, flags) == KAVRO_LAYOUT(36, 56), "flags");
KAVRO_STATIC_ASSERT(offsetof(AEffect, resvd1) == KAVRO_LAYOUT(40, 64), "resvd1");
KAVRO_STATIC_ASSERT(offsetof(AEffect, resvd2) == KAVRO_LAYOUT(44, 72), "resvd2");
KAVRO_STATIC_ASSERT(offsetof(AEffect, initialDelay) == KAVRO_LAYOUT(48, 80), "initialDelay");
KAVRO_STATIC_ASSERT(offsetof(AEffect, realQualities) == KAVRO_LAYOUT(52, 84), "realQualities");
KAVRO_STATIC_ASSERT(offsetof(AEffect, offQualities) == KAVRO_LAYOUT(56, 88), "offQualities");
KAVRO_STATIC_ASSERT(offsetof(AEffect, ioRatio) == KAVRO_LAYOUT(60, 92), "ioRatio");
KAVRO_STATIC_ASSERT(offsetof(AEffect, object) == KAVRO_LAYOUT(64, 96), "object");
KAVRO_STATIC_ASSERT(offsetof(AEffect, user) == KAVRO_LAYOUT(68, 104), "user");
KAVRO_STATIC_ASSERT(offsetof(AEffect, uniqueID) == KAVRO_LAYOUT(72, 112), "uniqueID");
KAVRO_STATIC_ASSERT(offsetof(AEffect, version) == KAVRO_LAYOUT(76, 116), "version");
KAVRO_STATIC_ASSERT(offsetof(AEffect, processReplacing) == KAVRO_LAYOUT(80, 120),
                    "processReplacing");
KAVRO_STATIC_ASSERT(offsetof(AEffect, processDoubleReplacing) == KAVRO_LAYOUT(84, 128),
                    "processDoubleReplacing");
KAVRO_STATIC_ASSERT(offsetof(AEffect, future) == KAVRO_LAYOUT(88, 136), "future");

/* Bits of AEffect.flags that the plug-in can change. */
enum {
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
    effFlagsCanDoubleReplacing = 1 << 12
};

/* Dispatcher opcodes (host to plug-in). Numbers without a name here are
 * answered with 0. */
enum {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetProgramNameIndexed = 29,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effGetParameterProperties = 56,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79
};

/* Host opcodes (plug-in to host, through audioMasterCallback). */
enum {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49
};

/* Answers of effGetPlugCategory. */
enum { kPlugCategUnknown = 0, kPlugCategSynth = 2 };

/* Interface version the frame reports (effGetVstVersion) and a host answers
 * to the version probe. */
enum { kVstVersion = 2400 };

/* Text bounds: a host buffer holds bound + 1 bytes. */
enum {
    kParamTextBound = 8,    /* parameter name, label and display */
    kProgramNameBound = 24, /* program name */
    kEffectNameBound = 32,  /* effect name */
    kVendorTextBound = 64,  /* vendor text */
    kProductTextBound = 64, /* product text */
    kSpeakerNameBound = 63  /* speaker name inside VstSpeakerProperties */
};

/* One speaker of an arrangement; 112 bytes on every platform. */
typedef struct VstSpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[kSpeakerNameBound + 1];
    VstInt32 type;
    char future[28];
} VstSpeakerProperties;

/* Header of a speaker arrangement: numChannels VstSpeakerProperties records
 * follow it directly in the same block (see vstSpeakers). */
typedef struct VstSpeakerArrangement {
    VstInt32 type;
    VstInt32 numChannels;
} VstSpeakerArrangement;

/* The speaker records that follow an arrangement header. */
static inline VstSpeakerProperties* vstSpeakers(VstSpeakerArrangement* arrangement) {
    return (VstSpeakerProperties*)(void*)((char*)arrangement + sizeof(VstSpeakerArrangement));
}

KAVRO_STATIC_ASSERT(sizeof(VstSpeakerProperties) == 112, "VstSpeakerProperties size");
KAVRO_STATIC_ASSERT(offsetof(VstSpeakerProperties, name) == 16, "speaker name");
KAVRO_STATIC_ASSERT(offsetof(VstSpeakerProperties, type) == 80, "speaker type");
KAVRO_STATIC_ASSERT(offsetof(VstSpeakerProperties, future) == 84, "speaker future");
KAVRO_STATIC_ASSERT(sizeof(VstSpeakerArrangement) == 8, "arrangement header size");
KAVRO_STATIC_ASSERT(offsetof(VstSpeakerArrangement, numChannels) == 4, "numChannels");

/* Key record handed to an editor for effEditKeyDown and effEditKeyUp. */
typedef struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;
    unsigned char modifier;
} VstKeyCode;

KAVRO_STATIC_ASSERT(sizeof(VstKeyCode) == 8, "VstKeyCode size");
KAVRO_STATIC_ASSERT(offsetof(VstKeyCode, virt) == 4, "virt");
KAVRO_STATIC_ASSERT(offsetof(VstKeyCode, modifier) == 5, "modifier");

/* The entry point a host looks up (also exported as "main"). */
typedef AEffect*(VSTCALLBACK* VstPluginMainProc)(audioMasterCallback host);

#ifdef __cplusplus
} /* extern "C" */

/* The same packing as KAVRO_FOURCC, usable in C++ constant expressions from
 * a four-character literal: fourCharCode("QKvr"). */
constexpr VstInt32 fourCharCode(const char (&code)[5]) {
    return KAVRO_FOURCC(code[0], code[1], code[2], code[3]);
}
#endif

#endif /* KAVRO_VST_INTERFACE_H */
