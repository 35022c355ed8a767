// kavro-render: runs an audio file through a VST 2.4 plug-in (Kavro by
// default) the way a host does, and writes the result.
#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "audio_io.h"
#include "plugin_host.h"
#include "render.h"

using kavro::render::Error;
using kavro::render::Failure;
namespace host = kavro::host;
namespace audio = kavro::audio;
namespace render = kavro::render;

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onSignal(int signal) {
    interrupted.store(true);
    std::signal(signal, SIG_DFL);  // a second signal ends the program at once
}

int fail(const Error& error) {
    std::fprintf(stderr, "error: %s\n", error.message.c_str());
    return static_cast<int>(error.kind);
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string directoryOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The output is written to a temporary file in its own folder and renamed
// into place at the end; the temporary file is removed on every failure.
class TempOutput {
  public:
    static kavro::Result<TempOutput, Error> create(const std::string& output) {
        TempOutput t;
        t.finalPath = output;
        std::string pattern = directoryOf(output) + "/." + baseName(output) + ".kavro-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = ::mkstemp(name.data());
        if (fd < 0)
            return Error{Failure::Output, "cannot create a temporary file in " +
                                              directoryOf(output) + ": " + std::strerror(errno)};
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
        t.tempPath = name.data();
        return t;
    }
    TempOutput(TempOutput&& o) noexcept
        : tempPath(std::move(o.tempPath)), finalPath(std::move(o.finalPath)) {
        o.tempPath.clear();
    }
    TempOutput(const TempOutput&) = delete;
    ~TempOutput() {
        if (!tempPath.empty())
            ::unlink(tempPath.c_str());
    }
    const std::string& path() const { return tempPath; }

    std::optional<Error> commit(bool overwrite) {
        int result = 0;
        if (overwrite) {
            result = ::rename(tempPath.c_str(), finalPath.c_str());
        } else {
            result = ::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, finalPath.c_str(),
                                 RENAME_NOREPLACE);
            if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
                if (pathExists(finalPath))
                    errno = EEXIST;
                else
                    result = ::rename(tempPath.c_str(), finalPath.c_str());
            }
        }
        if (result != 0) {
            if (errno == EEXIST)
                return Error{Failure::Output, finalPath + " exists; use --overwrite to replace it"};
            return Error{Failure::Output,
                         "cannot move the result to " + finalPath + ": " + std::strerror(errno)};
        }
        tempPath.clear();
        return std::nullopt;
    }

  private:
    TempOutput() = default;
    std::string tempPath, finalPath;
};

// A progress bar on stderr, shown only on a terminal and only once the render
// has taken more than a moment.
class Progress {
  public:
    explicit Progress(bool enabled) : on(enabled && ::isatty(STDERR_FILENO)) {}
    void update(std::int64_t done, std::int64_t total) {
        if (!on)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - start < std::chrono::milliseconds(500))
            return;
        if (shown && now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        shown = true;
        const double fraction = total > 0 ? std::min(1.0, double(done) / double(total)) : 0.0;
        const int width = 30, filled = static_cast<int>(fraction * width);
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(width - filled), '-');
        std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(fraction * 100));
        std::fflush(stderr);
    }
    void finish() {
        if (shown)
            std::fprintf(stderr, "\r\033[K");
        shown = false;
    }
    ~Progress() { finish(); }

  private:
    bool on;
    bool shown = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now(), last;
};

std::string decibels(double linear) {
    if (linear <= 0.0)
        return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dBFS", 20.0 * std::log10(linear));
    return text;
}

