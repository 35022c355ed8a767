// Bit-identical output on every platform: the built module, loaded through the
// host library, renders a fixed input and the digest of every output bit must
// equal the one the 64-bit Linux build gives. A 32-bit build doing its
// arithmetic in x87 registers (extended precision) rounds read positions and
// products differently and fails here, as does any compiler or library
// difference that reaches the samples.
//
// The input is made from integers only (no sin or exp, whose last bits differ
// between C libraries). If the effect's output changes on purpose, the failure
// message gives the new digests: take them from the 64-bit Linux build.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plugin_host.h"

using namespace kavro::host;

namespace {

struct Case {
    const char* name;
    float speed;           // normalized SPEED
    float length;          // normalized LENGTH
    std::int32_t block;    // frames per call; 0 means the irregular pattern below
    std::uint64_t digest;  // of the 64-bit Linux build
};

// The plain delay at SPEED 1, slower read-out with retriggers at several
// LENGTHs, and uneven block sizes (LENGTH counts calls, so they matter).
const Case kCases[] = {
    {"unity", 1.0f, 0.125f, 512, 0xf8e239d85dd5f4fdull},
    {"half", 0.5f, 0.125f, 512, 0x9dd1642eeeed235bull},
    {"uneven", 0.37f, 0.3f, 512, 0x1cc3f898345566e9ull},
    {"everyCall", 0.93f, 0.0f, 256, 0xef6d7d598b76524dull},
    {"slowest", 0.013f, 1.0f, 512, 0x1ba22a4aa7b26d6cull},
    {"irregular", 0.77f, 0.05f, 0, 0x99a5acf647c66b6aull},
};

constexpr std::int32_t kFrames = 40000;
constexpr std::int32_t kIrregular[] = {1, 511, 64, 300, 17, 1024, 2};

// Triangle waves (zero crossings for the retriggers) plus a little noise,
// left and right at different periods; every value is exact in a double.
void makeInput(std::vector<double>& left, std::vector<double>& right) {
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    auto noise = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 40) / 16777216.0 - 0.5;  // 24 bits
    };
    auto triangle = [](std::int32_t i, std::int32_t period) {
        const std::int32_t t = i % period;
        const std::int32_t half = period / 2;
        return static_cast<double>(t < half ? t : period - t) / (half / 2) - 1.0;
    };
    for (std::int32_t i = 0; i < kFrames; ++i) {
        left[i] = 0.7 * triangle(i, 300) + 0.0625 * noise();
        right[i] = 0.5 * triangle(i, 437) + 0.125 * noise();
    }
}

std::uint64_t fnv1a(std::uint64_t hash, double sample) {
    std::uint64_t bits;
    std::memcpy(&bits, &sample, sizeof bits);
    for (int byte = 0; byte < 8; ++byte) {
        hash ^= (bits >> (8 * byte)) & 0xffu;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::uint64_t render(const Case& c, const std::vector<double>& left,
                     const std::vector<double>& right) {
    Settings settings;
    settings.sampleRate = 44100.0;
    settings.blockSize = 1024;
    auto created = Instance::create(KAVRO_PLUGIN_PATH, settings);
    EXPECT_TRUE(created.ok()) << created.error().message;
    if (!created.ok())
        return 0;
    Instance& kavro = *created;
    kavro.setParameter(0, c.speed);
    kavro.setParameter(1, c.length);
    kavro.resume(Precision::Double);

    std::vector<double> in[2] = {left, right};
    std::vector<double> out[2] = {std::vector<double>(kFrames), std::vector<double>(kFrames)};
    std::size_t pattern = 0;
    for (std::int32_t start = 0; start < kFrames;) {
        std::int32_t n = c.block ? c.block : kIrregular[pattern++ % std::size(kIrregular)];
        if (n > kFrames - start)
            n = kFrames - start;
        double* inputs[] = {in[0].data() + start, in[1].data() + start};
        double* outputs[] = {out[0].data() + start, out[1].data() + start};
        EXPECT_TRUE(kavro.process(inputs, outputs, n));
        start += n;
    }
    // A silent render would make a worthless reference.
    std::int32_t sounding = 0;
    for (std::int32_t i = 0; i < kFrames; ++i)
        sounding += out[0][i] != 0.0 && out[1][i] != 0.0;
    EXPECT_GT(sounding, kFrames / 2) << c.name;
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::int32_t i = 0; i < kFrames; ++i)
        hash = fnv1a(fnv1a(hash, out[0][i]), out[1][i]);
    return hash;
}

}  // namespace

TEST(Platform, OutputIsBitIdenticalToThe64BitLinuxBuild) {
    std::vector<double> left(kFrames), right(kFrames);
    makeInput(left, right);
    std::string actual;
    for (const Case& c : kCases) {
        const std::uint64_t digest = render(c, left, right);
        char line[96];
        std::snprintf(line, sizeof line, "    {\"%s\", ..., 0x%016" PRIx64 "ull},\n", c.name,
                      digest);
        actual += line;
        EXPECT_EQ(digest, c.digest) << c.name;
    }
    // The whole table once, for a deliberate change of the output.
    if (HasFailure())
        std::printf("digests of this build:\n%s", actual.c_str());
}

// The unity row is not only recorded: at SPEED 1 the output is the input
// delayed by 257 frames (silence before), so its digest follows from the input.
TEST(Platform, UnityDigestIsThatOfTheInputDelayedBy257Frames) {
    const Case& unity = kCases[0];
    ASSERT_STREQ(unity.name, "unity");
    ASSERT_EQ(unity.speed, 1.0f);
    std::vector<double> left(kFrames), right(kFrames);
    makeInput(left, right);
    constexpr std::int32_t kDelay = 257;
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::int32_t i = 0; i < kFrames; ++i) {
        const double l = i < kDelay ? 0.0 : left[i - kDelay];
        const double r = i < kDelay ? 0.0 : right[i - kDelay];
        hash = fnv1a(fnv1a(hash, l), r);
    }
    EXPECT_EQ(hash, unity.digest);
}
