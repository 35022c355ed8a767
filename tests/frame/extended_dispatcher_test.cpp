// The extended dispatcher: default answers over the whole
// range, argument order and conversions, and the editor key record.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "EffectExtended.h"
#include "extended_test_support.h"

using kavro_test::PlainEffect;
using kavro_test::RecordingHost;

namespace {

struct DefaultRow {
    std::int32_t opcode;
    VstIntPtr answer;
};

// Every opcode of 25..79, the unserved ones included, plus 80 and -1.
const std::vector<DefaultRow> kDefaultRows = {
    {25, 0}, {26, 1}, {27, 0}, {28, 0},    {29, 0}, {30, 0}, {31, 0}, {32, 0}, {33, 0},  {34, 0},
    {35, 0}, {36, 0}, {37, 0}, {38, 0},    {39, 0}, {40, 0}, {41, 0}, {42, 0}, {43, 0},  {44, 0},
    {45, 0}, {46, 0}, {47, 0}, {48, 0},    {49, 0}, {50, 0}, {51, 0}, {52, 0}, {53, 0},  {54, 0},
    {55, 0}, {56, 0}, {57, 0}, {58, 2400}, {59, 0}, {60, 0}, {61, 0}, {62, 0}, {63, -1}, {64, 0},
    {65, 0}, {66, 0}, {67, 0}, {68, 0},    {69, 0}, {70, 0}, {71, 0}, {72, 0}, {73, 0},  {74, 0},
    {75, 0}, {76, 0}, {77, 0}, {78, 0},    {79, 0}, {80, 0}, {-1, 0},
};

TEST(ExtendedDispatcher, DefaultAnswersOverTheWholeRange) {
    // The table covers 25..80 and -1, each opcode once.
    std::vector<int> seen(57, 0);
    for (const DefaultRow& row : kDefaultRows) {
        ++seen.at(row.opcode == -1 ? 56 : static_cast<std::size_t>(row.opcode - 25));
    }
    EXPECT_EQ(seen, std::vector<int>(57, 1));
    for (const DefaultRow& row : kDefaultRows) {
        PlainEffect effect;
        alignas(16) char text[128] = {};
        EXPECT_EQ(effect.dispatcher(row.opcode, 0, 0, text, 0.0f), row.answer)
            << "opcode " << row.opcode;
        EXPECT_EQ(text[0], '\0') << "opcode " << row.opcode;
    }
}

TEST(ExtendedDispatcher, DefaultsWithOtherArguments) {
    PlainEffect effect;
    EXPECT_EQ(effect.dispatcher(effCanBeAutomated, 17, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effCanBeAutomated, -3, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(effect.dispatcher(effSetTotalSampleToProcess, 0, 480, nullptr, 0.0f), 480);
    EXPECT_EQ(effect.dispatcher(effSetTotalSampleToProcess, 0, -7, nullptr, 0.0f), -7);
    EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, const_cast<char*>("bypass"), 0.0f), 0);
    effect.setFlagIsSynth(true);
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
    effect.setFlagIsSynth(false);
    EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 0);
}

TEST(ExtendedDispatcher, GetSpeakerArrangementDefaultClearsBothLocations) {
    PlainEffect effect;
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* input = &dummy;
    VstSpeakerArrangement* output = &dummy;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                                &output, 0.0f),
              0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    // A null location is not written; the other one still is.
    output = &dummy;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, 0, &output, 0.0f), 0);
    EXPECT_EQ(output, nullptr);
    input = &dummy;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                                nullptr, 0.0f),
              0);
    EXPECT_EQ(input, nullptr);
}

TEST(ExtendedDispatcher, NoEditorMeansZeroForEditorOpcodes) {
    PlainEffect effect;
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 65, 0x141, nullptr, 3.9f), 0);
    EXPECT_EQ(effect.dispatcher(effEditKeyUp, 65, 0x141, nullptr, 3.9f), 0);
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 0);
}

TEST(ExtendedDispatcher, MainsChangedStillReachesResume) {
    class SynthEffect : public PlainEffect {
      public:
        using PlainEffect::PlainEffect;
        int resumes = 0;
        void resume() noexcept override { ++resumes; }
    };
    SynthEffect effect;
    EXPECT_EQ(effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.resumes, 1);
}

