// Audio file reading and writing through libsndfile, with the validation the
// renderer needs. Input loading works on a file or on bytes in memory (the
// latter for fuzzing). Nothing here throws; failures are values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kavro_result.h"

typedef struct sf_private_tag SNDFILE;

namespace kavro::audio {

struct Error {
    std::string message;  // one line
};

template <class T>
using Result = kavro::Result<T, Error>;

struct Info {
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;  // as the file's header states
    std::string format;       // e.g. "WAV (Microsoft) / 32 bit float"
};

// Largest channel count accepted from a file.
constexpr int kMaxChannels = 256;

// A validated input: at least one channel, a positive sample rate, at least
// one frame. Reads refuse non-finite samples (NaN, infinity) with an error.
class Reader {
  public:
    static Result<Reader> openFile(const std::string& path);
    // The bytes must stay valid while the reader lives.
    static Result<Reader> openMemory(const void* data, std::size_t size);

    Reader(Reader&&) noexcept;
    Reader& operator=(Reader&&) noexcept;
    ~Reader();

    const Info& info() const noexcept { return fileInfo; }
    // Reads up to `frames` interleaved frames into `interleaved`; answers the
    // frames read, 0 at the end.
    Result<std::int64_t> read(double* interleaved, std::int64_t frames);
    std::int64_t framesRead() const noexcept { return position; }

    struct Memory;

  private:
    Reader() = default;
    static Result<Reader> finishOpen(Reader reader, const std::string& name);
    SNDFILE* file = nullptr;
    std::unique_ptr<Memory> memory;
    Info fileInfo;
    std::string name;
    std::int64_t position = 0;
};

// A whole input, interleaved.
struct Buffer {
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;
    std::vector<double> samples;  // frames × channels, interleaved
};

// Reads all of an input held in memory (the fuzzing entry), up to maxFrames.
Result<Buffer> loadMemory(const void* data, std::size_t size,
                          std::int64_t maxFrames = std::int64_t(1) << 24);
Result<Buffer> loadFile(const std::string& path, std::int64_t maxFrames = std::int64_t(1) << 30);

enum class SampleFormat { Float, Pcm16, Pcm24 };
const char* formatName(SampleFormat format) noexcept;

// Writes interleaved doubles. The container follows the file name's extension
// (.wav, .aif/.aiff, .flac, .caf, .w64, .rf64; WAV for anything else).
// Integer formats clip instead of wrapping.
class Writer {
  public:
    // Writes the file at `path` (created or truncated); the container follows
    // `name` (the final output name, which may differ from a temporary path).
    static Result<Writer> open(const std::string& path, const std::string& name, int channels,
                               int sampleRate, SampleFormat format);
    // Checks that the container of `name` can hold the format.
    static Result<int> checkFormat(const std::string& name, int channels, SampleFormat format);

    Writer(Writer&&) noexcept;
    Writer& operator=(Writer&&) noexcept;
    ~Writer();

    Result<std::int64_t> write(const double* interleaved, std::int64_t frames);
    // Flushes and closes; answers an error when the data did not reach the file.
    Result<int> close();

  private:
    Writer() = default;
    SNDFILE* file = nullptr;
    std::string name;
};

}  // namespace kavro::audio
