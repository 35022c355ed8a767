// EffectBase (construction, destruction, setters, defaults, host requests) and
// the entry functions, tested in-process against the frame library.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "entry_functions.h"
#include "recording_host.h"
#include "test_effect.h"

using Calls = std::vector<std::string>;

class BaseEffect : public ::testing::Test {
  protected:
    void SetUp() override { recordingHost() = RecordingHost{}; }
};

TEST_F(BaseEffect, ConstructionValues) {
    TestEffect effect(recordingCallback, 1, 2);
    const AEffect& d = *effect.getDescriptor();
    EXPECT_EQ(d.magic, 0x56737450);
    EXPECT_EQ(d.dispatcher, &dispatcherEntry);
    EXPECT_EQ(d.process, &processEntry);
    EXPECT_EQ(d.setParameter, &setParameterEntry);
    EXPECT_EQ(d.getParameter, &getParameterEntry);
    EXPECT_EQ(d.processReplacing, &processReplacingEntry);
    EXPECT_EQ(d.processDoubleReplacing, &processDoubleReplacingEntry);
    EXPECT_EQ(d.numPrograms, 1);
    EXPECT_EQ(d.numParams, 2);
    EXPECT_EQ(d.numInputs, 1);
    EXPECT_EQ(d.numOutputs, 2);
    EXPECT_EQ(d.flags, 0x10);
    EXPECT_EQ(d.resvd1, 0);
    EXPECT_EQ(d.resvd2, 0);
    EXPECT_EQ(d.initialDelay, 0);
    EXPECT_EQ(d.realQualities, 0);
    EXPECT_EQ(d.offQualities, 0);
    EXPECT_EQ(d.ioRatio, 1.0f);
    EXPECT_EQ(d.object, static_cast<EffectBase*>(&effect));
    EXPECT_EQ(d.user, nullptr);
    EXPECT_EQ(d.uniqueID, 0x4E6F4566);
    EXPECT_EQ(d.version, 1);
    for (char byte : d.future) {
        EXPECT_EQ(byte, 0);
    }
    // Alignment gaps of the 8-byte-pointer form hold zero too.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&d);
    for (std::size_t i = sizeof(d.magic); i < offsetof(AEffect, dispatcher); ++i) {
        EXPECT_EQ(bytes[i], 0u) << i;
    }
    for (std::size_t i = offsetof(AEffect, flags) + sizeof(d.flags); i < offsetof(AEffect, resvd1);
         ++i) {
        EXPECT_EQ(bytes[i], 0u) << i;
    }

    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_EQ(effect.getEditor(), nullptr);
    EXPECT_EQ(effect.callbackMember(), &recordingCallback);
    EXPECT_EQ(effect.numProgramsMember(), 1);
    EXPECT_EQ(effect.currentProgramMember(), 0);
    // The constructor sends nothing to the host.
    EXPECT_TRUE(recordingHost().calls.empty());
}

TEST_F(BaseEffect, ConstructionAcceptsANullCallback) {
    TestEffect effect(nullptr, 0, 0);
    EXPECT_EQ(effect.callbackMember(), nullptr);
    EXPECT_EQ(effect.getDescriptor()->numPrograms, 0);
    EXPECT_EQ(effect.getDescriptor()->numParams, 0);
    EXPECT_EQ(effect.getDescriptor()->object, static_cast<EffectBase*>(&effect));
}

TEST_F(BaseEffect, DescriptorAddressNeverChanges) {
    TestEffect effect;
    AEffect* first = effect.getDescriptor();
    effect.setUniqueID(5);
    effect.setSampleRate(1.0f);
    EXPECT_EQ(effect.getDescriptor(), first);
}

using FlagSetter = void (EffectBase::*)(bool) noexcept;

struct FlagCase {
    const char* name;
    FlagSetter setter;
    std::int32_t mask;
};