// An effect whose every served operation records its arguments and answers
// what the test sets.
class ProbeEffect : public PlainEffect {
  public:
    std::vector<std::string> calls;
    std::int32_t intA = 0, intB = 0;
    bool flag = false;
    void* pointerA = nullptr;
    void* pointerB = nullptr;
    VstIntPtr wide = 0;
    float real = 0.0f;
    bool boolResult = true;
    std::int32_t intResult = -5;

    void record(const char* name) { calls.emplace_back(name); }

    std::int32_t processEvents(void* events) noexcept override {
        record("processEvents");
        pointerA = events;
        return intResult;
    }
    bool canBeAutomated(std::int32_t index) noexcept override {
        record("canBeAutomated");
        intA = index;
        return boolResult;
    }
    bool string2Parameter(std::int32_t index, const char* text) noexcept override {
        record("string2Parameter");
        intA = index;
        pointerA = const_cast<char*>(text);
        return boolResult;
    }
    bool getProgramNameIndexed(std::int32_t category, std::int32_t index,
                               char* text) noexcept override {
        record("getProgramNameIndexed");
        intA = category;
        intB = index;
        pointerA = text;
        return boolResult;
    }
    bool getInputProperties(std::int32_t index, void* properties) noexcept override {
        record("getInputProperties");
        intA = index;
        pointerA = properties;
        return boolResult;
    }
    bool getOutputProperties(std::int32_t index, void* properties) noexcept override {
        record("getOutputProperties");
        intA = index;
        pointerA = properties;
        return boolResult;
    }
    std::int32_t getPlugCategory() noexcept override {
        record("getPlugCategory");
        return intResult;
    }
    bool offlineNotify(void* files, std::int32_t count, bool start) noexcept override {
        record("offlineNotify");
        pointerA = files;
        intA = count;
        flag = start;
        return boolResult;
    }
    bool offlinePrepare(void* offline, std::int32_t count) noexcept override {
        record("offlinePrepare");
        pointerA = offline;
        intA = count;
        return boolResult;
    }
    bool offlineRun(void* offline, std::int32_t count) noexcept override {
        record("offlineRun");
        pointerA = offline;
        intA = count;
        return boolResult;
    }
    bool processVarIo(void* varIo) noexcept override {
        record("processVarIo");
        pointerA = varIo;
        return boolResult;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* input,
                               VstSpeakerArrangement* output) noexcept override {
        record("setSpeakerArrangement");
        pointerA = input;
        pointerB = output;
        return boolResult;
    }
    bool setBypass(bool on) noexcept override {
        record("setBypass");
        flag = on;
        return boolResult;
    }
    bool getEffectName(char* text) noexcept override {
        record("getEffectName");
        pointerA = text;
        return boolResult;
    }
    bool getVendorString(char* text) noexcept override {
        record("getVendorString");
        pointerA = text;
        return boolResult;
    }
    bool getProductString(char* text) noexcept override {
        record("getProductString");
        pointerA = text;
        return boolResult;
    }
    std::int32_t getVendorVersion() noexcept override {
        record("getVendorVersion");
        return intResult;
    }
    VstIntPtr vendorSpecific(std::int32_t index, VstIntPtr value, void* ptr,
                             float opt) noexcept override {
        record("vendorSpecific");
        intA = index;
        wide = value;
        pointerA = ptr;
        real = opt;
        return wide * 3;
    }
    std::int32_t canDo(const char* word) noexcept override {
        record("canDo");
        pointerA = const_cast<char*>(word);
        return intResult;
    }
    std::int32_t getTailSize() noexcept override {
        record("getTailSize");
        return intResult;
    }
    bool getParameterProperties(std::int32_t index, void* properties) noexcept override {
        record("getParameterProperties");
        intA = index;
        pointerA = properties;
        return boolResult;
    }
    std::int32_t getVstVersion() noexcept override {
        record("getVstVersion");
        return intResult;
    }
    std::int32_t getMidiProgramName(std::int32_t channel, void* name) noexcept override {
        record("getMidiProgramName");
        intA = channel;
        pointerA = name;
        return intResult;
    }
    std::int32_t getCurrentMidiProgram(std::int32_t channel, void* program) noexcept override {
        record("getCurrentMidiProgram");
        intA = channel;
        pointerA = program;
        return intResult;
    }
    std::int32_t getMidiProgramCategory(std::int32_t channel, void* category) noexcept override {
        record("getMidiProgramCategory");
        intA = channel;
        pointerA = category;
        return intResult;
    }
    bool hasMidiProgramsChanged(std::int32_t channel) noexcept override {
        record("hasMidiProgramsChanged");
        intA = channel;
        return boolResult;
    }
    bool getMidiKeyName(std::int32_t channel, void* keyName) noexcept override {
        record("getMidiKeyName");
        intA = channel;
        pointerA = keyName;
        return boolResult;
    }
    bool beginSetProgram() noexcept override {
        record("beginSetProgram");
        return boolResult;
    }
    bool endSetProgram() noexcept override {
        record("endSetProgram");
        return boolResult;
    }
    bool getSpeakerArrangement(VstSpeakerArrangement** input,
                               VstSpeakerArrangement** output) noexcept override {
        record("getSpeakerArrangement");
        pointerA = input;
        pointerB = output;
        return boolResult;
    }
    std::int32_t shellGetNextPlugin(char* name) noexcept override {
        record("shellGetNextPlugin");
        pointerA = name;
        return intResult;
    }
    std::int32_t startProcess() noexcept override {
        record("startProcess");
        return intResult;
    }
    std::int32_t stopProcess() noexcept override {
        record("stopProcess");
        return intResult;
    }
    std::int32_t setTotalSampleToProcess(std::int32_t value) noexcept override {
        record("setTotalSampleToProcess");
        intA = value;
        return value;
    }
    bool setPanLaw(std::int32_t law, float gain) noexcept override {
        record("setPanLaw");
        intA = law;
        real = gain;
        return boolResult;
    }
    std::int32_t beginLoadBank(void* info) noexcept override {
        record("beginLoadBank");
        pointerA = info;
        return intResult;
    }
    std::int32_t beginLoadProgram(void* info) noexcept override {
        record("beginLoadProgram");
        pointerA = info;
        return intResult;
    }
    bool setProcessPrecision(std::int32_t precision) noexcept override {
        record("setProcessPrecision");
        intA = precision;
        return boolResult;
    }
    std::int32_t getNumMidiInputChannels() noexcept override {
        record("getNumMidiInputChannels");
        return intResult;
    }
    std::int32_t getNumMidiOutputChannels() noexcept override {
        record("getNumMidiOutputChannels");
        return intResult;
    }
};

