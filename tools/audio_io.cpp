#include "audio_io.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace kavro::audio {

// libsndfile virtual I/O over bytes in memory.
struct Reader::Memory {
    const unsigned char* data = nullptr;
    sf_count_t size = 0;
    sf_count_t offset = 0;
};

namespace {

sf_count_t memLength(void* user) {
    return static_cast<Reader::Memory*>(user)->size;
}
sf_count_t memSeek(sf_count_t offset, int whence, void* user) {
    auto* m = static_cast<Reader::Memory*>(user);
    sf_count_t target = offset;
    if (whence == SEEK_CUR)
        target = m->offset + offset;
    else if (whence == SEEK_END)
        target = m->size + offset;
    if (target < 0)
        return -1;
    m->offset = std::min(target, m->size);
    return m->offset;
}
sf_count_t memRead(void* ptr, sf_count_t count, void* user) {
    auto* m = static_cast<Reader::Memory*>(user);
    if (count <= 0)
        return 0;
    sf_count_t n = std::min(count, m->size - m->offset);
    if (n <= 0)
        return 0;
    std::memcpy(ptr, m->data + m->offset, static_cast<size_t>(n));
    m->offset += n;
    return n;
}
sf_count_t memWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t memTell(void* user) {
    return static_cast<Reader::Memory*>(user)->offset;
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::string describeFormat(int format) {
    SF_FORMAT_INFO major{}, minor{};
    major.format = format & SF_FORMAT_TYPEMASK;
    minor.format = format & SF_FORMAT_SUBMASK;
    std::string text;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major) == 0 && major.name)
        text = major.name;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor) == 0 && minor.name)
        text += std::string(text.empty() ? "" : " / ") + minor.name;
    return text;
}

std::string lowerExtension(const std::string& name) {
    auto slash = name.find_last_of('/');
    auto dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int containerFor(const std::string& name) {
    const std::string ext = lowerExtension(name);
    if (ext == "aif" || ext == "aiff")
        return SF_FORMAT_AIFF;
    if (ext == "flac")
        return SF_FORMAT_FLAC;
    if (ext == "caf")
        return SF_FORMAT_CAF;
    if (ext == "w64")
        return SF_FORMAT_W64;
    if (ext == "rf64")
        return SF_FORMAT_RF64;
    return SF_FORMAT_WAV;
}

int subtypeFor(SampleFormat format) {
    switch (format) {
        case SampleFormat::Float:
            return SF_FORMAT_FLOAT;
        case SampleFormat::Pcm16:
            return SF_FORMAT_PCM_16;
        case SampleFormat::Pcm24:
            return SF_FORMAT_PCM_24;
    }
    return SF_FORMAT_FLOAT;
}

}  // namespace

const char* formatName(SampleFormat format) noexcept {
    switch (format) {
        case SampleFormat::Float:
            return "float";
        case SampleFormat::Pcm16:
            return "pcm16";
        case SampleFormat::Pcm24:
            return "pcm24";
    }
    return "?";
}

Reader::Reader(Reader&& other) noexcept
    : file(other.file),
      memory(std::move(other.memory)),
      fileInfo(std::move(other.fileInfo)),
      name(std::move(other.name)),
      position(other.position) {
    other.file = nullptr;
}

Reader& Reader::operator=(Reader&& other) noexcept {
    if (this != &other) {
        if (file)
            sf_close(file);
        file = other.file;
        other.file = nullptr;
        memory = std::move(other.memory);
        fileInfo = std::move(other.fileInfo);
        name = std::move(other.name);
        position = other.position;
    }
    return *this;
}

Reader::~Reader() {
    if (file)
        sf_close(file);
}

Result<Reader> Reader::openFile(const std::string& path) {
    Reader reader;
    SF_INFO info{};
    reader.file = sf_open(path.c_str(), SFM_READ, &info);
    if (!reader.file)
        return Error{"cannot read " + path + ": " + oneLine(sf_strerror(nullptr))};
    reader.fileInfo.channels = info.channels;
    reader.fileInfo.sampleRate = info.samplerate;
    reader.fileInfo.frames = info.frames;
    reader.fileInfo.format = describeFormat(info.format);
    return finishOpen(std::move(reader), path);
}

Result<Reader> Reader::openMemory(const void* data, std::size_t size) {
    Reader reader;
    reader.memory = std::make_unique<Memory>();
    reader.memory->data = static_cast<const unsigned char*>(data);
    reader.memory->size = static_cast<sf_count_t>(size);
    static SF_VIRTUAL_IO io = {memLength, memSeek, memRead, memWrite, memTell};
    SF_INFO info{};
    reader.file = sf_open_virtual(&io, SFM_READ, &info, reader.memory.get());
    if (!reader.file)
        return Error{"cannot read input: " + oneLine(sf_strerror(nullptr))};
    reader.fileInfo.channels = info.channels;
    reader.fileInfo.sampleRate = info.samplerate;
    reader.fileInfo.frames = info.frames;
    reader.fileInfo.format = describeFormat(info.format);
    return finishOpen(std::move(reader), "input");
}

