// The fuzz drivers on inputs kept for good: the seed corpus of each target,
// and every input that once broke something (each with the fault it found).
// A broken invariant aborts the test binary with the driver's message.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_drivers.h"

namespace {

using Driver = int (*)(const std::uint8_t*, std::size_t);

struct Target {
    const char* corpus;  // folder under fuzz/corpus
    Driver drive;
};

const Target kTargets[] = {
    {"dispatcher", kavro::fuzz::driveDispatcher},
    {"value_text", kavro::fuzz::driveValueText},
#ifdef KAVRO_FUZZ_RENDER_INPUT
    {"render_input", kavro::fuzz::driveRenderInput},
#endif
};

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzRegression, EverySeedOfEveryTargetRunsClean) {
    for (const Target& target : kTargets) {
        const std::filesystem::path folder =
            std::filesystem::path(KAVRO_FUZZ_CORPUS) / target.corpus;
        int seeds = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::vector<std::uint8_t> bytes = readFile(entry.path());
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(target.drive(bytes.data(), bytes.size()), 0);
            ++seeds;
        }
        EXPECT_GT(seeds, 0) << "no seed for " << target.corpus;
    }
}

}  // namespace
