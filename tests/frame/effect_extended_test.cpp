// EffectExtended: defaults, flag setters, resume and the
// capability words.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "EffectExtended.h"
#include "capability_words.h"
#include "extended_test_support.h"

using kavro_test::PlainEffect;
using kavro_test::RecordingHost;

namespace {

TEST(EffectExtended, FreshObjectDefaults) {
    PlainEffect effect;
    EXPECT_EQ(effect.getPlugCategory(), 0);
    EXPECT_EQ(effect.getVstVersion(), 2400);
    EXPECT_EQ(effect.getCurrentMidiProgram(0, nullptr), -1);
    EXPECT_TRUE(effect.canBeAutomated(0));
    for (const char* word : kavro::kEffectCapabilities) {
        EXPECT_EQ(effect.canDo(word), 0) << word;
    }
    for (const char* word : kavro::kHostCapabilities) {
        EXPECT_EQ(effect.canDo(word), 0) << word;
    }
    EXPECT_EQ(effect.setTotalSampleToProcess(480), 480);
    EXPECT_EQ(effect.setTotalSampleToProcess(-7), -7);
    EXPECT_EQ(effect.getTailSize(), 0);
    EXPECT_EQ(effect.getVendorVersion(), 0);
    EXPECT_EQ(effect.vendorSpecific(1, 2, nullptr, 0.5f), 0);
    EXPECT_EQ(effect.getNumMidiInputChannels(), 0);
    EXPECT_EQ(effect.getNumMidiOutputChannels(), 0);
    EXPECT_EQ(effect.processEvents(nullptr), 0);
    EXPECT_EQ(effect.startProcess(), 0);
    EXPECT_EQ(effect.stopProcess(), 0);
    EXPECT_EQ(effect.beginLoadBank(nullptr), 0);
    EXPECT_EQ(effect.beginLoadProgram(nullptr), 0);
    EXPECT_EQ(effect.getMidiProgramName(0, nullptr), 0);
    EXPECT_EQ(effect.getMidiProgramCategory(0, nullptr), 0);
    EXPECT_FALSE(effect.hasMidiProgramsChanged(0));
    EXPECT_FALSE(effect.getMidiKeyName(0, nullptr));
    EXPECT_FALSE(effect.setBypass(true));
    EXPECT_FALSE(effect.setPanLaw(0, 1.0f));
    EXPECT_FALSE(effect.setProcessPrecision(1));
    EXPECT_FALSE(effect.beginSetProgram());
    EXPECT_FALSE(effect.endSetProgram());
    EXPECT_FALSE(effect.processVarIo(nullptr));
    EXPECT_FALSE(effect.setSpeakerArrangement(nullptr, nullptr));
    EXPECT_FALSE(effect.getInputProperties(0, nullptr));
    EXPECT_FALSE(effect.getOutputProperties(0, nullptr));
    EXPECT_FALSE(effect.getParameterProperties(0, nullptr));
    EXPECT_FALSE(effect.offlineNotify(nullptr, 0, true));
    EXPECT_FALSE(effect.offlinePrepare(nullptr, 0));
    EXPECT_FALSE(effect.offlineRun(nullptr, 0));
    // The thirteen further operations.
    EXPECT_EQ(effect.unnamedZeroQuery1(), 0);
    EXPECT_EQ(effect.unnamedZeroQuery2(), 0);
    EXPECT_EQ(effect.unnamedOneQuery3(), 1);
    EXPECT_FALSE(effect.unnamedFlagQuery4(0));
    effect.unnamedAction5(1, 2);
    effect.unnamedAction6(1, 2);
    EXPECT_EQ(effect.unnamedZeroQuery7(), 0);
    EXPECT_EQ(effect.unnamedZeroQuery8(), 0);
    EXPECT_FALSE(effect.unnamedFlagQuery9(0));
    EXPECT_EQ(effect.unnamedZeroQuery10(), 0);
    EXPECT_FALSE(effect.unnamedFlagQuery11(0, 0));
    EXPECT_EQ(effect.unnamedZeroQuery12(), 0);
    EXPECT_FALSE(effect.unnamedFlagQuery13());
}

TEST(EffectExtended, TextDefaultsLeaveTheTextUntouched) {
    PlainEffect effect;
    char text[80];
    std::memset(text, 'x', sizeof text);
    EXPECT_FALSE(effect.getEffectName(text));
    EXPECT_FALSE(effect.getVendorString(text));
    EXPECT_FALSE(effect.getProductString(text));
    EXPECT_FALSE(effect.getProgramNameIndexed(0, 0, text));
    EXPECT_FALSE(effect.string2Parameter(0, text));
    EXPECT_EQ(effect.shellGetNextPlugin(text), 0);
    for (char c : text) {
        ASSERT_EQ(c, 'x');
    }
    // A null text is not touched either.
    EXPECT_FALSE(effect.getEffectName(nullptr));
    EXPECT_FALSE(effect.getVendorString(nullptr));
    EXPECT_FALSE(effect.getProductString(nullptr));
    EXPECT_FALSE(effect.getProgramNameIndexed(0, 0, nullptr));
    EXPECT_FALSE(effect.string2Parameter(0, nullptr));
    EXPECT_EQ(effect.shellGetNextPlugin(nullptr), 0);
    EXPECT_EQ(effect.canDo(nullptr), 0);
}

TEST(EffectExtended, FlagSettersChangeOnlyTheirBit) {
    struct Setter {
        void (EffectExtended::*set)(bool) noexcept;
        std::int32_t bit;
    };
    const Setter setters[] = {
        {&EffectExtended::setFlagIsSynth, 0x100},
        {&EffectExtended::setFlagNoSoundInStop, 0x200},
        {&EffectExtended::setFlagExtIsAsync, 0x400},
        {&EffectExtended::setFlagExtHasBuffer, 0x800},
    };
    for (const Setter& setter : setters) {
        for (std::int32_t start : {0, 0x10, static_cast<std::int32_t>(0xFFFFFFFFu), 0x1234}) {
            PlainEffect effect;
            effect.setFlags(start);
            (effect.*setter.set)(true);
            EXPECT_EQ(effect.flags(), start | setter.bit);
            (effect.*setter.set)(true);
            EXPECT_EQ(effect.flags(), start | setter.bit);
            (effect.*setter.set)(false);
            EXPECT_EQ(effect.flags(), start & ~setter.bit);
        }
    }
}

TEST(EffectExtended, PlugCategoryFollowsTheSynthBitOnly) {
    PlainEffect effect;
    effect.setFlags(~0x100);
    EXPECT_EQ(effect.getPlugCategory(), 0);
    effect.setFlagIsSynth(true);
    EXPECT_EQ(effect.getPlugCategory(), 2);
    EXPECT_EQ(effect.flags(), -1);
    effect.setFlagIsSynth(false);
    EXPECT_EQ(effect.getPlugCategory(), 0);
}

TEST(EffectExtended, SetBlockSizeAndSampleRateStoresBoth) {
    PlainEffect effect;
    effect.setBlockSizeAndSampleRate(256, 96000.0f);
    EXPECT_EQ(effect.cachedBlockSize(), 256);
    EXPECT_EQ(effect.cachedSampleRate(), 96000.0f);
    EXPECT_EQ(effect.getBlockSize(), 256);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
}

// resume: canDo answers what the test sets and records the word it got.
class MidiEffect : public PlainEffect {
  public:
    using PlainEffect::PlainEffect;
    std::int32_t canDoAnswer = 0;
    int canDoCalls = 0;
    std::string lastWord;
    std::int32_t canDo(const char* word) noexcept override {
        ++canDoCalls;
        lastWord = word != nullptr ? word : "";
        return canDoAnswer;
    }
};

TEST(EffectExtendedResume, DefaultsSendNothing) {
    RecordingHost::reset(1);
    PlainEffect effect(&RecordingHost::callback);
    RecordingHost::calls().clear();
    effect.resume();
    EXPECT_TRUE(RecordingHost::calls().empty());
}

TEST(EffectExtendedResume, SynthFlagAsksForMidiWithoutCanDo) {
    RecordingHost::reset(0);
    MidiEffect effect(&RecordingHost::callback);
    effect.setFlagIsSynth(true);
    RecordingHost::calls().clear();
    effect.resume();
    EXPECT_EQ(effect.canDoCalls, 0);
    ASSERT_EQ(RecordingHost::calls().size(), 1u);
    const auto& call = RecordingHost::calls()[0];
    EXPECT_EQ(call.effect, effect.record());
    EXPECT_EQ(call.opcode, audioMasterWantMidi);
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 1);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, 0.0f);
}

