// Speaker arrangement blocks, including the guards against unsafe counts and locations.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "EffectExtended.h"
#include "extended_test_support.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using kavro_test::PlainEffect;

namespace {

// Every byte of the block but numChannels must be zero.
void expectZeroFilled(const VstSpeakerArrangement* block, std::int32_t numChannels) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(block);
    const std::size_t size = 8 + 112 * static_cast<std::size_t>(numChannels);
    for (std::size_t i = 0; i < size; ++i) {
        if (i >= 4 && i < 8) {
            continue;
        }
        ASSERT_EQ(bytes[i], 0u) << "byte " << i;
    }
}

void expectBlockSize(VstSpeakerArrangement* block, std::size_t size) {
#if defined(__GLIBC__)
    EXPECT_GE(malloc_usable_size(block), size);
#else
    (void)block;
    (void)size;
#endif
}

VstSpeakerProperties speaker(char fill, std::int32_t type, float base) {
    VstSpeakerProperties s;
    std::memset(&s, 0, sizeof s);
    s.azimuth = base;
    s.elevation = base + 1;
    s.radius = base + 2;
    s.reserved = base + 3;
    std::memset(s.name, fill, sizeof s.name);  // 64 characters, no terminator
    s.type = type;
    for (std::size_t i = 0; i < sizeof s.future; ++i) {
        s.future[i] = static_cast<char>(0x80 + i + static_cast<std::size_t>(type));
    }
    return s;
}

void expectCopied(const VstSpeakerProperties& to, const VstSpeakerProperties& from) {
    EXPECT_EQ(to.azimuth, from.azimuth);
    EXPECT_EQ(to.elevation, from.elevation);
    EXPECT_EQ(to.radius, from.radius);
    EXPECT_EQ(to.reserved, from.reserved);
    EXPECT_EQ(to.type, from.type);
    EXPECT_EQ(std::memcmp(to.future, from.future, sizeof to.future), 0);
    const std::size_t length = strnlen(from.name, 63);
    EXPECT_EQ(std::memcmp(to.name, from.name, length), 0);
    for (std::size_t i = length; i < 64; ++i) {
        EXPECT_EQ(to.name[i], '\0') << i;
    }
}

TEST(SpeakerArrangement, AllocateZeroChannels) {
    PlainEffect effect;
    VstSpeakerArrangement* block = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&block, 0));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->type, 0);
    EXPECT_EQ(block->numChannels, 0);
    expectBlockSize(block, 8);
    EXPECT_TRUE(effect.deallocateArrangement(&block));
    EXPECT_EQ(block, nullptr);
}

TEST(SpeakerArrangement, AllocateThreeReplacesTheHeldBlock) {
    PlainEffect effect;
    VstSpeakerArrangement* block = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&block, 1));
    block->type = 77;
    ASSERT_TRUE(effect.allocateArrangement(&block, 3));  // the old one released (ASan: no leak)
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->numChannels, 3);
    expectBlockSize(block, 344);
    expectZeroFilled(block, 3);
    effect.deallocateArrangement(&block);
}

TEST(SpeakerArrangement, DeallocateNullLocationOrEmpty) {
    PlainEffect effect;
    VstSpeakerArrangement* block = nullptr;
    EXPECT_TRUE(effect.deallocateArrangement(&block));
    EXPECT_EQ(block, nullptr);
    EXPECT_TRUE(effect.deallocateArrangement(nullptr));
}

TEST(SpeakerArrangement, NegativeCountFailsWithTheLocationNull) {
    PlainEffect effect;
    VstSpeakerArrangement* block = nullptr;
    EXPECT_FALSE(effect.allocateArrangement(&block, -1));
    EXPECT_EQ(block, nullptr);
    ASSERT_TRUE(effect.allocateArrangement(&block, 2));
    EXPECT_FALSE(effect.allocateArrangement(&block, INT32_MIN));  // held block released
    EXPECT_EQ(block, nullptr);
}

// Only a 32-bit size can overflow (8 + 112 x count); with a 64-bit size no
// int32 count does, so the test exists in 32-bit builds only instead of
// skipping everywhere else.
#if SIZE_MAX <= UINT32_MAX
TEST(SpeakerArrangement, OverflowingSizeFails) {
    PlainEffect effect;
    VstSpeakerArrangement* block = nullptr;
    EXPECT_FALSE(effect.allocateArrangement(&block, INT32_MAX));
    EXPECT_EQ(block, nullptr);
    EXPECT_FALSE(effect.allocateArrangement(&block, 38347923));  // 8 + 112n > 2^32 - 1
    EXPECT_EQ(block, nullptr);
}
#endif

TEST(SpeakerArrangement, AllocateWithoutLocationFails) {
    PlainEffect effect;
    EXPECT_FALSE(effect.allocateArrangement(nullptr, 2));
}

TEST(SpeakerArrangement, CopySpeakerCutsTheNameAndCopiesEverything) {
    PlainEffect effect;
    const VstSpeakerProperties from = speaker('a', 3, 1.5f);
    VstSpeakerProperties to;
    std::memset(&to, 0x55, sizeof to);
    ASSERT_TRUE(effect.copySpeaker(&to, &from));
    for (int i = 0; i < 63; ++i) {
        ASSERT_EQ(to.name[i], 'a') << i;
    }
    EXPECT_EQ(to.name[63], '\0');
    expectCopied(to, from);

    VstSpeakerProperties shortName = speaker('b', 4, 2.0f);
    std::strcpy(shortName.name, "Left");
    std::memset(&to, 0x55, sizeof to);
    ASSERT_TRUE(effect.copySpeaker(&to, &shortName));
    EXPECT_STREQ(to.name, "Left");
    expectCopied(to, shortName);
}

