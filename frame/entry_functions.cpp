#include "entry_functions.h"

#include "EffectBase.h"

namespace {

EffectBase* objectOf(AEffect* effect) noexcept {
    return static_cast<EffectBase*>(effect->object);
}

}  // namespace

extern "C" {

VstIntPtr VSTCALLBACK dispatcherEntry(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt) noexcept {
    EffectBase* object = objectOf(effect);
    if (opcode != effClose) {
        return object->dispatcher(opcode, index, value, ptr, opt);
    }
    // Close rule: dispatch, drop the answer, destroy the object (and with it
    // the record), answer 1.
    static_cast<void>(object->dispatcher(opcode, index, value, ptr, opt));
    delete object;
    return 1;
}

void VSTCALLBACK processEntry(AEffect* effect, float** inputs, float** outputs,
                              VstInt32 sampleFrames) noexcept {
    objectOf(effect)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK setParameterEntry(AEffect* effect, VstInt32 index, float value) noexcept {
    objectOf(effect)->setParameter(index, value);
}

float VSTCALLBACK getParameterEntry(AEffect* effect, VstInt32 index) noexcept {
    return objectOf(effect)->getParameter(index);
}

void VSTCALLBACK processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                       VstInt32 sampleFrames) noexcept {
    objectOf(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processDoubleReplacingEntry(AEffect* effect, double** inputs, double** outputs,
                                             VstInt32 sampleFrames) noexcept {
    objectOf(effect)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

}  // extern "C"