char gText[64];

// Opcode, the operation it must reach, and the answer with the probe's
// results (bool true, int -5).
struct RouteRow {
    std::int32_t opcode;
    const char* operation;
    VstIntPtr answer;
};

const std::vector<RouteRow> kRoutes = {
    {25, "processEvents", -5},
    {26, "canBeAutomated", 1},
    {27, "string2Parameter", 1},
    {29, "getProgramNameIndexed", 1},
    {33, "getInputProperties", 1},
    {34, "getOutputProperties", 1},
    {35, "getPlugCategory", -5},
    {38, "offlineNotify", 1},
    {39, "offlinePrepare", 1},
    {40, "offlineRun", 1},
    {41, "processVarIo", 1},
    {42, "setSpeakerArrangement", 1},
    {44, "setBypass", 1},
    {45, "getEffectName", 1},
    {47, "getVendorString", 1},
    {48, "getProductString", 1},
    {49, "getVendorVersion", -5},
    {50, "vendorSpecific", 3 * 11},
    {51, "canDo", -5},
    {52, "getTailSize", -5},
    {56, "getParameterProperties", 1},
    {58, "getVstVersion", -5},
    {62, "getMidiProgramName", -5},
    {63, "getCurrentMidiProgram", -5},
    {64, "getMidiProgramCategory", -5},
    {65, "hasMidiProgramsChanged", 1},
    {66, "getMidiKeyName", 1},
    {67, "beginSetProgram", 1},
    {68, "endSetProgram", 1},
    {69, "getSpeakerArrangement", 1},
    {70, "shellGetNextPlugin", -5},
    {71, "startProcess", -5},
    {72, "stopProcess", -5},
    {73, "setTotalSampleToProcess", 11},
    {74, "setPanLaw", 1},
    {75, "beginLoadBank", -5},
    {76, "beginLoadProgram", -5},
    {77, "setProcessPrecision", 1},
    {78, "getNumMidiInputChannels", -5},
    {79, "getNumMidiOutputChannels", -5},
};

