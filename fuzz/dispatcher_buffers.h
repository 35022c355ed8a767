// The buffers a well-behaved host hands with each dispatcher opcode: a text
// buffer of exactly bound + 1 bytes for a text the plug-in writes, a
// terminated text for one it reads, ample zeroed records, pointer locations,
// and speaker arrangements. Canary bytes follow every region, so a write past
// what the host promised shows up even without a sanitizer.
// Shared by the host torture test and the dispatcher fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vst_interface.h"

namespace kavro::reliability {

inline volatile unsigned readSink;

// What the plug-in may do through ptr (and, for a few opcodes, value).
enum class PtrUse {
    Unused,                // no pointer argument: null or a zeroed record
    TextOut,               // writes a text of at most `bound` characters
    TextIn,                // reads a zero-terminated text
    Record,                // reads or writes one record of its own kind
    Location,              // stores a pointer into *ptr (getChunk, editGetRect)
    ChunkIn,               // reads `value` bytes (setChunk)
    RecordsCounted,        // reads `value` records (offline opcodes)
    ArrangementPair,       // value and ptr are speaker arrangements
    ArrangementLocations,  // value and ptr are locations of arrangement pointers
};

struct OpcodeShape {
    PtrUse use;
    int bound;  // TextOut only
};

inline OpcodeShape shapeOf(std::int32_t opcode) noexcept {
    switch (opcode) {
        case effSetProgramName:
        case effString2Parameter:
        case effCanDo:
            return {PtrUse::TextIn, 0};
        case effGetProgramName:
        case effGetProgramNameIndexed:
            return {PtrUse::TextOut, kProgramNameBound};
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
            return {PtrUse::TextOut, kParamTextBound};
        case effGetEffectName:
            return {PtrUse::TextOut, kEffectNameBound};
        case effGetVendorString:
            return {PtrUse::TextOut, kVendorTextBound};
        case effGetProductString:
        case effShellGetNextPlugin:
            return {PtrUse::TextOut, kProductTextBound};
        case effEditGetRect:
        case effGetChunk:
            return {PtrUse::Location, 0};
        case effSetChunk:
            return {PtrUse::ChunkIn, 0};
        case effOfflineNotify:
        case effOfflinePrepare:
        case effOfflineRun:
            return {PtrUse::RecordsCounted, 0};
        case effSetSpeakerArrangement:
            return {PtrUse::ArrangementPair, 0};
        case effGetSpeakerArrangement:
            return {PtrUse::ArrangementLocations, 0};
        case effEditOpen:
        case effProcessEvents:
        case effGetInputProperties:
        case effGetOutputProperties:
        case effProcessVarIo:
        case effVendorSpecific:
        case effGetParameterProperties:
        case effGetMidiProgramName:
        case effGetCurrentMidiProgram:
        case effGetMidiProgramCategory:
        case effHasMidiProgramsChanged:
        case effGetMidiKeyName:
        case effBeginLoadBank:
        case effBeginLoadProgram:
            return {PtrUse::Record, 0};
        default:
            return {PtrUse::Unused, 0};
    }
}

// One dispatcher call's buffers. prepare() fills ptr (and value where the
// host promises a pointer or a size); verify() after the call names the first
// broken promise, or answers null.
class DispatcherCall {
  public:
    static constexpr std::size_t kRecordBytes = 4096;  // larger than any record of the interface
    static constexpr std::size_t kCanaryBytes = 64;
    static constexpr std::size_t kMaxSpeakers = 8;
    static constexpr std::size_t kCountedRecords = 4;
    static constexpr std::size_t kMaxTextIn = 200;
    static constexpr unsigned char kCanary = 0xC5;
    static constexpr unsigned char kTextFill = 0x5A;  // junk where a text will be written