TEST_F(BaseEffect, FlagSettersChangeOnlyTheirOwnBit) {
    const FlagCase cases[] = {
        {"setFlagHasClip", &EffectBase::setFlagHasClip, 0x0002},
        {"setFlagHasVu", &EffectBase::setFlagHasVu, 0x0004},
        {"setFlagCanMono", &EffectBase::setFlagCanMono, 0x0008},
        {"setFlagCanReplacing", &EffectBase::setFlagCanReplacing, 0x0010},
        {"setFlagProgramChunks", &EffectBase::setFlagProgramChunks, 0x0020},
        {"setFlagCanDoubleReplacing", &EffectBase::setFlagCanDoubleReplacing, 0x1000},
    };
    const std::uint32_t starts[] = {0x00000000u, 0xFFFFFFFFu, 0x55555555u, 0xAAAAAAAAu,
                                    0x00000010u, 0x80000001u, 0x12345678u, 0xFFFFEFEDu};
    for (const FlagCase& flag : cases) {
        for (std::uint32_t start : starts) {
            for (bool state : {true, false}) {
                TestEffect effect;
                AEffect* d = effect.getDescriptor();
                d->flags = static_cast<std::int32_t>(start);
                (effect.*flag.setter)(state);
                const std::uint32_t mask = static_cast<std::uint32_t>(flag.mask);
                const std::uint32_t expected = state ? (start | mask) : (start & ~mask);
                EXPECT_EQ(static_cast<std::uint32_t>(d->flags), expected)
                    << flag.name << "(" << state << ") from 0x" << std::hex << start;
            }
        }
    }
}

TEST_F(BaseEffect, FlagHasVuSetsAndClearsBitTwo) {
    TestEffect effect;
    effect.setFlagHasVu(true);
    EXPECT_EQ(effect.getDescriptor()->flags, 0x14);
    effect.setFlagHasVu(false);
    EXPECT_EQ(effect.getDescriptor()->flags, 0x10);
}

TEST_F(BaseEffect, DescriptorSettersWriteTheirFieldOnly) {
    TestEffect effect(recordingCallback);
    AEffect before = *effect.getDescriptor();
    effect.setUniqueID(0x514B7672);
    effect.setNumInputs(2);
    effect.setNumOutputs(6);
    effect.setInitialDelay(257);
    effect.setRealQualities(3);
    effect.setOffQualities(4);
    before.uniqueID = 0x514B7672;
    before.numInputs = 2;
    before.numOutputs = 6;
    before.initialDelay = 257;
    before.realQualities = 3;
    before.offQualities = 4;
    EXPECT_EQ(std::memcmp(&before, effect.getDescriptor(), sizeof(AEffect)), 0);
    // None of them tells the host.
    EXPECT_TRUE(recordingHost().calls.empty());
}

TEST_F(BaseEffect, SampleRateAndBlockSize) {
    TestEffect effect;
    effect.EffectBase::setSampleRate(48000.0f);
    effect.EffectBase::setBlockSize(64);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    EXPECT_EQ(effect.getBlockSize(), 64);
}

TEST_F(BaseEffect, DefaultsAnswerZero) {
    TestEffect effect;
    EXPECT_EQ(effect.EffectBase::getParameter(0), 0.0f);
    EXPECT_EQ(effect.EffectBase::getVu(), 0.0f);
    void* data = &effect;
    EXPECT_EQ(effect.EffectBase::getChunk(&data, true), 0);
    EXPECT_EQ(data, &effect);  // nothing stored
    EXPECT_EQ(effect.EffectBase::setChunk(&data, 4, false), 0);
    effect.EffectBase::setProgram(7);
    EXPECT_EQ(effect.EffectBase::getProgram(), 7);
}

TEST_F(BaseEffect, TextDefaultsWriteOneZeroByteAndNothingElse) {
    using TextDefault = void (*)(TestEffect&, char*);
    const TextDefault defaults[] = {
        [](TestEffect& e, char* t) { e.EffectBase::getProgramName(t); },
        [](TestEffect& e, char* t) { e.EffectBase::getParamLabel(3, t); },
        [](TestEffect& e, char* t) { e.EffectBase::getParamDisplay(-1, t); },
        [](TestEffect& e, char* t) { e.EffectBase::getParamName(1000, t); },
    };
    for (TextDefault call : defaults) {
        TestEffect effect;
        char buffer[16];
        std::memset(buffer, 'x', sizeof(buffer));
        call(effect, buffer);
        EXPECT_EQ(buffer[0], '\0');
        for (std::size_t i = 1; i < sizeof(buffer); ++i) {
            EXPECT_EQ(buffer[i], 'x') << i;
        }
        call(effect, nullptr);  // a null text is left alone
    }
    TestEffect effect;
    effect.EffectBase::setProgramName(nullptr);
    effect.EffectBase::setProgramName("name");
}

