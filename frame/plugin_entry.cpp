// The module entry point, exported as VSTPluginMain and as main.
// Built apart from the frame library (an OBJECT library linked only into
// plug-in modules), since it defines a symbol named main.
#include "EffectBase.h"
#include "vst_interface.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

extern "C" KAVRO_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) noexcept {
    // Without a callback there is no host to probe: nothing is created.
    if (host == nullptr) {
        return nullptr;
    }
    // Version probe: only a zero answer matters; the answer is not kept.
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    EffectBase* effect = createEffect(host);
    if (effect == nullptr) {
        return nullptr;
    }
    return effect->getDescriptor();
}

#if defined(_WIN32)

// Windows: exports.def exports the entry a second time as main. The load and
// unload notifications keep nothing and answer success.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}

#elif defined(__ELF__)

// ELF: a second name for the very same function. C++ forbids a function of
// its own called main with this signature, so the name comes from the
// assembler label; the alias makes both names one address.
extern "C" KAVRO_EXPORT AEffect* VSTCALLBACK kavroMainAlias(audioMasterCallback host) noexcept
    __asm__("main") __attribute__((alias("VSTPluginMain")));

#else
#error "the second export name main is provided for ELF and Windows only"
#endif
