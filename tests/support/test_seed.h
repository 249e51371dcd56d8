// Seeds of the random tests: TRELVANE_SEED replays a run, otherwise each run
// draws a fresh seed. Tests put SeedTrace(seed) in a SCOPED_TRACE so that
// every failure names the seed and how to replay it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace trelvane::test {

inline uint32_t TestSeed() {
    if (const char* text = std::getenv("TRELVANE_SEED"); text != nullptr && *text != '\0') {
        return static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
    }
    return std::random_device{}();
}

inline std::string SeedTrace(uint32_t seed) {
    return "seed " + std::to_string(seed) + " (replay: TRELVANE_SEED=" + std::to_string(seed) + ")";
}

}  // namespace trelvane::test