TEST_F(BaseEffect, DestructorDeletesTheEditor) {
    Calls log;
    int destructions = 0;
    {
        TestEffect effect;
        effect.destructions = &destructions;
        effect.attachEditor(new TestEditor(&log));
        EXPECT_NE(effect.getEditor(), nullptr);
    }
    EXPECT_EQ(log, Calls{"editor ~"});
    EXPECT_EQ(destructions, 1);
}

// Host requests.

TEST_F(BaseEffect, HostVersion) {
    TestEffect none(nullptr);
    EXPECT_EQ(none.hostVersion(), 1);

    TestEffect effect(recordingCallback);
    recordingHost().answer = 0;
    EXPECT_EQ(effect.hostVersion(), 1);
    recordingHost().answer = 2400;
    EXPECT_EQ(effect.hostVersion(), 2400);
    ASSERT_EQ(recordingHost().calls.size(), 2u);
    for (const HostCall& call : recordingHost().calls) {
        EXPECT_EQ(call.effect, effect.getDescriptor());
        EXPECT_EQ(call.opcode, audioMasterVersion);
        EXPECT_EQ(call.index, 0);
        EXPECT_EQ(call.value, 0);
        EXPECT_EQ(call.ptr, nullptr);
        EXPECT_EQ(call.opt, 0.0f);
    }
}

TEST_F(BaseEffect, HostCurrentId) {
    TestEffect none(nullptr);
    EXPECT_EQ(none.hostCurrentId(), 0);

    TestEffect effect(recordingCallback);
    recordingHost().answer = 0x51;
    EXPECT_EQ(effect.hostCurrentId(), 0x51);
    recordingHost().answer = 0;
    EXPECT_EQ(effect.hostCurrentId(), 0);
    ASSERT_EQ(recordingHost().calls.size(), 2u);
    EXPECT_EQ(recordingHost().calls[0].effect, effect.getDescriptor());
    EXPECT_EQ(recordingHost().calls[0].opcode, audioMasterCurrentId);
    EXPECT_EQ(recordingHost().calls[0].index, 0);
    EXPECT_EQ(recordingHost().calls[0].value, 0);
    EXPECT_EQ(recordingHost().calls[0].ptr, nullptr);
}

TEST_F(BaseEffect, HostIdle) {
    TestEffect none(nullptr);
    none.hostIdle();

    TestEffect effect(recordingCallback);
    recordingHost().answer = 5;
    effect.hostIdle();
    ASSERT_EQ(recordingHost().calls.size(), 1u);
    EXPECT_EQ(recordingHost().calls[0].effect, effect.getDescriptor());
    EXPECT_EQ(recordingHost().calls[0].opcode, audioMasterIdle);
    EXPECT_EQ(recordingHost().calls[0].ptr, nullptr);
}

TEST_F(BaseEffect, HostPinConnected) {
    TestEffect none(nullptr);
    EXPECT_TRUE(none.hostInputConnected(0));
    EXPECT_TRUE(none.hostOutputConnected(1));

    TestEffect effect(recordingCallback);
    recordingHost().answer = 0;
    EXPECT_TRUE(effect.hostInputConnected(3));
    EXPECT_TRUE(effect.hostOutputConnected(4));
    recordingHost().answer = 1;
    EXPECT_FALSE(effect.hostInputConnected(5));
    EXPECT_FALSE(effect.hostOutputConnected(6));
    const auto& calls = recordingHost().calls;
    ASSERT_EQ(calls.size(), 4u);
    const VstInt32 indexes[] = {3, 4, 5, 6};
    const VstIntPtr values[] = {0, 1, 0, 1};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[i].effect, effect.getDescriptor());
        EXPECT_EQ(calls[i].opcode, audioMasterPinConnected);
        EXPECT_EQ(calls[i].index, indexes[i]);
        EXPECT_EQ(calls[i].value, values[i]);
        EXPECT_EQ(calls[i].ptr, nullptr);
        EXPECT_EQ(calls[i].opt, 0.0f);
    }
}

