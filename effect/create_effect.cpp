// The creation hook the module entry calls.
#include <new>

#include "EffectBase.h"
#include "VarispeedEffect.h"

// Null when the object cannot be allocated (nothing is constructed), and null
// when either ring cannot be: the half-built object is destroyed
// here and never handed out.
EffectBase* createEffect(audioMasterCallback hostCallback) noexcept {
    auto* effect = new (std::nothrow) VarispeedEffect(hostCallback);
    if (effect == nullptr) {
        return nullptr;
    }
    if (!effect->ringsAllocated()) {
        delete effect;
        return nullptr;
    }
    return effect;
}
