// The libFuzzer entry of one target; KAVRO_FUZZ_DRIVER names its driver.
#include <cstddef>
#include <cstdint>

#include "fuzz_drivers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return kavro::fuzz::KAVRO_FUZZ_DRIVER(data, size);
}