TEST_F(BaseEffect, SetParameterAutomatedSetsThenTellsTheHost) {
    TestEffect none(nullptr);
    none.setParameterAutomated(1, 0.25f);
    EXPECT_EQ(none.calls, Calls{"setParameter(1,0.25)"});

    // The callback sees the parameter already set.
    static TestEffect* watched = nullptr;
    static float seen = -1.0f;
    TestEffect effect(
        [](AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
            seen = watched->parameters[1];
            return recordingCallback(e, opcode, index, value, ptr, opt);
        });
    watched = &effect;
    effect.setParameterAutomated(1, 0.75f);
    EXPECT_EQ(effect.calls, Calls{"setParameter(1,0.75)"});
    EXPECT_EQ(seen, 0.75f);
    ASSERT_EQ(recordingHost().calls.size(), 1u);
    const HostCall& call = recordingHost().calls[0];
    EXPECT_EQ(call.effect, effect.getDescriptor());
    EXPECT_EQ(call.opcode, audioMasterAutomate);
    EXPECT_EQ(call.index, 1);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, 0.75f);
}

// Entry functions, in-process.

TEST_F(BaseEffect, EntryFunctionsForwardToTheObject) {
    auto* effect = new TestEffect(recordingCallback);
    int destructions = 0;
    effect->destructions = &destructions;
    AEffect* d = effect->getDescriptor();

    float in0[2] = {0.0f, 0.0f};
    float out0[2] = {0.0f, 0.0f};
    float* inputs[1] = {in0};
    float* outputs[1] = {out0};
    d->processReplacing(d, inputs, outputs, 2);
    EXPECT_EQ(out0[0], 1.0f);
    d->process(d, inputs, outputs, 2);
    EXPECT_EQ(out0[0], 4.0f);
    double din[2] = {0.0, 0.0};
    double dout[2] = {0.0, 0.0};
    double* dinputs[1] = {din};
    double* doutputs[1] = {dout};
    d->processDoubleReplacing(d, dinputs, doutputs, 2);
    EXPECT_EQ(dout[0], 2.0);
    EXPECT_EQ(effect->lastPtr, dinputs);
    d->setParameter(d, 1, 0.5f);
    EXPECT_EQ(d->getParameter(d, 1), 0.5f);
    EXPECT_EQ(d->dispatcher(d, effGetProgram, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(d->dispatcher(d, effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    EXPECT_EQ(d->dispatcher(d, 80, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->calls,
              (Calls{"processReplacing(2)", "process(2)", "processDoubleReplacing(2)",
                     "setParameter(1,0.5)", "getParameter(1)", "getProgram()"}));
    EXPECT_EQ(destructions, 0);

    EXPECT_EQ(d->dispatcher(d, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(destructions, 1);
    EXPECT_TRUE(recordingHost().calls.empty());
}

// dispatcherEntry passes the effect's own answers through unchanged.
class AnsweringEffect : public TestEffect {
  public:
    // Copies the record of calls out as the object goes.
    ~AnsweringEffect() override {
        if (finalCalls != nullptr) {
            *finalCalls = calls;
        }
    }
    VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                         float opt) noexcept override {
        calls.push_back("dispatcher(" + std::to_string(opcode) + "," + std::to_string(index) + "," +
                        std::to_string(value) + "," + formatFloat(opt) + ")");
        lastPtr = ptr;
        return answer;
    }
    VstIntPtr answer = 0;
    Calls* finalCalls = nullptr;
};

TEST_F(BaseEffect, DispatcherEntryCloseRule) {
    auto* effect = new AnsweringEffect;
    int destructions = 0;
    effect->destructions = &destructions;
    AEffect* d = effect->getDescriptor();
    char buffer[4];

    effect->answer = -12345;
    EXPECT_EQ(dispatcherEntry(d, 7, 3, 99, buffer, 0.5f), -12345);
    EXPECT_EQ(effect->lastPtr, buffer);
    effect->answer = 0;
    EXPECT_EQ(dispatcherEntry(d, -1, 0, 0, nullptr, 0.0f), 0);

    // Close: dispatched with the same arguments, its answer (77) dropped,
    // the object destroyed once, 1 answered.
    effect->answer = 77;
    Calls seen;
    effect->finalCalls = &seen;
    EXPECT_EQ(dispatcherEntry(d, effClose, 2, 3, buffer, 4.0f), 1);
    EXPECT_EQ(destructions, 1);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2], "dispatcher(1,2,3,4)");
    EXPECT_EQ(seen[0], "dispatcher(7,3,99,0.5)");
}