TEST(ExtendedDispatcher, EachServedOpcodeReachesItsOperation) {
    for (const RouteRow& row : kRoutes) {
        ProbeEffect effect;
        EXPECT_EQ(effect.dispatcher(row.opcode, 1, 11, gText, 0.0f), row.answer)
            << "opcode " << row.opcode;
        ASSERT_EQ(effect.calls.size(), 1u) << "opcode " << row.opcode;
        EXPECT_EQ(effect.calls[0], row.operation) << "opcode " << row.opcode;
    }
}

TEST(ExtendedDispatcher, FalseResultsAnswerZero) {
    for (const RouteRow& row : kRoutes) {
        if (row.answer != 1) {
            continue;
        }
        ProbeEffect effect;
        effect.boolResult = false;
        EXPECT_EQ(effect.dispatcher(row.opcode, 1, 11, gText, 0.0f), 0) << "opcode " << row.opcode;
    }
}

TEST(ExtendedDispatcher, UnservedOpcodesReachNoOperation) {
    for (std::int32_t opcode : {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, -1}) {
        ProbeEffect effect;
        EXPECT_EQ(effect.dispatcher(opcode, 1, 11, gText, 0.0f), 0) << "opcode " << opcode;
        EXPECT_TRUE(effect.calls.empty()) << "opcode " << opcode;
    }
}

TEST(ExtendedDispatcher, ProgramNameIndexedTakesValueFirstThenIndex) {
    ProbeEffect effect;
    char text[32] = {};
    EXPECT_EQ(effect.dispatcher(effGetProgramNameIndexed, 7, 3, text, 0.0f), 1);
    EXPECT_EQ(effect.intA, 3);  // category from value
    EXPECT_EQ(effect.intB, 7);  // program index from index
    EXPECT_EQ(effect.pointerA, text);
}

TEST(ExtendedDispatcher, SetBypassTestsValueOverItsFullWidth) {
    ProbeEffect effect;
    effect.dispatcher(effSetBypass, 0, 2, nullptr, 0.0f);
    EXPECT_TRUE(effect.flag);
    effect.dispatcher(effSetBypass, 0, 0, nullptr, 0.0f);
    EXPECT_FALSE(effect.flag);
    effect.dispatcher(effSetBypass, 0, -1, nullptr, 0.0f);
    EXPECT_TRUE(effect.flag);
    if (sizeof(VstIntPtr) == 8) {
        // Low 32 bits zero, the value itself not.
        const VstIntPtr high = static_cast<VstIntPtr>(static_cast<std::uint64_t>(1) << 40);
        effect.dispatcher(effSetBypass, 0, 0, nullptr, 0.0f);
        effect.dispatcher(effSetBypass, 0, high, nullptr, 0.0f);
        EXPECT_TRUE(effect.flag);
    }
}

TEST(ExtendedDispatcher, OfflineNotifyStartFromIndex) {
    ProbeEffect effect;
    int files = 0;
    EXPECT_EQ(effect.dispatcher(effOfflineNotify, 5, 4, &files, 0.0f), 1);
    EXPECT_TRUE(effect.flag);
    EXPECT_EQ(effect.intA, 4);
    EXPECT_EQ(effect.pointerA, &files);
    effect.dispatcher(effOfflineNotify, 0, 4, &files, 0.0f);
    EXPECT_FALSE(effect.flag);
    effect.dispatcher(effOfflineNotify, -1, 4, &files, 0.0f);
    EXPECT_TRUE(effect.flag);
    effect.dispatcher(effOfflineNotify, INT32_MIN, 4, &files, 0.0f);
    EXPECT_TRUE(effect.flag);
}

