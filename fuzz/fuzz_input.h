// Reads typed values off a fuzzer's byte string. Once the bytes run out every
// read answers zero, so a driver never has to check the remaining length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavro::fuzz {

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) noexcept : data(data), size(size) {}

    bool empty() const noexcept { return position >= size; }

    std::uint8_t byte() noexcept { return empty() ? 0 : data[position++]; }

    // Little-endian, whatever the bytes; missing bytes read as zero.
    template <class T>
    T bits() noexcept {
        unsigned char raw[sizeof(T)] = {};
        for (unsigned char& b : raw) {
            b = byte();
        }
        T value;
        std::memcpy(&value, raw, sizeof(T));
        return value;
    }

    // Copies up to `count` bytes into `out`; bytes past the end are zero.
    void fill(void* out, std::size_t count) noexcept {
        auto* bytes = static_cast<unsigned char*>(out);
        for (std::size_t i = 0; i < count; ++i) {
            bytes[i] = byte();
        }
    }

  private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};

// A broken invariant is a crash for the fuzzer and a failed test for the
// regression cases, so both report it the same way.
[[noreturn]] inline void fail(const char* what, long detail) noexcept {
    std::fprintf(stderr, "kavro fuzz check failed: %s (%ld)\n", what, detail);
    std::abort();
}

inline void check(bool condition, const char* what, long detail = 0) noexcept {
    if (!condition) {
        fail(what, detail);
    }
}

}  // namespace kavro::fuzz
