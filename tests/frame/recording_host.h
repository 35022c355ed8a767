// A host callback for the frame's tests: it records every request and
// answers with a value the test sets.
#pragma once

#include <vector>

#include "vst_interface.h"

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

struct RecordingHost {
    std::vector<HostCall> calls;
    VstIntPtr answer = 0;
};

// The one recorder the callback writes to; tests reset it.
RecordingHost& recordingHost();

VstIntPtr VSTCALLBACK recordingCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt);