Result<Reader> Reader::finishOpen(Reader reader, const std::string& name) {
    reader.name = name;
    const Info& info = reader.fileInfo;
    if (info.channels < 1 || info.channels > kMaxChannels)
        return Error{name + ": unsupported channel count " + std::to_string(info.channels)};
    if (info.sampleRate <= 0)
        return Error{name + ": invalid sample rate " + std::to_string(info.sampleRate)};
    if (info.frames <= 0)
        return Error{name + ": the file holds no audio frames"};
    return reader;
}

Result<std::int64_t> Reader::read(double* interleaved, std::int64_t frames) {
    if (frames <= 0)
        return std::int64_t{0};
    sf_count_t got = sf_readf_double(file, interleaved, frames);
    if (got < 0)
        got = 0;
    if (got == 0 && sf_error(file) != SF_ERR_NO_ERROR)
        return Error{name + ": read error: " + oneLine(sf_strerror(file))};
    const int channels = fileInfo.channels;
    for (sf_count_t i = 0; i < got * channels; ++i) {
        if (!std::isfinite(interleaved[i])) {
            return Error{name + ": non-finite sample (NaN or infinity) at frame " +
                         std::to_string(position + i / channels) + ", channel " +
                         std::to_string(i % channels + 1) + "; refusing to render it"};
        }
    }
    position += got;
    return static_cast<std::int64_t>(got);
}

namespace {
Result<Buffer> loadAll(Result<Reader> opened, std::int64_t maxFrames) {
    if (!opened)
        return opened.error();
    Reader& reader = *opened;
    Buffer buffer;
    buffer.channels = reader.info().channels;
    buffer.sampleRate = reader.info().sampleRate;
    constexpr std::int64_t kChunk = 4096;
    std::vector<double> chunk(static_cast<size_t>(kChunk * buffer.channels));
    for (;;) {
        auto got = reader.read(chunk.data(), kChunk);
        if (!got)
            return got.error();
        if (*got == 0)
            break;
        if (buffer.frames + *got > maxFrames)
            return Error{"input is longer than " + std::to_string(maxFrames) + " frames"};
        buffer.samples.insert(buffer.samples.end(), chunk.begin(),
                              chunk.begin() + *got * buffer.channels);
        buffer.frames += *got;
    }
    if (buffer.frames == 0)
        return Error{"the input holds no audio frames"};
    return buffer;
}
}  // namespace

Result<Buffer> loadMemory(const void* data, std::size_t size, std::int64_t maxFrames) {
    return loadAll(Reader::openMemory(data, size), maxFrames);
}

Result<Buffer> loadFile(const std::string& path, std::int64_t maxFrames) {
    return loadAll(Reader::openFile(path), maxFrames);
}

Result<int> Writer::checkFormat(const std::string& name, int channels, SampleFormat format) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = 44100;
    info.format = containerFor(name) | subtypeFor(format);
    if (!sf_format_check(&info))
        return Error{"format " + std::string(formatName(format)) + " with " +
                     std::to_string(channels) + " channels cannot be written as " +
                     describeFormat(containerFor(name)) + " (" + name + ")"};
    return 0;
}

Result<Writer> Writer::open(const std::string& path, const std::string& name, int channels,
                            int sampleRate, SampleFormat format) {
    auto check = checkFormat(name, channels, format);
    if (!check)
        return check.error();
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = containerFor(name) | subtypeFor(format);
    Writer writer;
    writer.name = name;
    writer.file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!writer.file)
        return Error{"cannot write " + name + ": " + oneLine(sf_strerror(nullptr))};
    if (format != SampleFormat::Float)
        sf_command(writer.file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return writer;
}

Writer::Writer(Writer&& other) noexcept : file(other.file), name(std::move(other.name)) {
    other.file = nullptr;
}
Writer& Writer::operator=(Writer&& other) noexcept {
    if (this != &other) {
        if (file)
            sf_close(file);
        file = other.file;
        other.file = nullptr;
        name = std::move(other.name);
    }
    return *this;
}
Writer::~Writer() {
    if (file)
        sf_close(file);
}

Result<std::int64_t> Writer::write(const double* interleaved, std::int64_t frames) {
    sf_count_t written = sf_writef_double(file, interleaved, frames);
    if (written != frames)
        return Error{"cannot write " + name + ": " + oneLine(sf_strerror(file))};
    return static_cast<std::int64_t>(written);
}

Result<int> Writer::close() {
    if (!file)
        return 0;
    sf_write_sync(file);
    int err = sf_error(file);
    std::string text = err ? oneLine(sf_strerror(file)) : "";
    int closed = sf_close(file);
    file = nullptr;
    if (err || closed)
        return Error{"cannot finish " + name + ": " + (text.empty() ? "close failed" : text)};
    return 0;
}

}  // namespace kavro::audio
