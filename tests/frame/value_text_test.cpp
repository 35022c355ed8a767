// The value texts and the bounded copy and append.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "bounded_text.h"
#include "test_effect.h"

namespace {

constexpr char kFill = 'x';
constexpr char kCanary = '#';

enum class Op { dB, Hz, ms, Float, Int };

struct Example {
    Op op;
    double value;  // float for the float texts, int32 for int2string
    std::int32_t maxLen;
    float sampleRate;
    const char* expected;
};

// A buffer of maxLen + 1 bytes filled with kFill, followed by canary bytes.
struct Buffer {
    explicit Buffer(std::int32_t maxLen) : maxLen(maxLen) {
        std::memset(bytes, kFill, sizeof(bytes));
        for (std::int32_t i = maxLen + 1; i < static_cast<std::int32_t>(sizeof(bytes)); ++i) {
            bytes[i] = kCanary;
        }
    }
    std::string text() const { return std::string(bytes); }
    // Index maxLen holds zero and nothing after it was written.
    ::testing::AssertionResult bounded() const {
        if (bytes[maxLen] != '\0') {
            return ::testing::AssertionFailure() << "byte at maxLen is not zero";
        }
        for (std::int32_t i = maxLen + 1; i < static_cast<std::int32_t>(sizeof(bytes)); ++i) {
            if (bytes[i] != kCanary) {
                return ::testing::AssertionFailure() << "byte " << i << " beyond maxLen written";
            }
        }
        return ::testing::AssertionSuccess();
    }
    std::int32_t maxLen;
    char bytes[48];
};

void run(TestEffect& effect, const Example& example, char* text) {
    const auto value = static_cast<float>(example.value);
    switch (example.op) {
        case Op::dB:
            effect.dB2string(value, text, example.maxLen);
            break;
        case Op::Hz:
            effect.Hz2string(value, text, example.maxLen);
            break;
        case Op::ms:
            effect.ms2string(value, text, example.maxLen);
            break;
        case Op::Float:
            effect.float2string(value, text, example.maxLen);
            break;
        case Op::Int:
            effect.int2string(static_cast<std::int32_t>(example.value), text, example.maxLen);
            break;
    }
}

const char* name(Op op) {
    switch (op) {
        case Op::dB:
            return "dB2string";
        case Op::Hz:
            return "Hz2string";
        case Op::ms:
            return "ms2string";
        case Op::Float:
            return "float2string";
        case Op::Int:
            return "int2string";
    }
    return "?";
}

void check(const Example& example) {
    TestEffect effect;
    effect.setSampleRate(example.sampleRate);
    Buffer buffer(example.maxLen);
    run(effect, example, buffer.bytes);
    SCOPED_TRACE(std::string(name(example.op)) + " " + std::to_string(example.value) + " bound " +
                 std::to_string(example.maxLen));
    EXPECT_EQ(buffer.text(), example.expected);
    EXPECT_TRUE(buffer.bounded());
}

constexpr float kRate = 44100.0f;

// The worked examples of the value texts, every row (bound 8 unless stated).
const Example kWorkedExamples[] = {
    {Op::Float, 1.0, 8, kRate, "1.000000"},
    {Op::Float, 0.125, 8, kRate, "0.125000"},
    {Op::Float, -3.5, 8, kRate, "-3.50000"},
    {Op::Float, 12345.678, 8, kRate, "12345.67"},
    {Op::Float, 0.0, 8, kRate, "0.000000"},
    {Op::Float, -0.0, 8, kRate, "0.000000"},
    {Op::Float, 0.7, 8, kRate, "0.699999"},
    {Op::Float, 44100.0, 8, kRate, "44100.00"},
    {Op::Float, -0.001, 8, kRate, "-0.00100"},
    {Op::Float, 1234567.0, 8, kRate, "1234567."},
    {Op::Float, -999999.0, 8, kRate, "-999999."},
    {Op::Float, 1.0e9, 8, kRate, "Huge!"},
    {Op::Float, -1.0e9, 8, kRate, "Huge!"},
    {Op::Float, -10000000.0, 8, kRate, "Huge!"},
    {Op::Float, 12345.678, 3, kRate, "123"},
    {Op::dB, 1.0, 8, kRate, "0.000000"},
    {Op::dB, 0.5, 8, kRate, "-6.02059"},
    {Op::dB, 2.0, 8, kRate, "6.020599"},
    {Op::dB, 10.0, 8, kRate, "20.00000"},
    {Op::dB, 0.0, 8, kRate, "-oo"},
    {Op::dB, -1.0, 8, kRate, "-oo"},
    {Op::Hz, 100.0, 8, kRate, "441.0000"},
    {Op::Hz, 0.0, 8, kRate, "0.000000"},
    {Op::Hz, -2.0, 8, kRate, "-22050.0"},
    {Op::ms, 44100.0, 8, kRate, "1000.000"},
    {Op::ms, 512.0, 8, kRate, "11.60997"},
    {Op::ms, 1.0, 8, kRate, "0.022675"},
    {Op::Int, 4608, 8, kRate, "4608"},
    {Op::Int, 33280, 8, kRate, "33280"},
    {Op::Int, 0, 8, kRate, ""},
    {Op::Int, -7, 8, kRate, "-7"},
    {Op::Int, 99999999, 8, kRate, "99999999"},
    {Op::Int, 100000000, 8, kRate, "Huge!"},
    {Op::Int, -100000000, 10, kRate, "-100000000"},
    {Op::Int, -100000000, 8, kRate, "-1000000"},
    {Op::Int, 4608, 3, kRate, "460"},
};

// Further edge cases.
const Example kEdgeCases[] = {
    {Op::Float, 9999999.0, 8, kRate, "9999999."},
    {Op::Float, 99999999.0, 8, kRate, "Huge!"},  // held as 100000000.0
    {Op::Float, 0.5, 8, kRate, "0.500000"},
    {Op::Float, -10000001.0, 8, kRate, "Huge!"},  // below -9999999
    {Op::Int, 1, 8, kRate, "1"},
    {Op::Int, -1, 8, kRate, "-1"},
    {Op::Int, 10, 8, kRate, "10"},
    {Op::Int, 100, 8, kRate, "100"},
    {Op::ms, 1.0, 8, 0.0f, "Huge!"},
    {Op::ms, -1.0, 8, 0.0f, "Huge!"},
    {Op::dB, 1.0e-30, 8, kRate, "-600.000"},
    {Op::Hz, -0.0, 8, kRate, "0.000000"},
    {Op::Hz, 1.0, 8, 48000.0f, "48000.00"},
};

// Decided behaviour beyond the worked examples: wide numbers, NaN,
// infinities and the int32 extremes.
const Example kDecidedLimits[] = {
    // float2string: 10000000..99999999 and -9999999..-1000000 give all integer
    // digits and the point, cut at the bound.
    {Op::Float, 12345678.0, 8, kRate, "12345678"},
    {Op::Float, 12345678.0, 9, kRate, "12345678."},
    {Op::Float, 12345678.0, 12, kRate, "12345678."},
    {Op::Float, 10000000.0, 8, kRate, "10000000"},
    {Op::Float, 99999992.0, 8, kRate, "99999992"},
    {Op::Float, -1234567.0, 8, kRate, "-1234567"},
    {Op::Float, -1234567.0, 9, kRate, "-1234567."},
    {Op::Float, -1000000.0, 8, kRate, "-1000000"},
    {Op::Float, -9999999.0, 8, kRate, "-9999999"},
    {Op::Float, -9999999.0, 9, kRate, "-9999999."},
    // float2string of a value that is not a number.
    {Op::Float, std::numeric_limits<double>::quiet_NaN(), 8, kRate, "NaN"},
    {Op::Float, -std::numeric_limits<double>::quiet_NaN(), 8, kRate, "NaN"},
    {Op::Float, std::numeric_limits<double>::quiet_NaN(), 2, kRate, "Na"},
    {Op::ms, 0.0, 8, 0.0f, "NaN"},
    // Infinities are out of range.
    {Op::Float, std::numeric_limits<double>::infinity(), 8, kRate, "Huge!"},
    {Op::Float, -std::numeric_limits<double>::infinity(), 8, kRate, "Huge!"},
    // int2string below -999999999: the correct digits, cut at the bound.
    {Op::Int, -999999999, 10, kRate, "-999999999"},
    {Op::Int, -1000000000, 11, kRate, "-1000000000"},
    {Op::Int, -1234567890, 11, kRate, "-1234567890"},
    {Op::Int, -1234567890, 8, kRate, "-1234567"},
    {Op::Int, -2147483647, 11, kRate, "-2147483647"},
    {Op::Int, static_cast<double>(std::numeric_limits<std::int32_t>::min()), 11, kRate,
     "-2147483648"},
    {Op::Int, static_cast<double>(std::numeric_limits<std::int32_t>::min()), 20, kRate,
     "-2147483648"},
    {Op::Int, static_cast<double>(std::numeric_limits<std::int32_t>::min()), 8, kRate, "-2147483"},
    {Op::Int, static_cast<double>(std::numeric_limits<std::int32_t>::max()), 8, kRate, "Huge!"},
    // A huge quotient beyond the float range is out of range, not undefined.
    {Op::Hz, 1.0e-45, 8, kRate, "Huge!"},
};

}  // namespace

