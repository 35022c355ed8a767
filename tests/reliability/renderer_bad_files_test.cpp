// The built kavro-render against bad input files, run as a subprocess: each
// case must end in a clear error (one "error: " line, an error exit code, no
// output file and no temporary left behind) or in a correct render (exit 0,
// an output file holding every frame the input holds, all finite). A crash,
// a sanitizer report or a partial output file fails.
// The files are built here byte by byte, so each fault is exactly the one named.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "audio_io.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A WAV file in bytes: PCM16 or float32 samples, interleaved.
struct Wav {
    int channels = 2;
    int rate = 44100;
    bool isFloat = false;
    std::vector<double> samples;          // frames x channels
    std::int64_t declaredDataBytes = -1;  // -1: the real size
    std::size_t keepBytes = SIZE_MAX;     // cut the file here

    std::vector<unsigned char> bytes() const {
        const int width = isFloat ? 4 : 2;
        std::vector<unsigned char> data;
        for (double s : samples) {
            if (isFloat) {
                const auto f = static_cast<float>(s);
                unsigned char raw[4];
                std::memcpy(raw, &f, 4);
                data.insert(data.end(), raw, raw + 4);
            } else {
                const auto v = static_cast<std::int16_t>(
                    std::lround(std::fmax(-1.0, std::fmin(1.0, s)) * 32767));
                data.push_back(static_cast<unsigned char>(v & 0xff));
                data.push_back(static_cast<unsigned char>((v >> 8) & 0xff));
            }
        }
        std::vector<unsigned char> out;
        // Byte by byte: GCC 12 misreads a range insert here as an overflow.
        auto text = [&](const char* t) {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<unsigned char>(t[i]));
        };
        auto u32 = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<unsigned char>(v >> (8 * i)));
        };
        auto u16 = [&](std::uint16_t v) {
            out.push_back(static_cast<unsigned char>(v & 0xff));
            out.push_back(static_cast<unsigned char>(v >> 8));
        };
        const auto dataBytes =
            static_cast<std::uint32_t>(declaredDataBytes >= 0 ? declaredDataBytes : data.size());
        text("RIFF");
        u32(36 + dataBytes);
        text("WAVE");
        text("fmt ");
        u32(16);
        u16(isFloat ? 3 : 1);
        u16(static_cast<std::uint16_t>(channels));
        u32(static_cast<std::uint32_t>(rate));
        u32(static_cast<std::uint32_t>(rate * channels * width));
        u16(static_cast<std::uint16_t>(channels * width));
        u16(static_cast<std::uint16_t>(8 * width));
        text("data");
        u32(dataBytes);
        out.insert(out.end(), data.begin(), data.end());
        if (keepBytes < out.size()) {
            out.resize(keepBytes);
        }
        return out;
    }
};

std::vector<double> tone(int frames, int channels) {
    std::vector<double> s(static_cast<std::size_t>(frames * channels));
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = 0.5 * std::sin(0.05 * static_cast<double>(i));
    }
    return s;
}