void printSummary(const std::string& from, const std::string& to, const std::string& pluginPath,
                  host::Instance& instance, int sampleRate, int inputChannels,
                  const std::string& precision, audio::SampleFormat format,
                  const render::Stats& stats) {
    const double duration = double(stats.framesWritten) / sampleRate;
    std::printf("rendered        %s -> %s\n", from.c_str(), to.c_str());
    std::printf("plug-in         %s (%s)\n", instance.effectName().c_str(), pluginPath.c_str());
    std::printf("input           %d channel%s at %d Hz\n", inputChannels,
                inputChannels == 1 ? "" : "s", sampleRate);
    std::printf("output          %d channel%s, %s, %s precision\n", stats.outputChannels,
                stats.outputChannels == 1 ? "" : "s", audio::formatName(format), precision.c_str());
    std::printf("frames read     %lld\n", static_cast<long long>(stats.framesRead));
    std::printf("frames written  %lld\n", static_cast<long long>(stats.framesWritten));
    std::printf("duration        %.3f s\n", duration);
    std::printf("wall time       %.3f s\n", stats.wallSeconds);
    if (stats.wallSeconds > 0)
        std::printf("speed           %.1fx real-time\n", duration / stats.wallSeconds);
    else
        std::printf("speed           (too fast to measure) x real-time\n");
    for (int c = 0; c < stats.outputChannels; ++c) {
        const double peak = stats.peak[static_cast<size_t>(c)];
        const double rms = stats.rms[static_cast<size_t>(c)];
        std::printf("channel %-2d      peak %.6f (%s)  RMS %.6f (%s)%s\n", c + 1, peak,
                    decibels(peak).c_str(), rms, decibels(rms).c_str(),
                    peak > 1.0 && format != audio::SampleFormat::Float ? "  clipped" : "");
    }
    if (stats.nonFinite > 0)
        std::printf("warning         %lld non-finite output samples\n",
                    static_cast<long long>(stats.nonFinite));
}

std::string flagNames(std::int32_t flags) {
    static const std::pair<std::int32_t, const char*> names[] = {
        {effFlagsHasClip, "HasClip"},
        {effFlagsHasVu, "HasVu"},
        {effFlagsCanMono, "CanMono"},
        {effFlagsCanReplacing, "CanReplacing"},
        {effFlagsProgramChunks, "ProgramChunks"},
        {effFlagsIsSynth, "IsSynth"},
        {effFlagsNoSoundInStop, "NoSoundInStop"},
        {effFlagsExtIsAsync, "ExtIsAsync"},
        {effFlagsExtHasBuffer, "ExtHasBuffer"},
        {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
    };
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(flags));
    std::string text = hex;
    std::string list;
    for (const auto& [bit, name] : names)
        if (flags & bit)
            list += (list.empty() ? "" : ", ") + std::string(name);
    return text + (list.empty() ? "" : " (" + list + ")");
}

int printInfo(host::Instance& p, const std::string& path) {
    std::printf("plug-in         %s\n", path.c_str());
    std::printf("effect name     %s\n", p.effectName().c_str());
    std::printf("vendor          %s\n", p.vendorString().c_str());
    std::printf("product         %s\n", p.productString().c_str());
    std::printf("vendor version  %d\n", p.vendorVersion());
    std::printf("unique id       '%s' (0x%08X)\n", host::fourCharText(p.uniqueId()).c_str(),
                static_cast<unsigned>(p.uniqueId()));
    std::printf("inputs          %d\n", p.numInputs());
    std::printf("outputs         %d\n", p.numOutputs());
    std::printf("flags           %s\n", flagNames(p.flags()).c_str());
    std::printf("initial delay   %d\n", p.initialDelay());
    std::printf("programs        %d\n", p.numPrograms());
    std::printf("parameters      %d\n", p.numParams());
    for (std::int32_t i = 0; i < p.numParams(); ++i) {
        std::printf("  %-3d name \"%s\"  display \"%s\"  label \"%s\"  value %g\n", i,
                    p.paramName(i).c_str(), p.paramDisplay(i).c_str(), p.paramLabel(i).c_str(),
                    static_cast<double>(p.getParameter(i)));
    }
    return 0;
}

struct Options {
    std::vector<std::string> files;
    std::vector<std::string> params;
    std::string block = "512";
    std::string precision = "double";
    double tail = 0.0;
    std::string format = "float";
    std::string plugin;
    bool overwrite = false, quiet = false, info = false, demo = false;
    bool precisionGiven = false;
};

