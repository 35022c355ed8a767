// The extended host requests: one table of every
// request with the fields it must send and the kind of its result.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "EffectExtended.h"
#include "extended_test_support.h"

using kavro_test::HostCall;
using kavro_test::PlainEffect;
using kavro_test::RecordingHost;

namespace {

enum class Kind { Answer, Boolean, OneOrZero, None, SampleRate, BlockSize };

char gBuffer[256];
int gRecord;
void* const kRecord = &gRecord;

struct RequestRow {
    const char* name;
    // Makes the request; the result as a number (bool as 0/1, float as is).
    std::function<double(EffectExtended&)> send;
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    void* ptr;
    float opt;
    Kind kind;
};

std::vector<RequestRow> requestTable() {
    using E = EffectExtended&;
    // One request per line reads as a table.
    // clang-format off
    return {
        {"hostWantMidi", [](E e) { e.hostWantMidi(3); return 0.0; }, 6, 0, 3, nullptr, 0.0f, Kind::None},
        {"hostGetTime", [](E e) { return double(e.hostGetTime(0x202)); }, 7, 0, 0x202, nullptr, 0.0f, Kind::Answer},
        {"hostTempoAt", [](E e) { return double(e.hostTempoAt(4410)); }, 10, 0, 4410, nullptr, 0.0f, Kind::Answer},
        {"hostGetNumAutomatableParameters", [](E e) { return double(e.hostGetNumAutomatableParameters()); }, 11, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostGetParameterQuantization", [](E e) { return double(e.hostGetParameterQuantization()); }, 12, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostIOChanged", [](E e) { return double(e.hostIOChanged()); }, 13, 0, 0, nullptr, 0.0f, Kind::Boolean},
        {"hostNeedIdle", [](E e) { return double(e.hostNeedIdle()); }, 14, 0, 0, nullptr, 0.0f, Kind::Boolean},
        {"hostSizeWindow", [](E e) { return double(e.hostSizeWindow(640, 480)); }, 15, 640, 480, nullptr, 0.0f, Kind::Boolean},
        {"hostGetSampleRate", [](E e) { return double(e.hostGetSampleRate()); }, 16, 0, 0, nullptr, 0.0f, Kind::SampleRate},
        {"hostGetBlockSize", [](E e) { return double(e.hostGetBlockSize()); }, 17, 0, 0, nullptr, 0.0f, Kind::BlockSize},
        {"hostGetInputLatency", [](E e) { return double(e.hostGetInputLatency()); }, 18, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostGetOutputLatency", [](E e) { return double(e.hostGetOutputLatency()); }, 19, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostGetPreviousPlug", [](E e) { return double(e.hostGetPreviousPlug(3)); }, 20, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostGetNextPlug", [](E e) { return double(e.hostGetNextPlug(3)); }, 21, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostWillReplaceOrAccumulate", [](E e) { return double(e.hostWillReplaceOrAccumulate()); }, 22, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostGetCurrentProcessLevel", [](E e) { return double(e.hostGetCurrentProcessLevel()); }, 23, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostGetAutomationState", [](E e) { return double(e.hostGetAutomationState()); }, 24, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostOfflineStart", [](E e) { return double(e.hostOfflineStart(kRecord, 5, 2)); }, 25, 2, 5, kRecord, 0.0f, Kind::Boolean},
        {"hostOfflineRead(true)", [](E e) { return double(e.hostOfflineRead(kRecord, 7, true)); }, 26, 1, 7, kRecord, 0.0f, Kind::Boolean},
        {"hostOfflineRead(false)", [](E e) { return double(e.hostOfflineRead(kRecord, 7, false)); }, 26, 0, 7, kRecord, 0.0f, Kind::Boolean},
        {"hostOfflineWrite", [](E e) { return double(e.hostOfflineWrite(kRecord, 9)); }, 27, 0, 9, kRecord, 0.0f, Kind::Boolean},
        {"hostOfflineGetCurrentPass", [](E e) { return double(e.hostOfflineGetCurrentPass()); }, 28, 0, 0, nullptr, 0.0f, Kind::OneOrZero},
        {"hostOfflineGetCurrentMetaPass", [](E e) { return double(e.hostOfflineGetCurrentMetaPass()); }, 29, 0, 0, nullptr, 0.0f, Kind::OneOrZero},
        {"hostSetOutputSampleRate", [](E e) { e.hostSetOutputSampleRate(48000.0f); return 0.0; }, 30, 0, 0, nullptr, 48000.0f, Kind::None},
        {"hostGetOutputSpeakerArrangement", [](E e) { return double(e.hostGetOutputSpeakerArrangement()); }, 31, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostGetVendorString", [](E e) { return double(e.hostGetVendorString(gBuffer)); }, 32, 0, 0, gBuffer, 0.0f, Kind::Boolean},
        {"hostGetProductString", [](E e) { return double(e.hostGetProductString(gBuffer)); }, 33, 0, 0, gBuffer, 0.0f, Kind::Boolean},
        {"hostGetVendorVersion", [](E e) { return double(e.hostGetVendorVersion()); }, 34, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostVendorSpecific", [](E e) { return double(e.hostVendorSpecific(1, 2, kRecord, 0.5f)); }, 35, 1, 2, kRecord, 0.5f, Kind::Answer},
        {"hostCanDo", [](E e) { return double(e.hostCanDo(gBuffer)); }, 37, 0, 0, gBuffer, 0.0f, Kind::OneOrZero},
        {"hostGetLanguage", [](E e) { return double(e.hostGetLanguage()); }, 38, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostOpenWindow", [](E e) { return double(e.hostOpenWindow(kRecord)); }, 39, 0, 0, kRecord, 0.0f, Kind::Answer},
        {"hostCloseWindow", [](E e) { return double(e.hostCloseWindow(kRecord)); }, 40, 0, 0, kRecord, 0.0f, Kind::Boolean},
        {"hostGetDirectory", [](E e) { return double(e.hostGetDirectory()); }, 41, 0, 0, nullptr, 0.0f, Kind::Answer},
        {"hostUpdateDisplay", [](E e) { return double(e.hostUpdateDisplay()); }, 42, 0, 0, nullptr, 0.0f, Kind::Boolean},
        {"hostBeginEdit", [](E e) { return double(e.hostBeginEdit(4)); }, 43, 4, 0, nullptr, 0.0f, Kind::Boolean},
        {"hostEndEdit", [](E e) { return double(e.hostEndEdit(4)); }, 44, 4, 0, nullptr, 0.0f, Kind::Boolean},
        {"hostOpenFileSelector", [](E e) { return double(e.hostOpenFileSelector(kRecord)); }, 45, 0, 0, kRecord, 0.0f, Kind::Boolean},
        {"hostCloseFileSelector", [](E e) { return double(e.hostCloseFileSelector(kRecord)); }, 46, 0, 0, kRecord, 0.0f, Kind::Boolean},
        {"hostGetChunkFile", [](E e) { return double(e.hostGetChunkFile(gBuffer)); }, 48, 0, 0, gBuffer, 0.0f, Kind::Boolean},
        {"hostGetInputSpeakerArrangement", [](E e) { return double(e.hostGetInputSpeakerArrangement()); }, 49, 0, 0, nullptr, 0.0f, Kind::Answer},
    };
    // clang-format on
}

double expectedResult(Kind kind, VstIntPtr answer) {
    switch (kind) {
        case Kind::Answer:
            return double(answer);
        case Kind::Boolean:
        case Kind::OneOrZero:
            return answer != 0 ? 1.0 : 0.0;
        case Kind::None:
            return 0.0;
        case Kind::SampleRate:
            return answer > 0 ? double(answer) : 44100.0;
        case Kind::BlockSize:
            return answer > 0 ? double(answer) : 1024.0;
    }
    return 0.0;
}

TEST(ExtendedHostRequests, EveryRequestSendsItsFieldsAndTurnsTheAnswer) {
    const auto table = requestTable();
    ASSERT_EQ(table.size(), 41u);  // forty requests, hostOfflineRead twice
    for (const RequestRow& row : table) {
        for (VstIntPtr answer : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{2}, VstIntPtr{-1}}) {
            SCOPED_TRACE(std::string(row.name) + " answer " + std::to_string(answer));
            RecordingHost::reset(answer);
            PlainEffect effect(&RecordingHost::callback);
            RecordingHost::calls().clear();
            const double result = row.send(effect);
            ASSERT_EQ(RecordingHost::calls().size(), 1u);
            const HostCall& call = RecordingHost::calls()[0];
            EXPECT_EQ(call.effect, effect.record());
            EXPECT_EQ(call.opcode, row.opcode);
            EXPECT_EQ(call.index, row.index);
            EXPECT_EQ(call.value, row.value);
            EXPECT_EQ(call.ptr, row.ptr);
            EXPECT_EQ(call.opt, row.opt);
            EXPECT_EQ(result, expectedResult(row.kind, answer));
        }
    }
}

TEST(ExtendedHostRequests, WithoutCallbackTheDefaults) {
    RecordingHost::reset(1);
    for (const RequestRow& row : requestTable()) {
        PlainEffect effect(nullptr);
        EXPECT_EQ(row.send(effect), expectedResult(row.kind, 0)) << row.name;
    }
    EXPECT_TRUE(RecordingHost::calls().empty());
}

TEST(ExtendedHostRequests, AnswerKindPassesLargeValuesUnchanged) {
    const VstIntPtr big = sizeof(VstIntPtr) == 8
                              ? static_cast<VstIntPtr>(static_cast<std::uint64_t>(0x12345) << 32)
                              : VstIntPtr{0x12345678};
    RecordingHost::reset(big);
    PlainEffect effect(&RecordingHost::callback);
    EXPECT_EQ(effect.hostGetTime(0), big);
    EXPECT_EQ(effect.hostVendorSpecific(0, 0, nullptr, 0.0f), big);
    EXPECT_TRUE(effect.hostUpdateDisplay());
    EXPECT_EQ(effect.hostCanDo("sizeWindow"), 1);
}

TEST(ExtendedHostRequests, SampleRateRefreshesTheCache) {
    RecordingHost::reset(48000);
    PlainEffect effect(&RecordingHost::callback);
    EXPECT_EQ(effect.hostGetSampleRate(), 48000.0f);
    EXPECT_EQ(effect.cachedSampleRate(), 48000.0f);
    RecordingHost::answer() = 0;
    EXPECT_EQ(effect.hostGetSampleRate(), 48000.0f);
    RecordingHost::answer() = -1;
    EXPECT_EQ(effect.hostGetSampleRate(), 48000.0f);
    EXPECT_EQ(effect.cachedSampleRate(), 48000.0f);
}

TEST(ExtendedHostRequests, BlockSizeRefreshesTheCache) {
    RecordingHost::reset(512);
    PlainEffect effect(&RecordingHost::callback);
    EXPECT_EQ(effect.hostGetBlockSize(), 512);
    EXPECT_EQ(effect.cachedBlockSize(), 512);
    RecordingHost::answer() = 0;
    EXPECT_EQ(effect.hostGetBlockSize(), 512);
    PlainEffect fresh(&RecordingHost::callback);
    EXPECT_EQ(fresh.hostGetBlockSize(), 1024);
    RecordingHost::answer() = -1;
    EXPECT_EQ(fresh.hostGetBlockSize(), 1024);
}

TEST(ExtendedHostRequests, RefreshCallsNoSetter) {
    class Watcher : public PlainEffect {
      public:
        using PlainEffect::PlainEffect;
        int setterCalls = 0;
        void setSampleRate(float) noexcept override { ++setterCalls; }
        void setBlockSize(std::int32_t) noexcept override { ++setterCalls; }
    };
    RecordingHost::reset(96000);
    Watcher effect(&RecordingHost::callback);
    effect.hostGetSampleRate();
    effect.hostGetBlockSize();
    EXPECT_EQ(effect.setterCalls, 0);
    EXPECT_EQ(effect.cachedSampleRate(), 96000.0f);
    EXPECT_EQ(effect.cachedBlockSize(), 96000);
}

TEST(ExtendedHostRequests, NullRecordsAreNotSent) {
    RecordingHost::reset(1);
    PlainEffect effect(&RecordingHost::callback);
    RecordingHost::calls().clear();
    EXPECT_FALSE(effect.hostOpenFileSelector(nullptr));
    EXPECT_FALSE(effect.hostCloseFileSelector(nullptr));
    EXPECT_FALSE(effect.hostGetChunkFile(nullptr));
    EXPECT_TRUE(RecordingHost::calls().empty());
}

}  // namespace