struct Outcome {
    int status = -1;  // wait status
    std::string out;
    std::string err;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Outcome runRenderer(const std::vector<std::string>& arguments, const fs::path& folder) {
    std::vector<std::string> args = {KAVRO_RENDER_PATH};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::string outPath = (folder / "stdout.txt").string();
    const std::string errPath = (folder / "stderr.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    Outcome run;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        waitpid(pid, &run.status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = readText(outPath);
    run.err = readText(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return run;
}

struct Case {
    const char* name;
    Wav wav;
    std::int64_t framesHeld;  // what a correct render must give back
    bool mayRender;           // false: only a clear error is right
    bool mustRender = false;  // the control: a sound file
};

std::vector<Case> badFiles() {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::vector<Case> cases;
    {
        // The control: without it, a renderer refusing everything would pass.
        Wav w;
        w.samples = tone(2000, 2);
        cases.push_back({"a sound stereo file", w, 2000, true, true});
    }
    {
        Wav w;
        w.keepBytes = 0;
        cases.push_back({"zero-length file", w, 0, false});
    }
    {
        Wav w;
        w.samples = tone(64, 2);
        w.keepBytes = 30;  // inside the fmt chunk
        cases.push_back({"header cut inside the format chunk", w, 0, false});
    }
    {
        Wav w;
        w.samples = tone(64, 2);
        w.keepBytes = 44;  // the whole header, no sample
        cases.push_back({"header only, no sample", w, 0, false});
    }
    {
        Wav w;
        w.samples = tone(1000, 2);
        w.keepBytes = 44 + 4 * 300 + 3;  // 300 whole frames and a torn one
        cases.push_back({"data cut in the middle of a frame", w, 300, true});
    }
    {
        Wav w;
        w.samples = tone(256, 2);
        w.declaredDataBytes = 1 << 24;
        cases.push_back({"header declares more data than the file holds", w, 256, true});
    }
    {
        Wav w;
        w.channels = 8;
        w.samples = tone(512, 8);
        cases.push_back({"8 channels", w, 512, true});
    }
    {
        Wav w;
        w.rate = 384000;
        w.isFloat = true;
        w.samples = tone(4096, 2);
        cases.push_back({"384 kHz", w, 4096, true});
    }
    {
        Wav w;
        w.isFloat = true;
        // Late in a long file: blocks before it were already rendered.
        w.samples = tone(60000, 2);
        w.samples[2 * 59990 + 1] = nan;
        cases.push_back({"a NaN sample near the end", w, 60000, false});
    }
    {
        Wav w;
        w.isFloat = true;
        w.samples = tone(128, 2);
        w.samples[10] = inf;
        w.samples[11] = -inf;
        cases.push_back({"infinite samples", w, 128, false});
    }
    return cases;
}

TEST(RendererBadFiles, EachEndsInAClearErrorOrACorrectRender) {
    const fs::path root = fs::path(::testing::TempDir()) / "kavro_bad_files";
    fs::remove_all(root);
    int index = 0;
    for (const Case& c : badFiles()) {
        SCOPED_TRACE(c.name);
        const fs::path folder = root / std::to_string(index++);
        fs::create_directories(folder);
        const fs::path input = folder / "input.wav";
        const fs::path output = folder / "output.wav";
        {
            const std::vector<unsigned char> bytes = c.wav.bytes();
            std::ofstream(input, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        const Outcome run = runRenderer(
            {input.string(), output.string(), "--plugin", KAVRO_PLUGIN_PATH, "--quiet"}, folder);

        ASSERT_TRUE(WIFEXITED(run.status)) << "ended by a signal; stderr:\n" << run.err;
        const int code = WEXITSTATUS(run.status);
        std::printf("%-48s exit %d %s", c.name, code, code == 0 ? "(rendered)\n" : run.err.c_str());
        // Everything else in the folder is what the renderer left behind.
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path() != input && entry.path() != output) {
                left.push_back(entry.path().filename().string());
            }
        }
        EXPECT_TRUE(left.empty()) << "left behind: " << left.front();

        EXPECT_TRUE(code == 0 || !c.mustRender) << "exit " << code << ": " << run.err;
        if (code != 0) {
            // Exit codes of the renderer's failure kinds (usage, input, plug-in, output).
            EXPECT_TRUE(code >= 2 && code <= 5) << "exit " << code << "; stderr:\n" << run.err;
            EXPECT_EQ(run.err.rfind("error: ", 0), 0U) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_FALSE(fs::exists(output)) << "an output file after an error";
            continue;
        }
        EXPECT_TRUE(c.mayRender) << "rendered a file that can only be refused";
        auto rendered = kavro::audio::loadFile(output.string());
        ASSERT_TRUE(rendered.ok()) << rendered.error().message;
        EXPECT_EQ(rendered->frames, c.framesHeld);
        EXPECT_EQ(rendered->sampleRate, c.wav.rate);
        for (double s : rendered->samples) {
            ASSERT_TRUE(std::isfinite(s));
        }
    }
    fs::remove_all(root);
}

}  // namespace
