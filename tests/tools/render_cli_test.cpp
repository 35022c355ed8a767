// The built kavro-render tool, run as a subprocess: end to end through Kavro,
// --info, --demo, a third-party plug-in, and every kind of bad input.
#include <gtest/gtest.h>

#include <algorithm>

#include "plugin_host.h"
#include "test_support.h"

using namespace kavro;
using test::runTool;

namespace {

enum Status { kOk = 0, kUsage = 2, kInput = 3, kPlugin = 4, kOutput = 5 };

// One `error:` line on stderr, the status, no output and no temporary left.
void expectFailure(const test::RunResult& r, int status, const std::string& fragment,
                   const test::TempDir& dir, const std::vector<std::string>& before,
                   const std::string& output) {
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    EXPECT_FALSE(test::exists(output)) << output;
    auto after = dir.entries();
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before) << "something was left in the folder";
}

#ifdef KAVRO_PLUGIN_PATH
const std::string kKavro = KAVRO_PLUGIN_PATH;
#else
const std::string kKavro = KAVRO_TEST_GAIN_PATH;
#endif

}  // namespace

TEST(RenderCli, BadInputOfEveryKind) {
    test::TempDir dir;
    const auto signal = test::testSignal(2, 4000);
    test::writeAudio(dir / "in.wav", 2, 44100, signal);
    test::writeAudio(dir / "three.wav", 3, 44100, test::testSignal(3, 100));
    test::writeAudio(dir / "mono.wav", 1, 44100, test::testSignal(1, 100));
    auto withNan = signal;
    withNan[2001] = std::numeric_limits<double>::infinity();
    test::writeAudio(dir / "nan.wav", 2, 44100, withNan);
    test::writeAudio(dir / "noframes.wav", 2, 44100, {});
    std::ofstream(dir / "empty.wav").close();
    std::ofstream(dir / "text.wav") << "this is not audio, only text\n";
    std::ofstream(dir / "exists.wav") << "keep me";
    std::ofstream(dir / "notalib.so") << "not a library\n";
    ::mkdir((dir / "adir").c_str(), 0755);
    auto before = dir.entries();
    std::sort(before.begin(), before.end());

    const std::string out = dir / "out.wav";
    const std::string p = "--plugin=" + kKavro;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string fragment;
    };
    const std::vector<Case> cases = {
        // usage
        {{"in.wav"}, kUsage, "INPUT OUTPUT"},
        {{}, kUsage, "INPUT OUTPUT"},
        {{"in.wav", "out.wav", "--block", "0", p}, kUsage, "--block 0"},
        {{"in.wav", "out.wav", "--block", "random:x", p}, kUsage, "--block"},
        {{"in.wav", "out.wav", "--param", "speed=2", p}, kUsage, "from 0 to 1"},
        {{"in.wav", "out.wav", "--param", "speed", p}, kUsage, "NAME=VALUE"},
        {{"in.wav", "out.wav", "--param", "nosuch=0.5", p}, kUsage, "no such parameter"},
        {{"in.wav", "out.wav", "--param", "7=0.5", p}, kUsage, "no parameter with that index"},
        {{"in.wav", "out.wav", "--param", "speed=2:0.5,1:0.5", p}, kUsage, "must not decrease"},
        {{"in.wav", "out.wav", "--precision", "quad", p}, kUsage, "--precision"},
        {{"in.wav", "out.wav", "--format", "mp3", p}, kUsage, "--format"},
        {{"in.wav", "out.wav", "--tail", "-1", p}, kUsage, "--tail"},
        {{"in.wav", "out.wav", "--tail", "abc", p}, kUsage, "--tail"},
        {{"in.wav", "out.wav", "--bogus", p}, kUsage, "--bogus"},
        {{"in.wav", "out.flac", "--format", "float", p}, kUsage, "cannot be written"},
        {{"--info", "in.wav", p}, kUsage, "--info"},
        // input
        {{"missing.wav", "out.wav", p}, kInput, "missing.wav"},
        {{"text.wav", "out.wav", p}, kInput, "text.wav"},
        {{"empty.wav", "out.wav", p}, kInput, "empty.wav"},
        {{"noframes.wav", "out.wav", p}, kInput, "no audio frames"},
        {{"adir", "out.wav", p}, kInput, "adir"},
        {{"three.wav", "out.wav", p}, kInput, "3 channels"},
        {{"nan.wav", "out.wav", p}, kInput, "non-finite"},
        // plug-in
        {{"in.wav", "out.wav", "--plugin", dir / "nothing.so"}, kPlugin, "library not found"},
        {{"in.wav", "out.wav", "--plugin", dir / "notalib.so"}, kPlugin, "not a loadable library"},
        {{"in.wav", "out.wav", "--plugin", KAVRO_TEST_NO_ENTRY_PATH},
         kPlugin,
         "entry point missing"},
        {{"in.wav", "out.wav", "--plugin", KAVRO_TEST_REFUSE_PATH}, kPlugin, "creation refused"},
        {{"in.wav", "out.wav", "--plugin", KAVRO_TEST_PICKY_PATH}, kPlugin, "creation refused"},
        {{"in.wav", "out.wav", "--plugin", KAVRO_TEST_BAD_MAGIC_PATH}, kPlugin, "bad magic"},
        {{"--info", "--plugin", KAVRO_TEST_REFUSE_PATH}, kPlugin, "creation refused"},
        {{"mono.wav", "out.wav", "--precision", "double", "--plugin", KAVRO_TEST_MONO_PATH},
         kPlugin,
         "double precision"},
        // output
        {{"in.wav", "exists.wav", p}, kOutput, "--overwrite"},
        {{"in.wav", "adir", p}, kOutput, "is a directory"},
        {{"in.wav", "nodir/out.wav", p}, kOutput, "nodir"},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        auto r = runTool(c.args, dir.path);
        expectFailure(r, c.status, c.fragment, dir, before, out);
    }
    EXPECT_EQ(test::readFile(dir / "exists.wav"), "keep me");
}