TEST(ValueText, WorkedExamples) {
    for (const Example& example : kWorkedExamples) {
        check(example);
    }
}

TEST(ValueText, EdgeCases) {
    for (const Example& example : kEdgeCases) {
        check(example);
    }
}

TEST(ValueText, DecidedLimits) {
    for (const Example& example : kDecidedLimits) {
        check(example);
    }
}

TEST(ValueText, BoundZeroLeavesAnEmptyTextAndWritesOnlyIndexZero) {
    const Example cases[] = {
        {Op::Float, 1.0, 0, kRate, ""},   {Op::Float, -3.5, 0, kRate, ""},
        {Op::Float, 1.0e9, 0, kRate, ""}, {Op::dB, 0.0, 0, kRate, ""},
        {Op::dB, 2.0, 0, kRate, ""},      {Op::Hz, 100.0, 0, kRate, ""},
        {Op::ms, 512.0, 0, kRate, ""},    {Op::Int, 4608, 0, kRate, ""},
        {Op::Int, -7, 0, kRate, ""},      {Op::Int, 100000000, 0, kRate, ""},
        {Op::Int, 0, 0, kRate, ""},       {Op::Float, std::nan(""), 0, kRate, ""},
    };
    for (const Example& example : cases) {
        check(example);
    }
}