TEST(EffectExtendedResume, CanDoOfExactlyOneAsksForMidi) {
    for (std::int32_t answer : {1, 0, 2, -1}) {
        RecordingHost::reset(0);
        MidiEffect effect(&RecordingHost::callback);
        effect.canDoAnswer = answer;
        RecordingHost::calls().clear();
        effect.resume();
        EXPECT_EQ(effect.canDoCalls, 1);
        EXPECT_EQ(effect.lastWord, "receiveVstMidiEvent");
        if (answer == 1) {
            ASSERT_EQ(RecordingHost::calls().size(), 1u) << answer;
            EXPECT_EQ(RecordingHost::calls()[0].opcode, audioMasterWantMidi);
            EXPECT_EQ(RecordingHost::calls()[0].value, 1);
        } else {
            EXPECT_TRUE(RecordingHost::calls().empty()) << answer;
        }
    }
}

TEST(EffectExtendedResume, ThroughMainsChanged) {
    RecordingHost::reset(0);
    MidiEffect effect(&RecordingHost::callback);
    effect.canDoAnswer = 1;
    RecordingHost::calls().clear();
    effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    ASSERT_EQ(RecordingHost::calls().size(), 1u);
    EXPECT_EQ(RecordingHost::calls()[0].opcode, audioMasterWantMidi);
}

TEST(EffectExtendedResume, WithoutCallbackNothingIsSent) {
    RecordingHost::reset(0);
    MidiEffect effect(nullptr);
    effect.setFlagIsSynth(true);
    effect.resume();
    EXPECT_TRUE(RecordingHost::calls().empty());
}

TEST(CapabilityWords, ListsInOrder) {
    const char* host[] = {"sendVstEvents",
                          "sendVstMidiEvent",
                          "sendVstTimeInfo",
                          "receiveVstEvents",
                          "receiveVstMidiEvent",
                          "reportConnectionChanges",
                          "acceptIOChanges",
                          "sizeWindow",
                          "offline",
                          "openFileSelector",
                          "closeFileSelector",
                          "startStopProcess",
                          "shellCategory",
                          "sendVstMidiEventFlagIsRealtime"};
    const char* effect[] = {
        "sendVstEvents",      "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
        "receiveVstTimeInfo", "offline",          "midiProgramNames", "bypass"};
    ASSERT_EQ(std::size(kavro::kHostCapabilities), 14u);
    ASSERT_EQ(std::size(kavro::kEffectCapabilities), 8u);
    for (std::size_t i = 0; i < 14; ++i) {
        EXPECT_STREQ(kavro::kHostCapabilities[i], host[i]) << i;
    }
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_STREQ(kavro::kEffectCapabilities[i], effect[i]) << i;
    }
}

}  // namespace
