// The built plug-in module Kavro.so as a host sees it: loaded with dlopen,
// created through its entry point, driven only through the record's function
// pointers (the entry point, the record and the identification opcodes).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "vst_interface.h"

#ifndef KAVRO_PLUGIN_PATH
#error "KAVRO_PLUGIN_PATH must name the built plug-in module"
#endif

namespace {

VstIntPtr VSTCALLBACK versionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class KavroPlugin : public ::testing::Test {
  protected:
    void SetUp() override {
        module = dlopen(KAVRO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        entry = reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        effect = entry(versionHost);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect != nullptr) {
            EXPECT_EQ(dispatch(effClose), 1);
        }
        if (module != nullptr) {
            dlclose(module);
        }
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    // The text an opcode writes into a buffer of `size` bytes that starts as
    // '#' everywhere; the whole buffer is returned so that the bytes written
    // (and those left alone) can be checked.
    std::string textOf(VstInt32 opcode, VstInt32 index, std::size_t size = 80,
                       VstIntPtr* answer = nullptr) {
        std::vector<char> buffer(size, '#');
        const VstIntPtr result = dispatch(opcode, index, 0, buffer.data());
        if (answer != nullptr) {
            *answer = result;
        }
        return std::string(buffer.begin(), buffer.end());
    }

    std::string display(VstInt32 index, float value) {
        effect->setParameter(effect, index, value);
        return cString(textOf(effGetParamDisplay, index));
    }

    static std::string cString(const std::string& buffer) { return buffer.c_str(); }

    // A bounded text of bound 8: the text, zero bytes up to index 8, then the
    // untouched rest of the buffer.
    static std::string bounded8(const std::string& text, std::size_t size = 80) {
        std::string expected = text;
        expected.resize(9, '\0');
        expected.resize(size, '#');
        return expected;
    }

    void* module = nullptr;
    VstPluginMainProc entry = nullptr;
    AEffect* effect = nullptr;
};

TEST_F(KavroPlugin, BothEntryNamesAreExportedAndLeadToTheSameFunction) {
    void* mainEntry = dlsym(module, "main");
    ASSERT_NE(mainEntry, nullptr);
    EXPECT_EQ(mainEntry, reinterpret_cast<void*>(entry));
    EXPECT_EQ(dlsym(module, "createEffect"), nullptr);
}

TEST_F(KavroPlugin, DescriptorFieldsFromTheEntryPointsRecord) {
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->uniqueID, 0x514B7672);  // 'QKvr'
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->numPrograms, 1);
    EXPECT_EQ(effect->numParams, 2);
    EXPECT_EQ(effect->flags, 0x1010);  // can-replacing and can-double-replacing
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->version, 1);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->processDoubleReplacing, nullptr);
}

TEST_F(KavroPlugin, LengthDisplayTable) {
    EXPECT_EQ(display(1, 0.125f), "4608");
    EXPECT_EQ(display(1, 0.0f), "512");
    EXPECT_EQ(display(1, 0.015624999f), "512");
    EXPECT_EQ(display(1, 0.015625f), "1024");
    EXPECT_EQ(display(1, 1.0f), "33280");
    EXPECT_EQ(display(1, 0.5f), "16896");
    EXPECT_EQ(display(1, -0.5f), "-15872");  // N = -31
}

TEST_F(KavroPlugin, LengthDisplayOfFreshEffectAndOfOutOfRangeValues) {
    EXPECT_EQ(cString(textOf(effGetParamDisplay, 1)), "4608");
    EXPECT_EQ(display(1, 1.0e12f), "Huge!");      // saturated, not wrapped
    EXPECT_EQ(display(1, -1.0e12f), "-9999999");  // saturated at -999999999, cut to 8
    EXPECT_EQ(display(1, std::numeric_limits<float>::quiet_NaN()),
              "512");  // NaN length taken as 0.0
}

TEST_F(KavroPlugin, SpeedDisplayTexts) {
    EXPECT_EQ(cString(textOf(effGetParamDisplay, 0)), "1.000000");
    EXPECT_EQ(display(0, 0.5f), "0.500000");
    EXPECT_EQ(display(0, 0.0f), "0.000000");
    EXPECT_EQ(display(0, 0.7f), "0.699999");
    EXPECT_EQ(display(0, 1.5f), "1.500000");
    EXPECT_EQ(display(0, 0.125f), "0.125000");
}

