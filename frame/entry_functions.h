// The six descriptor entry functions. Each reads the effect object
// from the record's `object` field and forwards to its virtual operation; they
// keep no state and check nothing. The base constructor stores them in the
// record.
#pragma once

#include "vst_interface.h"

extern "C" {

// Forwards to dispatcher; for effClose it dispatches, then deletes the object
// through its virtual destructor and answers 1 (the record is gone after it).
VstIntPtr VSTCALLBACK dispatcherEntry(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt) noexcept;
void VSTCALLBACK processEntry(AEffect* effect, float** inputs, float** outputs,
                              VstInt32 sampleFrames) noexcept;
void VSTCALLBACK setParameterEntry(AEffect* effect, VstInt32 index, float value) noexcept;
float VSTCALLBACK getParameterEntry(AEffect* effect, VstInt32 index) noexcept;
void VSTCALLBACK processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                       VstInt32 sampleFrames) noexcept;
void VSTCALLBACK processDoubleReplacingEntry(AEffect* effect, double** inputs, double** outputs,
                                             VstInt32 sampleFrames) noexcept;

}  // extern "C"