TEST(ExtendedDispatcher, CanDoAnswersPassUnchanged) {
    const char* word = "bypass";
    for (std::int32_t answer : {1, 0, -1, 2, 1000}) {
        ProbeEffect effect;
        effect.intResult = answer;
        EXPECT_EQ(effect.dispatcher(effCanDo, 0, 0, const_cast<char*>(word), 0.0f), answer);
        EXPECT_EQ(effect.pointerA, word);
    }
}

TEST(ExtendedDispatcher, SignedResultsWidenWithSign) {
    ProbeEffect effect;
    effect.intResult = -1;
    EXPECT_EQ(effect.dispatcher(effGetTailSize, 0, 0, nullptr, 0.0f), VstIntPtr{-1});
    EXPECT_EQ(effect.dispatcher(effGetCurrentMidiProgram, 0, 0, nullptr, 0.0f), VstIntPtr{-1});
}

TEST(ExtendedDispatcher, ValueAsPointerFor42And69) {
    ProbeEffect effect;
    VstSpeakerArrangement input{}, output{};
    effect.dispatcher(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output,
                      0.0f);
    EXPECT_EQ(effect.pointerA, &input);
    EXPECT_EQ(effect.pointerB, &output);
    VstSpeakerArrangement* in = nullptr;
    VstSpeakerArrangement* out = nullptr;
    effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out, 0.0f);
    EXPECT_EQ(effect.pointerA, &in);
    EXPECT_EQ(effect.pointerB, &out);
}

TEST(ExtendedDispatcher, ThirtyTwoBitOperationsTakeTheLowBitsOfValue) {
    const VstIntPtr value =
        sizeof(VstIntPtr) == 8 ? static_cast<VstIntPtr>((static_cast<std::uint64_t>(5) << 32) + 480)
                               : VstIntPtr{480};
    ProbeEffect effect;
    EXPECT_EQ(effect.dispatcher(effSetTotalSampleToProcess, 0, value, nullptr, 0.0f), 480);
    EXPECT_EQ(effect.intA, 480);
    effect.dispatcher(effSetProcessPrecision, 0, value, nullptr, 0.0f);
    EXPECT_EQ(effect.intA, 480);
    effect.dispatcher(effSetPanLaw, 0, value, nullptr, 0.5f);
    EXPECT_EQ(effect.intA, 480);
    EXPECT_EQ(effect.real, 0.5f);
    effect.dispatcher(effOfflinePrepare, 0, value, nullptr, 0.0f);
    EXPECT_EQ(effect.intA, 480);
    effect.dispatcher(effOfflineRun, 0, value, nullptr, 0.0f);
    EXPECT_EQ(effect.intA, 480);
    effect.dispatcher(effOfflineNotify, 0, value, nullptr, 0.0f);
    EXPECT_EQ(effect.intA, 480);
    effect.dispatcher(effGetProgramNameIndexed, 0, value, nullptr, 0.0f);
    EXPECT_EQ(effect.intA, 480);
    EXPECT_EQ(effect.dispatcher(effSetTotalSampleToProcess, 0, -7, nullptr, 0.0f), -7);
}

TEST(ExtendedDispatcher, IndexAndPointerArgumentsReachTheOperations) {
    ProbeEffect effect;
    int record = 0;
    effect.dispatcher(effGetMidiKeyName, 9, 0, &record, 0.0f);
    EXPECT_EQ(effect.intA, 9);
    EXPECT_EQ(effect.pointerA, &record);
    effect.dispatcher(effGetParameterProperties, -2, 0, &record, 0.0f);
    EXPECT_EQ(effect.intA, -2);
    effect.dispatcher(effString2Parameter, 4, 0, gText, 0.0f);
    EXPECT_EQ(effect.intA, 4);
    EXPECT_EQ(effect.pointerA, gText);
    EXPECT_EQ(effect.dispatcher(effVendorSpecific, 6, 7, &record, 1.25f), 21);
    EXPECT_EQ(effect.intA, 6);
    EXPECT_EQ(effect.wide, 7);
    EXPECT_EQ(effect.pointerA, &record);
    EXPECT_EQ(effect.real, 1.25f);
    if (sizeof(VstIntPtr) == 8) {
        const VstIntPtr big = static_cast<VstIntPtr>(static_cast<std::uint64_t>(3) << 33);
        EXPECT_EQ(effect.dispatcher(effVendorSpecific, 0, big, nullptr, 0.0f), big * 3);
    }
}

