// Helpers of the renderer tests: audio files, a temporary folder, running the
// tool as a subprocess.
#pragma once

#include <dirent.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio_io.h"

namespace kavro::test {

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// A fresh folder per test, removed afterwards.
class TempDir {
  public:
    TempDir() {
        std::string pattern = ::testing::TempDir() + "kavro-render-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        path = ::mkdtemp(name.data()) ? name.data() : "";
    }
    ~TempDir() {
        if (!path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    // Names in the folder, dot files included (leftover temporaries show up).
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(path.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..")
                    names.push_back(n);
            }
            ::closedir(d);
        }
        return names;
    }
    std::string path;
};

// Writes interleaved samples to a file (float WAV unless told otherwise).
inline void writeAudio(const std::string& path, int channels, int rate,
                       const std::vector<double>& interleaved,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_double(f, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / channels));
    sf_close(f);
}

// A test signal, exactly representable in float: channel c of frame i.
inline std::vector<double> testSignal(int channels, int frames) {
    std::vector<double> s(static_cast<size_t>(channels * frames));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            // Multiples of 2^-23 below 1 in magnitude: exact in float.
            s[static_cast<size_t>(i * channels + c)] = std::ldexp(
                std::round(std::ldexp(
                    0.6 * std::sin(i * (0.013 + 0.007 * c)) + 0.2 * std::sin(i * 0.31 + c), 23)),
                -23);
    return s;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

inline std::string quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the built kavro-render with the arguments, in the folder `cwd`.
inline RunResult runTool(const std::vector<std::string>& args, const std::string& cwd) {
    std::string cmd = "cd " + quote(cwd) + " && " + quote(KAVRO_RENDER_PATH);
    for (const auto& a : args)
        cmd += " " + quote(a);
    const std::string out = cwd + "/.stdout.txt", err = cwd + "/.stderr.txt";
    cmd += " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
    int raw = std::system(cmd.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    ::unlink(out.c_str());
    ::unlink(err.c_str());
    return r;
}

}  // namespace kavro::test
