// The base dispatcher, opcodes 0 to 24, as one table of opcode ->
// expected call and answer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "test_effect.h"

namespace {

using Calls = std::vector<std::string>;

enum class Ptr { Null, Buffer };

struct Row {
    const char* name;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    Ptr ptr;
    float opt;
    Calls calls;       // what the dispatcher called, in order
    VstIntPtr answer;  // what it answered
    std::int32_t programBefore = 0;
    std::int32_t programAfter = 0;
    float sampleRateAfter = 44100.0f;
    std::int32_t blockSizeAfter = 1024;
};

constexpr std::int32_t kNumPrograms = 4;
constexpr std::int32_t kGetChunkAnswer = 123;
constexpr std::int32_t kSetChunkAnswer = 45;

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"effOpen", 0, 0, 0, Ptr::Null, 0.0f, {"open()"}, 0},
        {"effClose", 1, 0, 0, Ptr::Null, 0.0f, {"close()"}, 0},
        {"effSetProgram below numPrograms", 2, 0, 3, Ptr::Null, 0.0f, {"setProgram(3)"}, 0, 0, 3},
        {"effSetProgram 0", 2, 0, 0, Ptr::Null, 0.0f, {"setProgram(0)"}, 0, 2, 0},
        {"effSetProgram equal to numPrograms", 2, 0, kNumPrograms, Ptr::Null, 0.0f, {}, 0, 2, 2},
        {"effSetProgram above numPrograms", 2, 0, 9, Ptr::Null, 0.0f, {}, 0, 2, 2},
        {"effSetProgram -1", 2, 0, -1, Ptr::Null, 0.0f, {"setProgram(-1)"}, 0, 0, -1},
        {"effSetProgram index ignored", 2, 3, 1, Ptr::Null, 0.0f, {"setProgram(1)"}, 0, 0, 1},
        {"effGetProgram", 3, 0, 0, Ptr::Null, 0.0f, {"getProgram()"}, 0},
        {"effGetProgram after 3", 3, 0, 0, Ptr::Null, 0.0f, {"getProgram()"}, 3, 3, 3},
        {"effGetProgram after -1", 3, 0, 0, Ptr::Null, 0.0f, {"getProgram()"}, -1, -1, -1},
        {"effSetProgramName", 4, 0, 0, Ptr::Buffer, 0.0f, {"setProgramName()"}, 0},
        {"effSetProgramName null", 4, 0, 0, Ptr::Null, 0.0f, {"setProgramName()"}, 0},
        {"effGetProgramName", 5, 0, 0, Ptr::Buffer, 0.0f, {"getProgramName()"}, 0},
        {"effGetProgramName null", 5, 0, 0, Ptr::Null, 0.0f, {"getProgramName()"}, 0},
        {"effGetParamLabel", 6, 1, 0, Ptr::Buffer, 0.0f, {"getParamLabel(1)"}, 0},
        {"effGetParamDisplay", 7, 0, 0, Ptr::Buffer, 0.0f, {"getParamDisplay(0)"}, 0},
        {"effGetParamName", 8, 5, 0, Ptr::Buffer, 0.0f, {"getParamName(5)"}, 0},
        {"effGetParamName null", 8, 1, 0, Ptr::Null, 0.0f, {"getParamName(1)"}, 0},
        {"opcode 9 (no getVu)", 9, 0, 0, Ptr::Buffer, 0.0f, {}, 0},
        {"effSetSampleRate from opt",
         10,
         0,
         22050,
         Ptr::Null,
         48000.0f,
         {"setSampleRate(48000)"},
         0,
         0,
         0,
         48000.0f},
        {"effSetBlockSize",
         11,
         0,
         512,
         Ptr::Null,
         0.0f,
         {"setBlockSize(512)"},
         0,
         0,
         0,
         44100.0f,
         512},
        {"effMainsChanged 0", 12, 0, 0, Ptr::Null, 0.0f, {"suspend()"}, 0},
        {"effMainsChanged 1", 12, 0, 1, Ptr::Null, 0.0f, {"resume()"}, 0},
        {"effMainsChanged 7", 12, 0, 7, Ptr::Null, 0.0f, {"resume()"}, 0},
        {"effMainsChanged -1", 12, 0, -1, Ptr::Null, 0.0f, {"resume()"}, 0},
        {"effEditGetRect without editor", 13, 0, 0, Ptr::Buffer, 0.0f, {}, 0},
        {"effEditOpen without editor", 14, 0, 0, Ptr::Buffer, 0.0f, {}, 0},
        {"effEditClose without editor", 15, 0, 0, Ptr::Null, 0.0f, {}, 0},
        {"opcode 16", 16, 1, 1, Ptr::Buffer, 1.0f, {}, 0},
        {"opcode 17", 17, 1, 1, Ptr::Buffer, 1.0f, {}, 0},
        {"opcode 18", 18, 1, 1, Ptr::Buffer, 1.0f, {}, 0},
        {"effEditIdle without editor", 19, 0, 0, Ptr::Null, 0.0f, {}, 0},
        {"opcode 20", 20, 1, 1, Ptr::Buffer, 1.0f, {}, 0},
        {"opcode 21", 21, 1, 1, Ptr::Buffer, 1.0f, {}, 0},
        {"effIdentify", 22, 0, 0, Ptr::Null, 0.0f, {}, 0x4E764566},
        {"effGetChunk index 5 (preset)",
         23,
         5,
         0,
         Ptr::Buffer,
         0.0f,
         {"getChunk(1)"},
         kGetChunkAnswer},
        {"effGetChunk index 0 (bank)",
         23,
         0,
         0,
         Ptr::Buffer,
         0.0f,
         {"getChunk(0)"},
         kGetChunkAnswer},
        {"effSetChunk index 5 (preset)",
         24,
         5,
         12,
         Ptr::Buffer,
         0.0f,
         {"setChunk(12,1)"},
         kSetChunkAnswer},
        {"effSetChunk index 0 (bank)",
         24,
         0,
         12,
         Ptr::Buffer,
         0.0f,
         {"setChunk(12,0)"},
         kSetChunkAnswer},
        {"opcode -1", -1, 0, 0, Ptr::Buffer, 0.0f, {}, 0},
        {"opcode -2147483648",
         std::numeric_limits<std::int32_t>::min(),
         0,
         0,
         Ptr::Buffer,
         0.0f,
         {},
         0},
        {"opcode 25", 25, 0, 0, Ptr::Buffer, 0.0f, {}, 0},
        {"opcode 80", 80, 0, 0, Ptr::Buffer, 0.0f, {}, 0},
        {"opcode 2147483647",
         std::numeric_limits<std::int32_t>::max(),
         0,
         0,
         Ptr::Buffer,
         0.0f,
         {},
         0},
    };
    return table;
}

}  // namespace

