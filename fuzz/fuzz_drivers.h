// The fuzz drivers: each takes one input's bytes, drives one part of Kavro
// with them and aborts on a broken invariant. The libFuzzer targets call them,
// and so do the regression tests, which feed the seed corpus and every input
// that once failed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavro::fuzz {

// Dispatcher calls (opcode, index, value, opt, buffer contents), parameter
// changes and small processing blocks on one effect instance.
int driveDispatcher(const std::uint8_t* data, std::size_t size);

// The five value texts with any float bits or integer and bounds 0 to 64.
int driveValueText(const std::uint8_t* data, std::size_t size);

// The renderer's input loading on a file holding the bytes.
int driveRenderInput(const std::uint8_t* data, std::size_t size);

}  // namespace kavro::fuzz