TEST(ValueText, BoundThreeKeepsTheFirstThreeCharacters) {
    const Example cases[] = {
        {Op::Float, 1.0, 3, kRate, "1.0"},     {Op::Float, -3.5, 3, kRate, "-3."},
        {Op::Float, 0.7, 3, kRate, "0.6"},     {Op::Float, 1.0e9, 3, kRate, "Hug"},
        {Op::dB, 0.0, 3, kRate, "-oo"},        {Op::dB, 0.5, 3, kRate, "-6."},
        {Op::Hz, 100.0, 3, kRate, "441"},      {Op::ms, 512.0, 3, kRate, "11."},
        {Op::Int, -7, 3, kRate, "-7"},         {Op::Int, -4608, 3, kRate, "-46"},
        {Op::Int, 100000000, 3, kRate, "Hug"}, {Op::Int, 12, 3, kRate, "12"},
    };
    for (const Example& example : cases) {
        check(example);
    }
}

TEST(ValueText, EveryInRangeFloatTextHasEightCharacters) {
    TestEffect effect;
    const float values[] = {0.0f,  1.0f,       -1.0f,      0.001f, 123.456f, -123.456f,
                            9.99f, 9999999.0f, -999999.0f, 0.7f,   -0.7f,    3.14159f};
    for (float value : values) {
        Buffer buffer(8);
        effect.float2string(value, buffer.bytes, 8);
        EXPECT_EQ(std::strlen(buffer.bytes), 8u) << value;
        EXPECT_TRUE(buffer.bounded());
    }
}

TEST(ValueText, ShorterTextsFillTheRestOfTheBoundWithZeroBytes) {
    TestEffect effect;
    Buffer buffer(8);
    effect.int2string(-7, buffer.bytes, 8);
    for (int i = 2; i <= 8; ++i) {
        EXPECT_EQ(buffer.bytes[i], '\0') << i;
    }
    EXPECT_TRUE(buffer.bounded());
}

TEST(ValueText, NullTextTouchesNothing) {
    TestEffect effect;
    effect.setSampleRate(0.0f);
    effect.float2string(1.0f, nullptr, 8);
    effect.float2string(std::nanf(""), nullptr, 8);
    effect.int2string(-7, nullptr, 8);
    effect.int2string(0, nullptr, 8);
    effect.dB2string(0.5f, nullptr, 8);
    effect.dB2string(0.0f, nullptr, 8);
    effect.Hz2string(100.0f, nullptr, 8);
    effect.ms2string(512.0f, nullptr, 8);
    SUCCEED();
}