TEST(BaseDispatcher, Table) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        TestEffect effect(nullptr, kNumPrograms, 2);
        effect.getChunkAnswer = kGetChunkAnswer;
        effect.setChunkAnswer = kSetChunkAnswer;
        effect.EffectBase::setProgram(row.programBefore);
        const AEffect before = *effect.getDescriptor();

        char buffer[16];
        std::memset(buffer, 'x', sizeof(buffer));
        void* ptr = row.ptr == Ptr::Buffer ? buffer : nullptr;
        const VstIntPtr answer = effect.dispatcher(row.opcode, row.index, row.value, ptr, row.opt);

        EXPECT_EQ(answer, row.answer);
        EXPECT_EQ(effect.calls, row.calls);
        if (!row.calls.empty()) {
            // The pointer argument is passed on unchanged (rows whose
            // operation takes none pass null).
            EXPECT_EQ(effect.lastPtr, ptr);
        }
        EXPECT_EQ(effect.currentProgramMember(), row.programAfter);
        EXPECT_EQ(effect.getSampleRate(), row.sampleRateAfter);
        EXPECT_EQ(effect.getBlockSize(), row.blockSizeAfter);
        // No base opcode changes the record.
        EXPECT_EQ(std::memcmp(&before, effect.getDescriptor(), sizeof(AEffect)), 0);
        // Text opcodes write only the empty text of the defaults; others
        // leave the buffer alone.
        const bool writesText = row.ptr == Ptr::Buffer && (row.opcode >= 5 && row.opcode <= 8);
        EXPECT_EQ(buffer[0], writesText ? '\0' : 'x');
        for (std::size_t i = 1; i < sizeof(buffer); ++i) {
            EXPECT_EQ(buffer[i], 'x') << i;
        }
    }
}

TEST(BaseDispatcher, ChunkAndProgramNamePointersPassThrough) {
    TestEffect effect;
    char name[25] = "Program";
    effect.dispatcher(effSetProgramName, 0, 0, name, 0.0f);
    EXPECT_EQ(effect.lastPtr, name);
    void* slot = nullptr;
    effect.dispatcher(effGetChunk, 1, 0, &slot, 0.0f);
    EXPECT_EQ(effect.lastPtr, &slot);
    EXPECT_EQ(slot, nullptr);
    effect.dispatcher(effSetChunk, 0, 8, name, 0.0f);
    EXPECT_EQ(effect.lastPtr, name);
}

TEST(BaseDispatcher, EditorOpcodesReachAnAttachedEditor) {
    for (bool editorAnswer : {true, false}) {
        Calls log;
        TestEffect effect;
        effect.attachEditor(new TestEditor(&log, editorAnswer));
        char buffer[4];
        const VstIntPtr expected = editorAnswer ? 1 : 0;
        EXPECT_EQ(effect.dispatcher(effEditGetRect, 0, 0, buffer, 0.0f), expected);
        EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, buffer, 0.0f), expected);
        EXPECT_EQ(effect.dispatcher(effEditClose, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(effect.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f), 0);
        for (std::int32_t opcode : {9, 16, 17, 18, 20, 21}) {
            EXPECT_EQ(effect.dispatcher(opcode, 0, 0, nullptr, 0.0f), 0);
        }
        EXPECT_EQ(log, (Calls{"editor getRect", "editor open", "editor close", "editor idle"}));
        EXPECT_TRUE(effect.calls.empty());
    }
}

// The dispatcher calls through the virtual operations: a derived override of
// an operation is what runs.
class ProgramNamingEffect : public TestEffect {
  public:
    void getProgramName(char* name) noexcept override {
        if (name != nullptr) {
            std::strcpy(name, "Default");
        }
    }
};

TEST(BaseDispatcher, CallsTheOverrides) {
    ProgramNamingEffect effect;
    char name[25] = {};
    EXPECT_EQ(effect.dispatcher(effGetProgramName, 0, 0, name, 0.0f), 0);
    EXPECT_STREQ(name, "Default");
}
