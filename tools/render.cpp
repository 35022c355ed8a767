#include "render.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace kavro::render {

namespace {

Error usage(const std::string& message) {
    return Error{Failure::Usage, message};
}

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(
            text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            break;
        start = at + 1;
    }
    return parts;
}

// Whole-string number parsing.
bool parseInteger(const std::string& text, long long& out) {
    std::string t = trim(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(t.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool parseUnsigned(const std::string& text, unsigned long long& out) {
    std::string t = trim(text);
    if (t.empty() || t[0] == '-')
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(t.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool parseReal(const std::string& text, double& out) {
    std::string t = trim(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(t.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(out);
}

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// ---------------------------------------------------------------------------
// Block patterns.

BlockPattern BlockPattern::fixed(std::int32_t size) {
    BlockPattern p;
    p.sizes = {std::clamp<std::int32_t>(size, 1, kMaxBlock)};
    p.largest = p.sizes[0];
    return p;
}

Result<BlockPattern> BlockPattern::parse(const std::string& text) {
    const std::string t = lower(trim(text));
    const std::string bad = "--block " + text + ": ";
    const std::string range = "block sizes run from 1 to " + std::to_string(kMaxBlock);
    BlockPattern p;
    if (t.rfind("random:", 0) == 0) {
        auto parts = split(t.substr(7), ':');
        unsigned long long seed = 0, max = 4096;
        if (parts.size() > 2 || !parseUnsigned(parts[0], seed))
            return usage(bad + "expected random:SEED or random:SEED:MAX");
        if (parts.size() == 2 && (!parseUnsigned(parts[1], max) || max < 1 ||
                                  max > static_cast<unsigned long long>(kMaxBlock)))
            return usage(bad + range);
        p.random = true;
        p.seed = p.state = seed;
        p.largest = static_cast<std::int32_t>(max);
        return p;
    }
    auto parts = split(t, ',');
    if (parts.size() > 1 && trim(parts.back()) == "loop") {
        p.loop = true;
        parts.pop_back();
    }
    for (const auto& part : parts) {
        long long n = 0;
        if (!parseInteger(part, n))
            return usage(bad +
                         "expected N, a list N,N,... (optionally ending in loop) or random:SEED");
        if (n < 1 || n > kMaxBlock)
            return usage(bad + range);
        p.sizes.push_back(static_cast<std::int32_t>(n));
    }
    p.largest = *std::max_element(p.sizes.begin(), p.sizes.end());
    return p;
}

std::int32_t BlockPattern::next() noexcept {
    if (random)
        return static_cast<std::int32_t>(splitmix(state) % static_cast<std::uint64_t>(largest)) + 1;
    std::int32_t size = sizes[position];
    if (position + 1 < sizes.size())
        ++position;
    else if (loop)
        position = 0;
    return size;
}

void BlockPattern::restart() noexcept {
    position = 0;
    state = seed;
}

// ---------------------------------------------------------------------------
// Parameters.

Result<ParamOption> ParamOption::parse(const std::string& text) {
    const auto eq = text.find('=');
    const std::string bad = "--param " + text + ": ";
    if (eq == std::string::npos)
        return usage(bad + "expected NAME=VALUE or INDEX=VALUE");
    ParamOption option;
    option.key = trim(text.substr(0, eq));
    if (option.key.empty())
        return usage(bad + "the parameter name is empty");
    const std::string value = trim(text.substr(eq + 1));
    auto checkValue = [&](double v) { return v >= 0.0 && v <= 1.0; };
    if (value.find(':') == std::string::npos) {
        double v = 0;
        if (!parseReal(value, v))
            return usage(bad + "the value is not a number");
        if (!checkValue(v))
            return usage(bad + "the value must lie from 0 to 1 (normalized)");
        option.points.push_back({0.0, static_cast<float>(v)});
        return option;
    }
    option.automated = true;
    for (const auto& item : split(value, ',')) {
        auto pair = split(item, ':');
        double seconds = 0, v = 0;
        if (pair.size() != 2 || !parseReal(pair[0], seconds) || !parseReal(pair[1], v))
            return usage(bad + "expected breakpoints SECONDS:VALUE,SECONDS:VALUE,...");
        if (seconds < 0)
            return usage(bad + "breakpoint times must not be negative");
        if (!checkValue(v))
            return usage(bad + "breakpoint values must lie from 0 to 1");
        if (!option.points.empty() && seconds < option.points.back().seconds)
            return usage(bad + "breakpoint times must not decrease");
        option.points.push_back({seconds, static_cast<float>(v)});
    }
    return option;
}

float ParamOption::valueAt(double seconds) const noexcept {
    if (points.empty())
        return 0.0f;
    if (seconds <= points.front().seconds)
        return points.front().value;
    for (size_t i = 1; i < points.size(); ++i) {
        const Point& a = points[i - 1];
        const Point& b = points[i];
        if (seconds < b.seconds) {
            const double t = (seconds - a.seconds) / (b.seconds - a.seconds);
            return static_cast<float>(a.value + (static_cast<double>(b.value) - a.value) * t);
        }
    }
    return points.back().value;
}

Result<std::int32_t> resolveParam(host::Instance& instance, const std::string& key) {
    const std::int32_t count = instance.numParams();
    long long index = 0;
    if (parseInteger(key, index)) {
        if (index < 0 || index >= count)
            return usage("--param " + key + ": no parameter with that index (the plug-in has " +
                         std::to_string(count) + ")");
        return static_cast<std::int32_t>(index);
    }
    const std::string wanted = lower(trim(key));
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < count; ++i)
        names.push_back(lower(trim(instance.paramName(i))));
    std::string known;
    for (std::int32_t i = 0; i < count; ++i)
        known += (i ? ", " : "") + std::string("\"") + trim(instance.paramName(i)) + "\"";
    // Full name first, then the first word of the name.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::int32_t> found;
        for (std::int32_t i = 0; i < count; ++i) {
            std::string candidate = names[static_cast<size_t>(i)];
            if (pass == 1)
                candidate = candidate.substr(0, candidate.find_first_of(" \t"));
            if (candidate == wanted)
                found.push_back(i);
        }
        if (found.size() == 1)
            return found[0];
        if (found.size() > 1)
            return usage("--param " + key + ": several parameters match; use the index");
    }
    return usage("--param " + key + ": no such parameter (known: " + known + ")");
}

// ---------------------------------------------------------------------------
// Finding the plug-in.

#ifndef KAVRO_PLUGIN_FILE_NAME
#define KAVRO_PLUGIN_FILE_NAME "Kavro.so"
#endif

std::vector<std::string> pluginSearchList() {
    const std::string file = KAVRO_PLUGIN_FILE_NAME;
    std::vector<std::string> list;
    // Beside the tool.
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir(self);
        dir = dir.substr(0, dir.find_last_of('/'));
        list.push_back(dir + "/" + file);
        list.push_back(dir + "/../lib/vst/" + file);  // an installed tool: <prefix>/bin
#ifdef KAVRO_BUILD_TREE_PLUGIN
        // A tool running in its build tree uses the module built there (the
        // tool lives in tools/, Kavro in effect/).
        const std::string buildDir = KAVRO_BUILD_DIR "/";
        if (dir.compare(0, buildDir.size(), buildDir) == 0) {
            list.push_back(KAVRO_BUILD_TREE_PLUGIN);
            list.push_back(dir + "/../effect/" + file);
        }
#endif
    }
    for (const char* variable : {"VST_PATH", "LXVST_PATH"}) {
        if (const char* value = std::getenv(variable))
            for (const auto& dir : split(value, ':'))
                if (!dir.empty())
                    list.push_back(dir + "/" + file);
    }
    if (const char* home = std::getenv("HOME"))
        list.push_back(std::string(home) + "/.vst/" + file);
    list.push_back("/usr/local/lib/vst/" + file);
    list.push_back("/usr/lib/vst/" + file);
    return list;
}

Result<std::string> findPlugin(const std::string& given) {
    if (!given.empty())
        return given;
    auto list = pluginSearchList();
    for (const auto& candidate : list)
        if (isFile(candidate))
            return candidate;
    std::string where;
    for (const auto& candidate : list)
        where += (where.empty() ? "" : ", ") + candidate;
    return Error{Failure::Plugin, std::string("cannot find ") + KAVRO_PLUGIN_FILE_NAME +
                                      " (looked in: " + where + "); name one with --plugin PATH"};
}

// ---------------------------------------------------------------------------
// The demo.

audio::Buffer demoSignal(int sampleRate, double seconds) {
    audio::Buffer b;
    b.channels = 2;
    b.sampleRate = sampleRate;
    b.frames = static_cast<std::int64_t>(seconds * sampleRate);
    b.samples.assign(static_cast<size_t>(b.frames * 2), 0.0);
    const double rate = sampleRate;
    const double pi = 3.14159265358979323846;
    // A minor arpeggio in eighth notes at 120 BPM; the right channel plays the
    // same line a fifth higher and half a note later.
    const int notes[] = {57, 60, 64, 69, 72, 69, 64, 60, 55, 59, 62, 67, 71, 67, 62, 59};
    const double step = 0.25;
    std::uint64_t noise = 12345;
    for (std::int64_t i = 0; i < b.frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        double left = 0, right = 0;
        for (int voice = 0; voice < 2; ++voice) {
            const double offset = voice ? step / 2 : 0.0;
            if (t < offset)
                continue;
            const double tt = t - offset;
            const int k = static_cast<int>(tt / step);
            const double local = tt - k * step;
            const double f = 440.0 * std::pow(2.0, (notes[k % 16] + (voice ? 7 : 0) - 69) / 12.0);
            // A plucked tone: a few harmonics with a fast decay.
            double tone = 0;
            for (int h = 1; h <= 5; ++h)
                tone += std::sin(2 * pi * f * h * local) / h * std::exp(-local * (6.0 + 3.0 * h));
            (voice ? right : left) += 0.28 * tone;
        }
        // A kick on every beat, a noise hat off the beat.
        const double beat = std::fmod(t, 0.5);
        const double kick =
            std::sin(2 * pi * (50.0 * beat + 60.0 * (1 - std::exp(-beat * 30)) / 30.0 * 30.0)) *
            std::exp(-beat * 9.0) * 0.45;
        const double hatTime = std::fmod(t + 0.25, 0.5);
        const double white =
            static_cast<double>(splitmix(noise) >> 11) / 9007199254740992.0 * 2 - 1;
        const double hat = white * std::exp(-hatTime * 60.0) * 0.12;
        left += kick + hat * 0.7;
        right += kick + hat;
        b.samples[static_cast<size_t>(2 * i)] = left;
        b.samples[static_cast<size_t>(2 * i + 1)] = right;
    }
    double peak = 0;
    for (double s : b.samples)
        peak = std::max(peak, std::abs(s));
    if (peak > 0)
        for (double& s : b.samples)
            s *= 0.8 / peak;
    return b;
}

ParamOption demoSpeedSweep() {
    ParamOption option;
    option.key = "speed";
    option.automated = true;
    option.points = {{0.0, 1.0f},  {1.0, 1.0f}, {4.0, 0.25f},
                     {5.0, 0.25f}, {7.5, 1.0f}, {8.5, 1.0f}};
    return option;
}

// ---------------------------------------------------------------------------
// The render loop.

Result<int> checkChannels(const host::Instance& instance, int inputChannels) {
    if (instance.numOutputs() < 1)
        return Error{Failure::Plugin, "the plug-in has no audio outputs"};
    if (inputChannels > 1 && inputChannels > instance.numInputs())
        return Error{Failure::Input, "the input has " + std::to_string(inputChannels) +
                                         " channels but the plug-in takes " +
                                         std::to_string(instance.numInputs())};
    if (inputChannels == 1 && instance.numInputs() < 1)
        return Error{Failure::Input, "the plug-in takes no audio input"};
    return 0;
}

Result<Stats> render(host::Instance& instance, Spec& spec) {
    auto channelCheck = checkChannels(instance, spec.channels);
    if (!channelCheck)
        return channelCheck.error();
    if (!instance.supports(spec.precision))
        return Error{Failure::Plugin,
                     std::string("the plug-in cannot process in ") +
                         (spec.precision == host::Precision::Double ? "double" : "single") +
                         " precision"};
    const int C = spec.channels;
    const int I = instance.numInputs();
    const int O = instance.numOutputs();
    const std::int32_t maxBlock = spec.pattern.maxBlock();
    if (maxBlock > instance.settings().blockSize)
        instance.setBlockSize(maxBlock);
    const auto B = static_cast<size_t>(maxBlock);
    const bool useDouble = spec.precision == host::Precision::Double;

    std::vector<double> readBuffer(B * static_cast<size_t>(C));
    std::vector<double> writeBuffer(B * static_cast<size_t>(O));
    std::vector<double> inD(useDouble ? B * static_cast<size_t>(std::max(I, 1)) : 0);
    std::vector<double> outD(useDouble ? B * static_cast<size_t>(O) : 0);
    std::vector<float> inF(useDouble ? 0 : B * static_cast<size_t>(std::max(I, 1)));
    std::vector<float> outF(useDouble ? 0 : B * static_cast<size_t>(O));
    std::vector<double*> inPtrD(static_cast<size_t>(std::max(I, 1))),
        outPtrD(static_cast<size_t>(O));
    std::vector<float*> inPtrF(static_cast<size_t>(std::max(I, 1))),
        outPtrF(static_cast<size_t>(O));
    for (size_t c = 0; c < inPtrD.size(); ++c) {
        if (useDouble)
            inPtrD[c] = inD.data() + c * B;
        else
            inPtrF[c] = inF.data() + c * B;
    }
    for (size_t c = 0; c < static_cast<size_t>(O); ++c) {
        if (useDouble)
            outPtrD[c] = outD.data() + c * B;
        else
            outPtrF[c] = outF.data() + c * B;
    }

    Stats stats;
    stats.outputChannels = O;
    stats.peak.assign(static_cast<size_t>(O), 0.0);
    std::vector<double> sumSquares(static_cast<size_t>(O), 0.0);

    // Plain values before the start; automation at every block start.
    for (const auto& p : spec.params)
        if (!p.option.automated)
            instance.setParameter(p.index, p.option.points[0].value);

    const auto started = std::chrono::steady_clock::now();
    instance.resume(spec.precision);
    spec.pattern.restart();
    bool inputDone = false;
    std::int64_t tailLeft = spec.tailFrames;
    std::int64_t position = 0;
    const std::int64_t expectedTotal = spec.expectedFrames + spec.tailFrames;
    std::optional<Error> failure;

    while (!failure) {
        if (spec.cancel && spec.cancel->load()) {
            failure = Error{Failure::Interrupted, "interrupted"};
            break;
        }
        const std::int32_t want = spec.pattern.next();
        std::int64_t got = 0;
        if (!inputDone) {
            // Fill the block from the input, reading until it is full or ends.
            while (got < want) {
                auto r = spec.read(readBuffer.data() + got * C, want - got);
                if (!r) {
                    failure = Error{Failure::Input, r.error().message};
                    break;
                }
                if (*r == 0) {
                    inputDone = true;
                    break;
                }
                got += *r;
            }
            if (failure)
                break;
            stats.framesRead += got;
        }
        std::int64_t length = got;
        if (inputDone && length < want) {
            const std::int64_t extra = std::min<std::int64_t>(want - length, tailLeft);
            std::fill(readBuffer.begin() + length * C, readBuffer.begin() + (length + extra) * C,
                      0.0);
            length += extra;
            tailLeft -= extra;
        }
        if (length == 0)
            break;
        const auto n = static_cast<std::int32_t>(length);

        // Inputs: mono feeds every input; otherwise channel by channel, the
        // plug-in's surplus inputs silent.
        for (int c = 0; c < I; ++c) {
            const int source = C == 1 ? 0 : c;
            for (std::int32_t i = 0; i < n; ++i) {
                const double v = source < C ? readBuffer[static_cast<size_t>(i * C + source)] : 0.0;
                if (useDouble)
                    inPtrD[static_cast<size_t>(c)][i] = v;
                else
                    inPtrF[static_cast<size_t>(c)][i] = static_cast<float>(v);
            }
        }
        if (useDouble)
            std::fill(outD.begin(), outD.end(), 0.0);
        else
            std::fill(outF.begin(), outF.end(), 0.0f);

        const double seconds = static_cast<double>(position) / spec.sampleRate;
        for (const auto& p : spec.params)
            if (p.option.automated)
                instance.setParameter(p.index, p.option.valueAt(seconds));
        if (spec.onBlock)
            spec.onBlock(instance, position, n);

        const bool processed = useDouble ? instance.process(inPtrD.data(), outPtrD.data(), n)
                                         : instance.process(inPtrF.data(), outPtrF.data(), n);
        if (!processed) {
            failure = Error{Failure::Plugin,
                            "the plug-in refused a block of " + std::to_string(n) + " frames"};
            break;
        }
        for (int c = 0; c < O; ++c) {
            for (std::int32_t i = 0; i < n; ++i) {
                const double v = useDouble
                                     ? outPtrD[static_cast<size_t>(c)][i]
                                     : static_cast<double>(outPtrF[static_cast<size_t>(c)][i]);
                writeBuffer[static_cast<size_t>(i * O + c)] = v;
                if (!std::isfinite(v)) {
                    ++stats.nonFinite;
                    continue;
                }
                const double a = std::abs(v);
                if (a > stats.peak[static_cast<size_t>(c)])
                    stats.peak[static_cast<size_t>(c)] = a;
                sumSquares[static_cast<size_t>(c)] += v * v;
            }
        }
        auto w = spec.write(writeBuffer.data(), length);
        if (!w) {
            failure = w.error();
            break;
        }
        stats.framesWritten += length;
        position += length;
        if (spec.progress)
            spec.progress(position, std::max(expectedTotal, position));
        if (inputDone && tailLeft == 0)
            break;
    }
    instance.suspend();
    stats.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (failure)
        return *failure;
    if (stats.framesRead == 0)
        return Error{Failure::Input, "the input holds no audio frames"};
    stats.rms.resize(static_cast<size_t>(O));
    for (size_t c = 0; c < static_cast<size_t>(O); ++c)
        stats.rms[c] = stats.framesWritten
                           ? std::sqrt(sumSquares[c] / static_cast<double>(stats.framesWritten))
                           : 0.0;
    return stats;
}

}  // namespace kavro::render