TEST(RenderCli, SpeedOneIsTheInputDelayedBy257BitForBit) {
#ifndef KAVRO_PLUGIN_PATH
    GTEST_SKIP() << "the Kavro module is not part of this build";
#else
    test::TempDir dir;
    const auto signal = test::testSignal(2, 50000);
    test::writeAudio(dir / "in.wav", 2, 48000, signal);
    auto r = runTool({"in.wav", "out.wav", "--param", "speed=1.0"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frames read     50000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frames written  50000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("x real-time"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("peak"), std::string::npos);
    EXPECT_NE(r.out.find("RMS"), std::string::npos);
    EXPECT_NE(r.out.find("Kavro"), std::string::npos);
    auto out = audio::loadFile(dir / "out.wav");
    ASSERT_TRUE(out.ok()) << out.error().message;
    EXPECT_EQ(out->sampleRate, 48000) << "the output keeps the input's rate";
    EXPECT_EQ(out->channels, 2);
    ASSERT_EQ(out->frames, 50000);
    for (size_t i = 0; i < 2 * 257; ++i)
        ASSERT_EQ(out->samples[i], 0.0) << i;
    for (size_t i = 2 * 257; i < out->samples.size(); ++i)
        ASSERT_EQ(out->samples[i], signal[i - 2 * 257]) << i;

    // The same through a block pattern, single precision and a tail.
    r = runTool({"in.wav", "out2.wav", "--block", "1,1024,loop", "--precision", "single", "--tail",
                 "0.01", "--quiet"},
                dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "") << "--quiet prints nothing";
    auto out2 = audio::loadFile(dir / "out2.wav");
    ASSERT_TRUE(out2.ok());
    ASSERT_EQ(out2->frames, 50000 + 480);
    EXPECT_TRUE(std::equal(out->samples.begin(), out->samples.end(), out2->samples.begin()));

    // An existing output is replaced with --overwrite only.
    r = runTool({"in.wav", "out2.wav", "--quiet"}, dir.path);
    EXPECT_EQ(r.status, kOutput);
    r = runTool({"in.wav", "out2.wav", "--quiet", "--overwrite", "--format", "pcm16"}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    auto out3 = audio::loadFile(dir / "out2.wav");
    ASSERT_TRUE(out3.ok());
    EXPECT_EQ(out3->frames, 50000);
    EXPECT_NEAR(out3->samples[2 * 1000], signal[2 * (1000 - 257)], 1.0 / 32768);
#endif
}

TEST(RenderCli, MonoInputFeedsBothInputsAndLoudInputClipsInPcm) {
#ifndef KAVRO_PLUGIN_PATH
    GTEST_SKIP() << "the Kavro module is not part of this build";
#else
    test::TempDir dir;
    std::vector<double> mono(3000);
    for (int i = 0; i < 3000; ++i)
        mono[i] = 1.5 * std::sin(i * 0.05);
    test::writeAudio(dir / "mono.wav", 1, 22050, mono);
    auto r = runTool({"mono.wav", "out.wav", "--format", "pcm24", "--quiet"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = audio::loadFile(dir / "out.wav");
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out->channels, 2);
    EXPECT_EQ(out->sampleRate, 22050);
    for (int i = 257; i < 3000; ++i) {
        EXPECT_EQ(out->samples[2 * i], out->samples[2 * i + 1]);
        EXPECT_LE(std::abs(out->samples[2 * i]), 1.0) << "clipped, not wrapped";
    }
#endif
}

TEST(RenderCli, InfoListsIdentificationAndParameters) {
#ifndef KAVRO_PLUGIN_PATH
    GTEST_SKIP() << "the Kavro module is not part of this build";
#else
    test::TempDir dir;
    auto r = runTool({"--info"}, dir.path);  // the default plug-in: Kavro
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* expected :
         {"effect name     Kavro\n", "vendor          Quorla\n", "product         Kavro\n",
          "vendor version  1001\n", "unique id       'QKvr'", "inputs          2\n",
          "outputs         2\n", "CanDoubleReplacing", "parameters      2\n",
          "0   name \"SPEED x \"  display \"", "label \" \"",
          "1   name \"LENGTH \"  display \"4608\"  label \"samples\""}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    auto kavro = host::Instance::create(KAVRO_PLUGIN_PATH, host::Settings{});
    ASSERT_TRUE(kavro.ok());
    EXPECT_NE(r.out.find("display \"" + kavro->paramDisplay(0) + "\""), std::string::npos);
#endif
}

TEST(RenderCli, DemoWritesItsFile) {
#ifndef KAVRO_PLUGIN_PATH
    GTEST_SKIP() << "the Kavro module is not part of this build";
#else
    test::TempDir dir;
    auto r = runTool({"--demo"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("kavro-demo.wav"), std::string::npos);
    EXPECT_NE(r.out.find("x real-time"), std::string::npos);
    auto out = audio::loadFile(dir / "kavro-demo.wav");
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out->channels, 2);
    EXPECT_GT(out->frames, 44100 * 3);
    r = runTool({"--demo", "other.wav", "--quiet"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(test::exists(dir / "other.wav"));
    r = runTool({"--demo", "--quiet"}, dir.path);
    EXPECT_EQ(r.status, kOutput) << "the demo output exists";
#endif
}

TEST(RenderCli, ThirdPartyPlugin) {
    const std::string path = "/usr/lib/lxvst/DragonflyRoomReverb-vst.so";
    if (!test::exists(path))
        GTEST_SKIP() << "dragonfly-reverb-vst is not installed (" << path << " absent)";
    test::TempDir dir;
    test::writeAudio(dir / "in.wav", 2, 44100, test::testSignal(2, 22050));
    auto r = runTool({"in.wav", "out.wav", "--plugin", path, "--tail", "0.5"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = audio::loadFile(dir / "out.wav");
    ASSERT_TRUE(out.ok()) << out.error().message;
    EXPECT_EQ(out->frames, 22050 + 22050);
    EXPECT_EQ(out->channels, 2);
    r = runTool({"--info", "--plugin", path}, dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Dragonfly"), std::string::npos) << r.out;
}
