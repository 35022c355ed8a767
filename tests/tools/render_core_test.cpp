// The renderer's core in-process: block patterns, automation, the render loop
// through Kavro, input loading.
#include <gtest/gtest.h>

#include <cmath>

#include "render.h"
#include "test_support.h"

using namespace kavro;
using render::BlockPattern;
using render::ParamOption;

namespace {

std::vector<std::int32_t> take(BlockPattern p, int n) {
    std::vector<std::int32_t> sizes;
    for (int i = 0; i < n; ++i)
        sizes.push_back(p.next());
    return sizes;
}

// Renders interleaved stereo in memory through a plug-in.
struct MemoryRender {
    std::vector<double> output;
    render::Result<render::Stats> run(host::Instance& instance, const std::vector<double>& input,
                                      int channels, render::Spec spec) {
        std::int64_t position = 0;
        const auto frames = static_cast<std::int64_t>(input.size()) / channels;
        spec.channels = channels;
        spec.expectedFrames = frames;
        spec.read = [&, frames](double* out, std::int64_t n) -> audio::Result<std::int64_t> {
            const std::int64_t k = std::min(n, frames - position);
            std::copy_n(input.begin() + position * channels, k * channels, out);
            position += k;
            return k;
        };
        const int outs = instance.numOutputs();
        spec.write = [&, outs](const double* data, std::int64_t n) -> render::Result<std::int64_t> {
            output.insert(output.end(), data, data + n * outs);
            return n;
        };
        return render::render(instance, spec);
    }
};

[[maybe_unused]] host::Settings settingsFor(int rate, const BlockPattern& pattern) {
    host::Settings s;
    s.sampleRate = rate;
    s.blockSize = pattern.maxBlock();
    return s;
}

}  // namespace

TEST(BlockPattern, FixedListLoopRandom) {
    auto fixed = BlockPattern::parse("512");
    ASSERT_TRUE(fixed.ok());
    EXPECT_EQ(take(*fixed, 3), (std::vector<std::int32_t>{512, 512, 512}));
    auto list = BlockPattern::parse("1,1024");
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(take(*list, 4), (std::vector<std::int32_t>{1, 1024, 1024, 1024}));
    auto loop = BlockPattern::parse("1,1024,loop");
    ASSERT_TRUE(loop.ok());
    EXPECT_EQ(take(*loop, 5), (std::vector<std::int32_t>{1, 1024, 1, 1024, 1}));
    EXPECT_EQ(loop->maxBlock(), 1024);
    auto random = BlockPattern::parse("random:42");
    ASSERT_TRUE(random.ok());
    auto a = take(*random, 200), b = take(*random, 200);
    EXPECT_EQ(a, b) << "a seed repeats";
    for (auto n : a)
        EXPECT_TRUE(n >= 1 && n <= 4096);
    auto small = BlockPattern::parse("random:7:16");
    ASSERT_TRUE(small.ok());
    EXPECT_EQ(small->maxBlock(), 16);
    for (const char* bad : {"0", "-3", "abc", "", "1,,2", "random:", "random:x", "random:1:0",
                            "99999999999", "loop", "2000000"}) {
        auto r = BlockPattern::parse(bad);
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_EQ(r.error().kind, render::Failure::Usage);
    }
}

TEST(ParamOption, ValuesAndBreakpoints) {
    auto plain = ParamOption::parse(" speed =0.5");
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain->key, "speed");
    EXPECT_FALSE(plain->automated);
    EXPECT_EQ(plain->valueAt(3.0), 0.5f);

    auto sweep = ParamOption::parse("0=1:0.2,3:0.8,3:0.1,5:0.1");
    ASSERT_TRUE(sweep.ok());
    EXPECT_TRUE(sweep->automated);
    EXPECT_EQ(sweep->valueAt(0.0), 0.2f);  // held before the first point
    EXPECT_EQ(sweep->valueAt(1.0), 0.2f);
    EXPECT_NEAR(sweep->valueAt(2.0), 0.5f, 1e-6);
    EXPECT_EQ(sweep->valueAt(3.0), 0.1f);   // equal times make a step
    EXPECT_EQ(sweep->valueAt(60.0), 0.1f);  // held after the last point

    for (const char* bad :
         {"speed", "=0.5", "speed=", "speed=1.5", "speed=-0.1", "speed=nan", "speed=x",
          "speed=1:0.5,0:0.2", "speed=-1:0.5", "speed=1:2", "speed=1:0.5,", "speed=1:0.5:3"}) {
        auto r = ParamOption::parse(bad);
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_EQ(r.error().kind, render::Failure::Usage) << bad;
        EXPECT_EQ(r.error().message.find('\n'), std::string::npos);
    }
}