TEST(SpeakerArrangement, CopySpeakerWithNullChangesNothing) {
    PlainEffect effect;
    const VstSpeakerProperties from = speaker('a', 3, 1.5f);
    VstSpeakerProperties to;
    std::memset(&to, 0x55, sizeof to);
    VstSpeakerProperties before = to;
    EXPECT_FALSE(effect.copySpeaker(nullptr, &from));
    EXPECT_FALSE(effect.copySpeaker(&to, nullptr));
    EXPECT_EQ(std::memcmp(&to, &before, sizeof to), 0);
}

// A source arrangement of two channels in a block of its own.
struct Source {
    std::vector<unsigned char> storage = std::vector<unsigned char>(8 + 2 * 112 + 16);
    VstSpeakerArrangement* arrangement() {
        return reinterpret_cast<VstSpeakerArrangement*>(storage.data());
    }
    Source() {
        arrangement()->type = 42;
        arrangement()->numChannels = 2;
        vstSpeakers(arrangement())[0] = speaker('L', 1, 10.0f);
        vstSpeakers(arrangement())[1] = speaker('R', 2, 20.0f);
    }
};

TEST(SpeakerArrangement, MatchCopiesTypeCountAndSpeakers) {
    PlainEffect effect;
    Source source;
    VstSpeakerArrangement* block = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&block, 5));
    ASSERT_TRUE(effect.matchArrangement(&block, source.arrangement()));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->type, 42);
    EXPECT_EQ(block->numChannels, 2);
    expectBlockSize(block, 8 + 224);
    for (int i = 0; i < 2; ++i) {
        expectCopied(vstSpeakers(block)[i], vstSpeakers(source.arrangement())[i]);
        EXPECT_EQ(vstSpeakers(block)[i].name[63], '\0');
    }
    effect.deallocateArrangement(&block);
}

TEST(SpeakerArrangement, MatchNullSourceLeavesTheBlock) {
    PlainEffect effect;
    VstSpeakerArrangement* block = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&block, 1));
    VstSpeakerArrangement* held = block;
    EXPECT_FALSE(effect.matchArrangement(&block, nullptr));
    EXPECT_EQ(block, held);
    effect.deallocateArrangement(&block);
}

TEST(SpeakerArrangement, MatchWithItsOwnBlockKeepsIt) {
    PlainEffect effect;
    VstSpeakerArrangement* block = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&block, 2));
    block->type = 9;
    vstSpeakers(block)[1].type = 5;
    VstSpeakerArrangement* held = block;
    EXPECT_TRUE(effect.matchArrangement(&block, block));
    EXPECT_EQ(block, held);
    EXPECT_EQ(block->type, 9);
    EXPECT_EQ(block->numChannels, 2);
    EXPECT_EQ(vstSpeakers(block)[1].type, 5);
    effect.deallocateArrangement(&block);
}

TEST(SpeakerArrangement, MatchNegativeSourceCountFails) {
    PlainEffect effect;
    VstSpeakerArrangement source{7, -3};
    VstSpeakerArrangement* block = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&block, 1));
    EXPECT_FALSE(effect.matchArrangement(&block, &source));
    EXPECT_EQ(block, nullptr);
}

// matchArrangement goes through the virtual operations.
class FailingEffect : public PlainEffect {
  public:
    bool failDeallocate = false;
    int failCopyAt = -1;
    int copies = 0;
    bool deallocateArrangement(VstSpeakerArrangement** location) noexcept override {
        if (failDeallocate) {
            return false;
        }
        return PlainEffect::deallocateArrangement(location);
    }
    bool copySpeaker(VstSpeakerProperties* to, const VstSpeakerProperties* from) noexcept override {
        if (copies++ == failCopyAt) {
            return false;
        }
        return PlainEffect::copySpeaker(to, from);
    }
};

TEST(SpeakerArrangement, MatchStopsWhenDeallocateFails) {
    FailingEffect effect;
    Source source;
    VstSpeakerArrangement* block = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&block, 1));
    VstSpeakerArrangement* held = block;
    effect.failDeallocate = true;
    EXPECT_FALSE(effect.matchArrangement(&block, source.arrangement()));
    EXPECT_EQ(block, held);
    effect.failDeallocate = false;
    effect.deallocateArrangement(&block);
}

TEST(SpeakerArrangement, MatchStopsAtTheFirstFailedCopy) {
    FailingEffect effect;
    effect.failCopyAt = 1;
    Source source;
    VstSpeakerArrangement* block = nullptr;
    EXPECT_FALSE(effect.matchArrangement(&block, source.arrangement()));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->type, 42);
    EXPECT_EQ(block->numChannels, 2);
    expectCopied(vstSpeakers(block)[0], vstSpeakers(source.arrangement())[0]);
    EXPECT_EQ(vstSpeakers(block)[1].type, 0);  // left as allocated
    EXPECT_EQ(effect.copies, 2);
    effect.deallocateArrangement(&block);
}

}  // namespace