    // Source: anything with `std::uint8_t byte()`, the fuzzer's bytes or a
    // seeded generator.
    template <class Source>
    void prepare(std::int32_t opcode, VstIntPtr& value, void*& ptr, Source& source) noexcept {
        shape = shapeOf(opcode);
        std::memset(arena, kCanary, sizeof arena);
        guardedFrom = 0;
        ptr = arena;
        switch (shape.use) {
            case PtrUse::Unused:
                guardedFrom = kRecordBytes;
                std::memset(arena, 0, kRecordBytes);
                if ((source.byte() & 1) != 0) {
                    ptr = nullptr;
                }
                break;
            case PtrUse::TextOut:
                guardedFrom = static_cast<std::size_t>(shape.bound) + 1;
                std::memset(arena, kTextFill, guardedFrom);
                break;
            case PtrUse::TextIn: {
                const std::size_t length = source.byte() % kMaxTextIn;
                for (std::size_t i = 0; i < length; ++i) {
                    const unsigned char c = source.byte();
                    arena[i] = c == 0 ? 'x' : c;
                }
                arena[length] = 0;
                guardedFrom = 0;  // an input text is not written at all
                break;
            }
            case PtrUse::Record:
            case PtrUse::RecordsCounted:
                guardedFrom = kRecordBytes;
                std::memset(arena, 0, kRecordBytes);
                if (shape.use == PtrUse::RecordsCounted) {
                    value = static_cast<VstIntPtr>(source.byte() % (kCountedRecords + 1));
                }
                break;
            case PtrUse::Location:
                guardedFrom = sizeof(void*);
                std::memset(arena, 0, sizeof(void*));
                break;
            case PtrUse::ChunkIn:
                guardedFrom = 0;  // the host's chunk is read, never written
                value = static_cast<VstIntPtr>(source.byte() * 16);
                for (VstIntPtr i = 0; i < value; ++i) {
                    arena[i] = source.byte();
                }
                break;
            case PtrUse::ArrangementPair: {
                guardedFrom = 2 * kArrangementBytes;
                std::memset(arena, 0, guardedFrom);
                for (int which = 0; which < 2; ++which) {
                    auto* arrangement = arrangementAt(which);
                    arrangement->type = static_cast<VstInt32>(source.byte()) - 2;
                    arrangement->numChannels =
                        static_cast<VstInt32>(source.byte() % (kMaxSpeakers + 1));
                }
                value = reinterpret_cast<VstIntPtr>(arrangementAt(0));
                ptr = arrangementAt(1);
                break;
            }
            case PtrUse::ArrangementLocations:
                guardedFrom = 2 * sizeof(void*);
                std::memset(arena, 0, guardedFrom);
                value = reinterpret_cast<VstIntPtr>(arena);
                ptr = arena + sizeof(void*);
                break;
        }
        std::memcpy(before, arena, sizeof arena);
    }

    const char* verify(VstIntPtr result) const noexcept {
        for (std::size_t i = guardedFrom; i < sizeof arena; ++i) {
            if (arena[i] != before[i]) {
                return shape.use == PtrUse::TextOut ? "wrote past the text bound"
                                                    : "wrote outside what the host handed";
            }
        }
        switch (shape.use) {
            case PtrUse::TextOut:
                if (std::memcmp(arena, before, guardedFrom) != 0 &&
                    std::memchr(arena, 0, guardedFrom) == nullptr) {
                    return "left a text without a terminator inside its bound";
                }
                break;
            case PtrUse::Location: {
                // A stored chunk address must hold `result` readable bytes.
                const unsigned char* chunk = nullptr;
                std::memcpy(&chunk, arena, sizeof chunk);
                if (chunk != nullptr && result > 0) {
                    unsigned sum = 0;
                    for (VstIntPtr i = 0; i < result; ++i) {
                        sum += chunk[i];
                    }
                    consume(sum);
                }
                break;
            }
            case PtrUse::ArrangementLocations:
                for (int which = 0; which < 2; ++which) {
                    VstSpeakerArrangement* stored = nullptr;
                    std::memcpy(&stored, arena + which * sizeof(void*), sizeof stored);
                    if (stored == nullptr) {
                        continue;
                    }
                    if (stored->numChannels < 0 || stored->numChannels > 64) {
                        return "handed out an arrangement with an absurd channel count";
                    }
                    unsigned sum = 0;
                    for (VstInt32 c = 0; c < stored->numChannels; ++c) {
                        sum += static_cast<unsigned>(vstSpeakers(stored)[c].type);
                    }
                    consume(sum);
                }
                break;
            default:
                break;
        }
        return nullptr;
    }

    PtrUse use() const noexcept { return shape.use; }

  private:
    static constexpr std::size_t kArrangementBytes =
        sizeof(VstSpeakerArrangement) + kMaxSpeakers * sizeof(VstSpeakerProperties);

    VstSpeakerArrangement* arrangementAt(int which) noexcept {
        return reinterpret_cast<VstSpeakerArrangement*>(arena + which * kArrangementBytes);
    }

    // Keeps the reads above from being optimised away.
    static void consume(unsigned sum) noexcept { readSink = sum; }

    OpcodeShape shape{PtrUse::Unused, 0};
    std::size_t guardedFrom = 0;  // bytes from here on must come back unchanged
    alignas(16) unsigned char arena[kRecordBytes + kCanaryBytes];
    unsigned char before[kRecordBytes + kCanaryBytes];
};

}  // namespace kavro::reliability