int run(const Options& o) {
    // Options first: every mistake here is a usage error.
    if (o.info && o.demo)
        return fail({Failure::Usage, "--info and --demo exclude each other"});
    if (o.info && !o.files.empty())
        return fail({Failure::Usage, "--info takes no files (name the plug-in with --plugin)"});
    if (o.demo && o.files.size() > 1)
        return fail({Failure::Usage, "--demo takes at most one file: the OUTPUT"});
    if (!o.info && !o.demo && o.files.size() != 2)
        return fail(
            {Failure::Usage, "expected INPUT OUTPUT (or --demo [OUTPUT], or --info); see --help"});
    auto pattern = render::BlockPattern::parse(o.block);
    if (!pattern)
        return fail(pattern.error());
    if (!(o.tail >= 0.0) || !std::isfinite(o.tail) || o.tail > 3600.0)
        return fail({Failure::Usage, "--tail must be from 0 to 3600 seconds"});
    std::vector<render::ParamOption> paramOptions;
    for (const auto& text : o.params) {
        auto parsed = render::ParamOption::parse(text);
        if (!parsed)
            return fail(parsed.error());
        paramOptions.push_back(*parsed);
    }
    audio::SampleFormat format = audio::SampleFormat::Float;
    if (o.format == "pcm16")
        format = audio::SampleFormat::Pcm16;
    else if (o.format == "pcm24")
        format = audio::SampleFormat::Pcm24;
    const host::Precision precision =
        o.precision == "single" ? host::Precision::Single : host::Precision::Double;

    auto pluginPath = render::findPlugin(o.plugin);
    if (!pluginPath)
        return fail(pluginPath.error());

    if (o.info) {
        auto instance = host::Instance::create(*pluginPath, host::Settings{});
        if (!instance)
            return fail({Failure::Plugin, instance.error().message});
        return printInfo(*instance, *pluginPath);
    }

    // The input.
    std::string inputName, outputPath;
    std::optional<audio::Reader> reader;
    audio::Buffer demo;
    std::int64_t demoPosition = 0;
    int channels = 0, sampleRate = 0;
    std::int64_t expectedFrames = 0;
    if (o.demo) {
        demo = render::demoSignal();
        inputName = "(built-in demo)";
        outputPath = o.files.empty() ? "kavro-demo.wav" : o.files[0];
        channels = demo.channels;
        sampleRate = demo.sampleRate;
        expectedFrames = demo.frames;
    } else {
        inputName = o.files[0];
        outputPath = o.files[1];
        auto opened = audio::Reader::openFile(inputName);
        if (!opened)
            return fail({Failure::Input, opened.error().message});
        reader.emplace(std::move(*opened));
        channels = reader->info().channels;
        sampleRate = reader->info().sampleRate;
        expectedFrames = reader->info().frames;
    }

    // The output, checked before any work.
    if (isDirectory(outputPath))
        return fail({Failure::Output, outputPath + " is a directory"});
    if (!o.overwrite && pathExists(outputPath))
        return fail({Failure::Output, outputPath + " exists; use --overwrite to replace it"});

    // The plug-in, at the input's rate.
    host::Settings settings;
    settings.sampleRate = sampleRate;
    settings.blockSize = pattern->maxBlock();
    auto created = host::Instance::create(*pluginPath, settings);
    if (!created)
        return fail({Failure::Plugin, created.error().message});
    host::Instance& instance = *created;

    auto channelCheck = render::checkChannels(instance, channels);
    if (!channelCheck)
        return fail(channelCheck.error());
    auto formatCheck = audio::Writer::checkFormat(outputPath, instance.numOutputs(), format);
    if (!formatCheck)
        return fail({Failure::Usage, formatCheck.error().message});

    std::vector<render::ParamBinding> bindings;
    bool speedGiven = false;
    for (const auto& option : paramOptions) {
        auto index = render::resolveParam(instance, option.key);
        if (!index)
            return fail(index.error());
        bindings.push_back({*index, option});
    }
    if (o.demo) {
        auto speed = render::resolveParam(instance, "speed");
        if (speed) {
            for (const auto& b : bindings)
                speedGiven = speedGiven || b.index == *speed;
            if (!speedGiven)
                bindings.push_back({*speed, render::demoSpeedSweep()});
        } else if (!o.quiet) {
            std::fprintf(stderr, "note: the plug-in has no speed parameter; no sweep\n");
        }
    }

    host::Precision used = precision;
    if (!instance.supports(used)) {
        if (used == host::Precision::Double && !o.precisionGiven) {
            used = host::Precision::Single;
            if (!o.quiet)
                std::fprintf(stderr,
                             "note: the plug-in has no double-precision processing; "
                             "rendering in single precision\n");
        } else {
            return fail(
                {Failure::Plugin, "the plug-in cannot process in " + o.precision + " precision"});
        }
    }

    auto temp = TempOutput::create(outputPath);
    if (!temp)
        return fail(temp.error());
    auto writer =
        audio::Writer::open(temp->path(), outputPath, instance.numOutputs(), sampleRate, format);
    if (!writer)
        return fail({Failure::Output, writer.error().message});

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    Progress progress(!o.quiet);
    render::Spec spec;
    spec.channels = channels;
    spec.sampleRate = sampleRate;
    spec.expectedFrames = expectedFrames;
    if (reader) {
        spec.read = [&](double* out, std::int64_t frames) { return reader->read(out, frames); };
    } else {
        spec.read = [&](double* out, std::int64_t frames) -> audio::Result<std::int64_t> {
            const std::int64_t n = std::min(frames, demo.frames - demoPosition);
            std::copy_n(demo.samples.begin() + demoPosition * demo.channels, n * demo.channels,
                        out);
            demoPosition += n;
            return n;
        };
    }
    spec.write = [&](const double* data, std::int64_t frames) -> render::Result<std::int64_t> {
        auto w = writer->write(data, frames);
        if (!w)
            return Error{Failure::Output, w.error().message};
        return *w;
    };
    spec.precision = used;
    spec.pattern = *pattern;
    spec.tailFrames = static_cast<std::int64_t>(std::llround(o.tail * sampleRate));
    spec.params = bindings;
    spec.progress = [&](std::int64_t done, std::int64_t total) { progress.update(done, total); };
    spec.cancel = &interrupted;

    auto stats = render::render(instance, spec);
    progress.finish();
    if (!stats)
        return fail(stats.error());
    auto closed = writer->close();
    if (!closed)
        return fail({Failure::Output, closed.error().message});
    if (auto error = temp->commit(o.overwrite))
        return fail(*error);

    if (!o.quiet)
        printSummary(inputName, outputPath, *pluginPath, instance, sampleRate, channels,
                     used == host::Precision::Double ? "double" : "single", format, *stats);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app{
        "kavro-render: run an audio file through the Kavro plug-in (or any VST 2.4 effect)",
        "kavro-render"};
    app.footer(
        "Examples:\n"
        "  kavro-render in.wav out.wav --param speed=0.5\n"
        "  kavro-render in.wav out.wav --param speed=0:1,4:0.25 --param length=0.3 --tail 2\n"
        "  kavro-render --demo\n"
        "  kavro-render --info\n"
        "Exit status: 0 done, 2 usage, 3 input, 4 plug-in, 5 output, 130 interrupted.");
    app.add_option("files", o.files, "INPUT OUTPUT (with --demo: [OUTPUT])");
    app.add_option("--param", o.params,
                   "NAME|INDEX=VALUE (normalized 0..1) or NAME|INDEX=SECONDS:VALUE,... "
                   "(automation, linear, applied at block starts); repeatable")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    app.add_option("--block", o.block,
                   "block size N (default 512), a list N,N,...[,loop], or random:SEED[:MAX]")
        ->type_name("PATTERN");
    auto* precisionOption = app.add_option("--precision", o.precision, "double (default) or single")
                                ->check(CLI::IsMember({"double", "single"}));
    app.add_option("--tail", o.tail, "seconds of extra output after the input ends")
        ->type_name("SECONDS");
    app.add_option("--format", o.format, "output samples: float (default), pcm16 or pcm24")
        ->check(CLI::IsMember({"float", "pcm16", "pcm24"}));
    app.add_option("--plugin", o.plugin,
                   "plug-in library (default: Kavro beside the tool, then VST_PATH, "
                   "LXVST_PATH, ~/.vst, /usr/local/lib/vst, /usr/lib/vst)")
        ->type_name("PATH");
    app.add_flag("--overwrite", o.overwrite, "replace an existing OUTPUT");
    app.add_flag("--quiet", o.quiet, "print nothing but errors");
    app.add_flag("--info", o.info, "describe the plug-in and its parameters");
    app.add_flag("--demo", o.demo,
                 "render the built-in demo through a speed sweep (to kavro-demo.wav)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        std::replace(message.begin(), message.end(), '\n', ' ');
        return fail({Failure::Usage, message});
    }
    o.precisionGiven = precisionOption->count() > 0;
    try {
        return run(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