// A test editor that records the key records and answers what it is told.
class KeyEditor : public EffectEditor {
  public:
    std::vector<VstKeyCode> downs, ups;
    std::vector<std::int32_t> knobModes;
    bool answer = true;
    bool getRect(void*) noexcept override { return false; }
    bool open(void*) noexcept override { return false; }
    void close() noexcept override {}
    void idle() noexcept override {}
    bool keyDown(VstKeyCode& key) noexcept override {
        downs.push_back(key);
        return answer;
    }
    bool keyUp(VstKeyCode& key) noexcept override {
        ups.push_back(key);
        return answer;
    }
    bool setKnobMode(std::int32_t mode) noexcept override {
        knobModes.push_back(mode);
        return answer;
    }
};

// A test effect that attaches an editor (EffectBase deletes it).
class EditorEffect : public PlainEffect {
  public:
    KeyEditor* keys;
    EditorEffect() : keys(new KeyEditor) { editor = keys; }
};

TEST(ExtendedDispatcher, KeyRecordBuiltFromIndexValueAndOpt) {
    EditorEffect effect;
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 65, 0x141, nullptr, 3.9f), 1);
    ASSERT_EQ(effect.keys->downs.size(), 1u);
    EXPECT_EQ(effect.keys->downs[0].character, 65);
    EXPECT_EQ(effect.keys->downs[0].virt, 0x41);
    EXPECT_EQ(effect.keys->downs[0].modifier, 3);

    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 65, 0x141, nullptr, -1.0f), 1);
    EXPECT_EQ(effect.keys->downs[1].modifier, 255);
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 65, 0x141, nullptr, 300.0f), 1);
    EXPECT_EQ(effect.keys->downs[2].modifier, 44);
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 65, 0x141, nullptr, -3.9f), 1);
    EXPECT_EQ(effect.keys->downs[3].modifier, 253);

    EXPECT_EQ(effect.dispatcher(effEditKeyUp, -2, -1, nullptr, 300.0f), 1);
    ASSERT_EQ(effect.keys->ups.size(), 1u);
    EXPECT_EQ(effect.keys->ups[0].character, -2);
    EXPECT_EQ(effect.keys->ups[0].virt, 0xFF);
    EXPECT_EQ(effect.keys->ups[0].modifier, 44);

    effect.keys->answer = false;
    EXPECT_EQ(effect.dispatcher(effEditKeyUp, 65, 0x141, nullptr, 3.9f), 0);
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 65, 0x141, nullptr, 3.9f), 0);
}

TEST(ExtendedDispatcher, KeyRecordSurvivesExtremeOpt) {
    // Values a plain float-to-integer conversion would make undefined.
    EditorEffect effect;
    for (float opt : {1e30f, -1e30f, 3.0e38f, -3.0e38f, 1e10f, -1e10f}) {
        effect.dispatcher(effEditKeyDown, 0, 0, nullptr, opt);
    }
    effect.dispatcher(effEditKeyDown, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
    effect.dispatcher(effEditKeyDown, 0, 0, nullptr, std::numeric_limits<float>::infinity());
    ASSERT_EQ(effect.keys->downs.size(), 8u);
    // 1e10 is exactly 10000000000 = 0x2540BE400: low byte 0x00.
    EXPECT_EQ(effect.keys->downs[4].modifier, 0x00);
    EXPECT_EQ(effect.keys->downs[6].modifier, 0);  // NaN
}

TEST(ExtendedDispatcher, KnobModeReachesTheEditor) {
    EditorEffect effect;
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
    ASSERT_EQ(effect.keys->knobModes.size(), 1u);
    EXPECT_EQ(effect.keys->knobModes[0], 2);
    effect.keys->answer = false;
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 1, nullptr, 0.0f), 0);
}

}  // namespace
