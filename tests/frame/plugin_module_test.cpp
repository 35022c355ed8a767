// The entry rules through the real exported symbols of a built plug-in
// module, loaded with dlopen as a host does. The module's effect announces
// its construction (audioMasterCurrentId) and destruction (audioMasterIdle)
// through the callback; everything else of the module is hidden.
#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "vst_interface.h"

#ifndef KAVRO_TEST_PLUGIN_PATH
#error "KAVRO_TEST_PLUGIN_PATH must name the test plug-in module"
#endif

namespace {

// The platform's module loader: dlopen, or LoadLibrary on Windows.
#ifdef _WIN32
void* loadModule(const char* path) {
    return reinterpret_cast<void*>(LoadLibraryA(path));
}
void* findSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void unloadModule(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}
std::string loadError() {
    return "LoadLibrary error " + std::to_string(GetLastError());
}
#else
void* loadModule(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
void* findSymbol(void* module, const char* name) {
    return dlsym(module, name);
}
void unloadModule(void* module) {
    dlclose(module);
}
std::string loadError() {
    const char* error = dlerror();
    return error != nullptr ? error : "";
}
#endif

struct Event {
    AEffect* effect;
    VstInt32 opcode;
};

struct Host {
    VstIntPtr probeAnswer = kVstVersion;
    std::vector<Event> events;
    int probes = 0;

    int count(VstInt32 opcode, AEffect* effect = nullptr) const {
        int n = 0;
        for (const Event& event : events) {
            if (event.opcode == opcode && (effect == nullptr || event.effect == effect)) {
                ++n;
            }
        }
        return n;
    }
    int created() const { return count(audioMasterCurrentId); }
    int destroyed(AEffect* effect = nullptr) const { return count(audioMasterIdle, effect); }
};

Host host;

VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt) {
    if (effect == nullptr && opcode == audioMasterVersion) {
        EXPECT_EQ(index, 0);
        EXPECT_EQ(value, 0);
        EXPECT_EQ(ptr, nullptr);
        EXPECT_EQ(opt, 0.0f);
        ++host.probes;
        return host.probeAnswer;
    }
    host.events.push_back(Event{effect, opcode});
    return 0;
}

class PluginModule : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        module = loadModule(KAVRO_TEST_PLUGIN_PATH);
        ASSERT_NE(module, nullptr) << loadError();
        pluginMain = reinterpret_cast<VstPluginMainProc>(findSymbol(module, "VSTPluginMain"));
        mainName = reinterpret_cast<VstPluginMainProc>(findSymbol(module, "main"));
    }
    static void TearDownTestSuite() {
        if (module != nullptr) {
            unloadModule(module);
            module = nullptr;
        }
    }
    void SetUp() override {
        ASSERT_NE(module, nullptr);
        ASSERT_NE(pluginMain, nullptr);
        host = Host{};
    }

    static VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0,
                              VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    static void* module;
    static VstPluginMainProc pluginMain;
    static VstPluginMainProc mainName;
};

void* PluginModule::module = nullptr;
VstPluginMainProc PluginModule::pluginMain = nullptr;
VstPluginMainProc PluginModule::mainName = nullptr;

void expectFreshRecord(const AEffect* effect) {
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, 0x56737450);
    const void* functions[] = {
        reinterpret_cast<const void*>(effect->dispatcher),
        reinterpret_cast<const void*>(effect->process),
        reinterpret_cast<const void*>(effect->setParameter),
        reinterpret_cast<const void*>(effect->getParameter),
        reinterpret_cast<const void*>(effect->processReplacing),
        reinterpret_cast<const void*>(effect->processDoubleReplacing),
    };
    std::set<const void*> distinct;
    for (const void* function : functions) {
        EXPECT_NE(function, nullptr);
        distinct.insert(function);
    }
    EXPECT_EQ(distinct.size(), 6u);
    EXPECT_EQ(effect->numPrograms, 4);
    EXPECT_EQ(effect->numParams, 2);
    EXPECT_EQ(effect->numInputs, 1);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, 0x10);
    EXPECT_EQ(effect->resvd1, 0);
    EXPECT_EQ(effect->resvd2, 0);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_EQ(effect->uniqueID, 0x4E6F4566);
    EXPECT_EQ(effect->version, 1);
    for (std::size_t i = 0; i < sizeof(effect->future); ++i) {
        EXPECT_EQ(effect->future[i], 0) << i;
    }
}

}  // namespace

TEST_F(PluginModule, ExportsBothNames) {
    ASSERT_NE(mainName, nullptr);
    // main is VSTPluginMain under a second name (an ELF alias, or the
    // main=VSTPluginMain line of exports.def): one function, two names.
    EXPECT_EQ(reinterpret_cast<void*>(mainName), reinterpret_cast<void*>(pluginMain));
}