// The three derived texts call float2string and getSampleRate through the
// virtual operations.
class OverridingEffect : public TestEffect {
  public:
    void float2string(float value, char* text, std::int32_t maxLen) noexcept override {
        // "F" and the value; written in two steps (GCC 12 warns falsely on
        // a literal + std::string at -O3).
        boundedCopy(text, "F", maxLen);
        boundedAppend(text, formatFloat(value).c_str(), maxLen);
    }
    float getSampleRate() noexcept override { return 1000.0f; }
};

TEST(ValueText, DerivedTextsGoThroughTheVirtualOperations) {
    OverridingEffect effect;
    Buffer buffer(16);
    effect.dB2string(10.0f, buffer.bytes, 16);
    EXPECT_EQ(buffer.text(), "F20");
    effect.Hz2string(10.0f, buffer.bytes, 16);
    EXPECT_EQ(buffer.text(), "F100");
    effect.ms2string(10.0f, buffer.bytes, 16);
    EXPECT_EQ(buffer.text(), "F10");
    effect.Hz2string(0.0f, buffer.bytes, 16);
    EXPECT_EQ(buffer.text(), "F0");
    EXPECT_TRUE(buffer.bounded());
}

// The bounded copy and append themselves.

TEST(BoundedText, CopyCutsFillsWithZerosAndEndsAtTheBound) {
    Buffer buffer(5);
    boundedCopy(buffer.bytes, "ab", 5);
    EXPECT_EQ(std::memcmp(buffer.bytes, "ab\0\0\0\0", 6), 0);
    EXPECT_TRUE(buffer.bounded());
    boundedCopy(buffer.bytes, "abcdefgh", 5);
    EXPECT_EQ(buffer.text(), "abcde");
    EXPECT_TRUE(buffer.bounded());
}

TEST(BoundedText, CopyOfNullSourceIsEmptyAndNullTextIsLeftAlone) {
    Buffer buffer(4);
    boundedCopy(buffer.bytes, nullptr, 4);
    EXPECT_EQ(std::memcmp(buffer.bytes, "\0\0\0\0\0", 5), 0);
    EXPECT_TRUE(buffer.bounded());
    boundedCopy(nullptr, "abc", 4);
    boundedAppend(nullptr, "abc", 4);
}

TEST(BoundedText, BoundZeroWritesOnlyIndexZero) {
    Buffer buffer(0);
    boundedCopy(buffer.bytes, "abc", 0);
    EXPECT_EQ(buffer.text(), "");
    EXPECT_TRUE(buffer.bounded());
    buffer.bytes[0] = 'q';
    boundedAppend(buffer.bytes, "abc", 0);
    EXPECT_EQ(buffer.text(), "");
    EXPECT_TRUE(buffer.bounded());
}

TEST(BoundedText, NegativeBoundWritesNothing) {
    Buffer buffer(4);
    boundedCopy(buffer.bytes, "abc", -1);
    boundedAppend(buffer.bytes, "abc", -1);
    for (char byte : buffer.bytes) {
        EXPECT_NE(byte, '\0');
    }
}

TEST(BoundedText, AppendStopsAtIndexBoundMinusOne) {
    Buffer buffer(6);
    boundedCopy(buffer.bytes, "abc", 6);
    boundedAppend(buffer.bytes, "de", 6);
    EXPECT_EQ(buffer.text(), "abcde");
    boundedAppend(buffer.bytes, "fghij", 6);
    EXPECT_EQ(buffer.text(), "abcdef");
    EXPECT_TRUE(buffer.bounded());
    boundedAppend(buffer.bytes, "z", 6);
    EXPECT_EQ(buffer.text(), "abcdef");
    boundedAppend(buffer.bytes, nullptr, 6);
    EXPECT_EQ(buffer.text(), "abcdef");
    EXPECT_TRUE(buffer.bounded());
}

TEST(BoundedText, AppendToAFullBufferWithoutZeroReadsNothingBeyondTheBound) {
    Buffer buffer(3);  // "xxx" and no zero byte within the first three
    boundedAppend(buffer.bytes, "abc", 3);
    EXPECT_EQ(buffer.text(), "xxx");
    EXPECT_TRUE(buffer.bounded());
}