TEST(AudioIo, LoadsFromMemoryAndRefusesBadInput) {
    test::TempDir dir;
    const auto signal = test::testSignal(2, 1000);
    test::writeAudio(dir / "a.wav", 2, 22050, signal);
    const std::string bytes = test::readFile(dir / "a.wav");
    auto loaded = audio::loadMemory(bytes.data(), bytes.size());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    EXPECT_EQ(loaded->channels, 2);
    EXPECT_EQ(loaded->sampleRate, 22050);
    EXPECT_EQ(loaded->frames, 1000);
    EXPECT_EQ(loaded->samples, signal);

    EXPECT_FALSE(audio::loadMemory("", 0).ok());
    const std::string text = "not audio at all, just some text padding padding padding";
    EXPECT_FALSE(audio::loadMemory(text.data(), text.size()).ok());
    EXPECT_FALSE(audio::loadMemory(bytes.data(), 40).ok()) << "a truncated header";
    EXPECT_FALSE(audio::loadMemory(bytes.data(), bytes.size(), 10).ok()) << "over the frame cap";

    // Non-finite samples are refused with a clear message.
    auto bad = signal;
    bad[501] = std::nan("");
    test::writeAudio(dir / "nan.wav", 2, 22050, bad);
    auto refused = audio::loadFile(dir / "nan.wav");
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("non-finite"), std::string::npos);
    EXPECT_NE(refused.error().message.find("frame 250"), std::string::npos);
}

TEST(Render, TestGainModuleMonoFeedsBothInputs) {
    auto instance = host::Instance::create(KAVRO_TEST_GAIN_PATH, host::Settings{});
    ASSERT_TRUE(instance.ok()) << instance.error().message;
    render::Spec spec;
    spec.sampleRate = 44100;
    spec.tailFrames = 100;
    const auto signal = test::testSignal(1, 3000);
    MemoryRender r;
    auto stats = r.run(*instance, signal, 1, spec);
    ASSERT_TRUE(stats.ok()) << stats.error().message;
    EXPECT_EQ(stats->framesRead, 3000);
    EXPECT_EQ(stats->framesWritten, 3100);
    ASSERT_EQ(r.output.size(), 6200u);
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(r.output[2 * i], signal[i]);  // gain 0.5 x 2
        ASSERT_EQ(r.output[2 * i + 1], signal[i]);
    }
    for (int i = 3000; i < 3100; ++i) {
        ASSERT_EQ(r.output[2 * i], 0.0) << i;  // the tail: silence in, silence out
        ASSERT_EQ(r.output[2 * i + 1], 0.0) << i;
    }
}

TEST(Render, MoreInputChannelsThanThePluginTakesIsAnError) {
    auto instance = host::Instance::create(KAVRO_TEST_GAIN_PATH, host::Settings{});
    ASSERT_TRUE(instance.ok());
    render::Spec spec;
    spec.sampleRate = 44100;
    MemoryRender r;
    auto stats = r.run(*instance, test::testSignal(3, 100), 3, spec);
    ASSERT_FALSE(stats.ok());
    EXPECT_EQ(stats.error().kind, render::Failure::Input);
}

#ifdef KAVRO_PLUGIN_PATH
namespace {
std::vector<double> renderKavro(const std::vector<double>& input, render::Spec spec,
                                BlockPattern pattern = BlockPattern::fixed(512)) {
    auto instance = host::Instance::create(KAVRO_PLUGIN_PATH, settingsFor(44100, pattern));
    EXPECT_TRUE(instance.ok());
    if (!instance.ok())
        return {};
    spec.sampleRate = 44100;
    spec.pattern = pattern;
    MemoryRender r;
    auto stats = r.run(*instance, input, 2, spec);
    EXPECT_TRUE(stats.ok()) << (stats.ok() ? "" : stats.error().message);
    return r.output;
}
}  // namespace

TEST(RenderKavro, SpeedOneIsADelayOf257) {
    const auto input = test::testSignal(2, 20000);
    const auto out = renderKavro(input, render::Spec{});
    ASSERT_EQ(out.size(), input.size());
    for (size_t i = 0; i < 2 * 257; ++i)
        ASSERT_EQ(out[i], 0.0) << i;
    for (size_t i = 2 * 257; i < out.size(); ++i)
        ASSERT_EQ(out[i], input[i - 2 * 257]) << i;
}