TEST_F(PluginModule, NullCallbackGivesNull) {
    EXPECT_EQ(pluginMain(nullptr), nullptr);
    EXPECT_EQ(host.created(), 0);
}

TEST_F(PluginModule, ProbeAnsweredZeroGivesNullAndCreatesNothing) {
    host.probeAnswer = 0;
    EXPECT_EQ(pluginMain(hostCallback), nullptr);
    EXPECT_EQ(host.probes, 1);
    EXPECT_EQ(host.created(), 0);
    EXPECT_TRUE(host.events.empty());
}

TEST_F(PluginModule, AnyNonZeroProbeCreates) {
    for (VstIntPtr answer : {VstIntPtr{1}, VstIntPtr{2400}, VstIntPtr{-1}, VstIntPtr{7}}) {
        host = Host{};
        host.probeAnswer = answer;
        AEffect* effect = pluginMain(hostCallback);
        ASSERT_NE(effect, nullptr) << answer;
        EXPECT_EQ(host.probes, 1);
        EXPECT_EQ(host.created(), 1);
        // The creation announcement comes from the new record.
        EXPECT_EQ(host.events.front().effect, effect);
        EXPECT_EQ(dispatch(effect, effClose), 1);
        EXPECT_EQ(host.destroyed(effect), 1);
    }
}

TEST_F(PluginModule, FreshRecordFields) {
    AEffect* effect = pluginMain(hostCallback);
    expectFreshRecord(effect);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST_F(PluginModule, MainBehavesAsVSTPluginMain) {
    ASSERT_NE(mainName, nullptr);
    host.probeAnswer = 0;
    EXPECT_EQ(mainName(hostCallback), nullptr);
    EXPECT_EQ(host.created(), 0);
    host.probeAnswer = 2400;
    AEffect* effect = mainName(hostCallback);
    expectFreshRecord(effect);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(host.created(), 1);
    EXPECT_EQ(dispatch(effect, effClose), 1);
    EXPECT_EQ(host.destroyed(effect), 1);
}

TEST_F(PluginModule, CloseAnswersOneAndDestroysExactlyOnce) {
    AEffect* effect = pluginMain(hostCallback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(host.destroyed(), 0);
    // Other opcodes pass the effect's answers through.
    EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(effect, 80), 0);
    EXPECT_EQ(dispatch(effect, effOpen), 0);
    EXPECT_EQ(host.destroyed(), 0);
    EXPECT_EQ(dispatch(effect, effClose), 1);
    EXPECT_EQ(host.destroyed(), 1);
    EXPECT_EQ(host.destroyed(effect), 1);
    EXPECT_EQ(host.created(), 1);
}

TEST_F(PluginModule, TwoInstancesAreIndependent) {
    AEffect* first = pluginMain(hostCallback);
    AEffect* second = pluginMain(hostCallback);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->object, second->object);
    EXPECT_EQ(host.created(), 2);

    first->setParameter(first, 0, 0.125f);
    second->setParameter(second, 0, 0.7f);
    EXPECT_EQ(first->getParameter(first, 0), 0.125f);
    EXPECT_EQ(second->getParameter(second, 0), 0.7f);
    EXPECT_EQ(dispatch(first, effSetProgram, 0, 3), 0);
    EXPECT_EQ(dispatch(first, effGetProgram), 3);
    EXPECT_EQ(dispatch(second, effGetProgram), 0);
    EXPECT_EQ(dispatch(first, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);

    char text[kParamTextBound + 1];
    EXPECT_EQ(dispatch(first, effGetParamDisplay, 0, 0, text), 0);
    EXPECT_STREQ(text, "0.125000");
    EXPECT_EQ(dispatch(second, effGetParamDisplay, 0, 0, text), 0);
    EXPECT_STREQ(text, "0.699999");

    // Closing one leaves the other working.
    EXPECT_EQ(dispatch(first, effClose), 1);
    EXPECT_EQ(host.destroyed(first), 1);
    EXPECT_EQ(host.destroyed(second), 0);
    EXPECT_EQ(second->getParameter(second, 0), 0.7f);
    EXPECT_EQ(dispatch(second, effGetProgram), 0);
    float in[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    float out[4] = {};
    float* inputs[2] = {in, in};
    float* outputs[2] = {out, out};
    second->processReplacing(second, inputs, outputs, 4);
    EXPECT_EQ(out[0], 1.0f);  // the test effect's mark
    EXPECT_EQ(dispatch(second, effClose), 1);
    EXPECT_EQ(host.destroyed(second), 1);
    EXPECT_EQ(host.destroyed(), 2);
}