TEST_F(KavroPlugin, NamesAndLabelsWithTheirTrailingSpaces) {
    VstIntPtr answer = -1;
    EXPECT_EQ(textOf(effGetParamName, 0, 80, &answer), bounded8("SPEED x "));
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(textOf(effGetParamName, 1), bounded8("LENGTH "));
    EXPECT_EQ(textOf(effGetParamLabel, 0), bounded8(" "));
    EXPECT_EQ(textOf(effGetParamLabel, 1), bounded8("samples"));
    const std::string display = textOf(effGetParamDisplay, 0);
    EXPECT_EQ(display, bounded8("1.000000"));
}

TEST_F(KavroPlugin, IndexTwoIsIgnored) {
    const std::string untouched(80, '#');
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
        VstIntPtr answer = -1;
        EXPECT_EQ(textOf(opcode, 2, 80, &answer), untouched) << "opcode " << opcode;
        EXPECT_EQ(answer, 0);
    }
    effect->setParameter(effect, 2, 0.3f);
    EXPECT_EQ(effect->getParameter(effect, 2), 0.0f);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.125f);
}

TEST_F(KavroPlugin, ParametersAreStoredUnclamped) {
    effect->setParameter(effect, 0, 1.5f);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.5f);
    effect->setParameter(effect, 1, 0.25f);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.25f);
}

TEST_F(KavroPlugin, ProgramNameIsDefaultAndCutAt24) {
    EXPECT_EQ(cString(textOf(effGetProgramName, 0)), "Default");
    char longName[] = "abcdefghijklmnopqrstuvwxyz1234";  // 30 characters
    EXPECT_EQ(dispatch(effSetProgramName, 0, 0, longName), 0);
    const std::string text = textOf(effGetProgramName, 0);
    EXPECT_EQ(text.substr(0, 25), std::string("abcdefghijklmnopqrstuvwx") + '\0');
    EXPECT_EQ(text.substr(25), std::string(55, '#'));
}

TEST_F(KavroPlugin, IdentificationOpcodes) {
    VstIntPtr answer = 0;
    std::string text = textOf(effGetEffectName, 0, 80, &answer);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(cString(text), "Kavro");
    EXPECT_EQ(text[32], '\0');
    EXPECT_EQ(text[33], '#');
    text = textOf(effGetVendorString, 0, 80, &answer);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(cString(text), "Quorla");
    EXPECT_EQ(text[64], '\0');
    EXPECT_EQ(text[65], '#');
    text = textOf(effGetProductString, 0, 80, &answer);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(cString(text), "Kavro");
    EXPECT_EQ(text[64], '\0');
    EXPECT_EQ(dispatch(effGetVendorVersion), 1001);
}

TEST_F(KavroPlugin, BothProcessingEntriesDelayBy257FramesThroughTheRecord) {
    std::vector<double> dl(600), dr(600), odl(600), odr(600);
    for (int i = 0; i < 600; ++i) {
        dl[i] = 0.001 * (i + 1);
        dr[i] = -0.001 * (i + 1);
    }
    double* din[2] = {dl.data(), dr.data()};
    double* dout[2] = {odl.data(), odr.data()};
    effect->processDoubleReplacing(effect, din, dout, 600);
    for (int k = 0; k < 600; ++k) {
        ASSERT_EQ(odl[k], k < 257 ? 0.0 : dl[k - 257]) << k;
        ASSERT_EQ(odr[k], k < 257 ? 0.0 : dr[k - 257]) << k;
    }
    // The single-precision entry continues on the same state.
    std::vector<float> fl(10, 0.5f), fr(10, -0.5f), ofl(10, 7.0f), ofr(10, 7.0f);
    float* fin[2] = {fl.data(), fr.data()};
    float* fout[2] = {ofl.data(), ofr.data()};
    effect->processReplacing(effect, fin, fout, 10);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(ofl[k], static_cast<float>(dl[600 - 257 + k])) << k;
        EXPECT_EQ(ofr[k], static_cast<float>(dr[600 - 257 + k])) << k;
    }
    // Null channel pointers: nothing read or written, no fault.
    double* none[2] = {nullptr, nullptr};
    effect->processDoubleReplacing(effect, none, none, 64);
    effect->processReplacing(effect, nullptr, nullptr, 64);
}

TEST_F(KavroPlugin, TwoInstancesShareNothing) {
    AEffect* other = entry(versionHost);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other->object, effect->object);
    other->setParameter(other, 0, 0.25f);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
    EXPECT_EQ(other->dispatcher(other, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(effect->getParameter(effect, 0), 1.0f);
}

}  // namespace