TEST(RenderKavro, BlockPatternsMatchFixedBlocksAtSpeedOne) {
    const auto input = test::testSignal(2, 30000);
    const auto fixed = renderKavro(input, render::Spec{});
    for (const char* text : {"1,1024,loop", "random:1", "random:99:700", "3,5,7", "4096"}) {
        auto pattern = BlockPattern::parse(text);
        ASSERT_TRUE(pattern.ok());
        EXPECT_EQ(renderKavro(input, render::Spec{}, *pattern), fixed) << text;
    }
}

TEST(RenderKavro, SingleAndDoublePrecisionAgree) {
    const auto input = test::testSignal(2, 44100);
    auto sweep = ParamOption::parse("speed=0:1,0.3:0.3,0.7:0.9");
    ASSERT_TRUE(sweep.ok());
    render::Spec spec;
    spec.params.push_back({0, *sweep});
    spec.precision = host::Precision::Double;
    const auto d = renderKavro(input, spec);
    spec.precision = host::Precision::Single;
    const auto s = renderKavro(input, spec);
    ASSERT_EQ(d.size(), s.size());
    double worst = 0;
    for (size_t i = 0; i < d.size(); ++i)
        worst = std::max(worst, std::abs(d[i] - s[i]));
    EXPECT_LE(worst, 1e-6) << "single and double differ beyond float precision";
    double energy = 0;
    for (double v : d)
        energy += v * v;
    EXPECT_GT(energy, 1.0);
}

TEST(RenderKavro, AutomationReachesThePluginAtBlockStarts) {
    auto instance = host::Instance::create(KAVRO_PLUGIN_PATH, host::Settings{});
    ASSERT_TRUE(instance.ok());
    auto speed = render::resolveParam(*instance, "  SPEED  ");
    ASSERT_TRUE(speed.ok());
    EXPECT_EQ(*speed, 0);
    auto length = render::resolveParam(*instance, "length");
    ASSERT_TRUE(length.ok());
    EXPECT_EQ(*length, 1);
    EXPECT_EQ(*render::resolveParam(*instance, "speed x"), 0);
    EXPECT_EQ(*render::resolveParam(*instance, "1"), 1);
    EXPECT_FALSE(render::resolveParam(*instance, "2").ok());
    EXPECT_FALSE(render::resolveParam(*instance, "pitch").ok());

    auto sweep = ParamOption::parse("speed=0.1:1,0.5:0.25,0.8:0.6");
    auto len = ParamOption::parse("length=0.3");
    ASSERT_TRUE(sweep.ok() && len.ok());
    render::Spec spec;
    spec.sampleRate = 44100;
    spec.pattern = *BlockPattern::parse("100,700,loop");
    spec.params = {{*speed, *sweep}, {*length, *len}};
    int blocks = 0;
    spec.onBlock = [&](host::Instance& plugin, std::int64_t start, std::int32_t) {
        const double t = static_cast<double>(start) / 44100.0;
        ASSERT_EQ(plugin.getParameter(0), sweep->valueAt(t)) << "at frame " << start;
        ASSERT_EQ(plugin.getParameter(1), 0.3f);
        ++blocks;
    };
    instance->setBlockSize(700);
    MemoryRender r;
    auto stats = r.run(*instance, test::testSignal(2, 44100), 2, spec);
    ASSERT_TRUE(stats.ok());
    EXPECT_GT(blocks, 100);
    // After the render the plug-in holds the last breakpoint's value.
    EXPECT_EQ(instance->getParameter(0), 0.6f);
}
#endif

TEST(RenderThirdParty, DragonflyReverbGivesFiniteOutputOfTheRightLength) {
    const std::string path = "/usr/lib/lxvst/DragonflyPlateReverb-vst.so";
    if (!test::exists(path))
        GTEST_SKIP() << "dragonfly-reverb-vst is not installed (" << path << " absent)";
    auto instance = host::Instance::create(path, host::Settings{48000.0, 256});
    ASSERT_TRUE(instance.ok()) << instance.error().message;
    render::Spec spec;
    spec.sampleRate = 48000;
    spec.precision = instance->supports(host::Precision::Double) ? host::Precision::Double
                                                                 : host::Precision::Single;
    spec.pattern = BlockPattern::fixed(256);
    spec.tailFrames = 4800;
    MemoryRender r;
    auto stats = r.run(*instance, test::testSignal(2, 24000), 2, spec);
    ASSERT_TRUE(stats.ok()) << stats.error().message;
    EXPECT_EQ(stats->framesWritten, 28800);
    ASSERT_EQ(r.output.size(), 2u * 28800u);
    for (double v : r.output)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_GT(stats->rms[0], 0.0);
}
