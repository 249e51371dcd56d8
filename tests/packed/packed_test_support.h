// Shared helpers of the packed-kernel tests: seeded inputs, guarded lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kernels/cpu_features.h"
#include "kernels/packed/packed_kernels.h"
#include "support/test_seed.h"

namespace trelvane::packed_test {

// Value written around every line to catch stray writes.
constexpr int16_t kGuard = 0x5A5A;
constexpr int kGuardValues = 16;

// A line of int16 values with kGuardValues guards on either side; data()
// starts `shift` values past a 16-byte boundary of the guard, so 4 gives a
// line that is 8-byte but not 16-byte aligned.
class GuardedLine {
public:
    explicit GuardedLine(int values, int shift = 0)
        : shift_(shift), values_(values), storage_(values + 2 * kGuardValues + shift, kGuard) {}
    int16_t* data() { return storage_.data() + kGuardValues + shift_; }
    const int16_t* data() const { return storage_.data() + kGuardValues + shift_; }
    int16_t& operator[](int i) { return data()[i]; }
    int16_t operator[](int i) const { return data()[i]; }
    int size() const { return values_; }
    std::vector<int16_t> Values() const { return {data(), data() + values_}; }
    // True when nothing outside [0, size) was written.
    bool GuardsIntact() const {
        for (int i = 0; i < static_cast<int>(storage_.size()); ++i) {
            const int j = i - kGuardValues - shift_;
            if ((j < 0 || j >= values_) && storage_[i] != kGuard) return false;
        }
        return true;
    }

private:
    int shift_;
    int values_;
    std::vector<int16_t> storage_;
};

// Kinds of input data; the extremes make folds, differences and sums saturate.
enum class Fill { kRandom, kSmall, kExtremes, kAlternating, kMax, kMin };

inline const char* FillName(Fill f) {
    static constexpr const char* kNames[] = {"random",      "small", "extremes",
                                             "alternating", "32767", "-32768"};
    return kNames[static_cast<int>(f)];
}

inline constexpr Fill kAllFills[] = {Fill::kRandom,      Fill::kSmall, Fill::kExtremes,
                                     Fill::kAlternating, Fill::kMax,   Fill::kMin};

// Value i of a line of the given kind. kAlternating flips between the two
// extremes from position to position, with lanes 2 and 3 of opposite sign.
inline int16_t FillValue(Fill f, int i, std::mt19937& rng) {
    static constexpr int16_t kExtreme[] = {-32768, -32767, -1, 0, 1, 32767};
    switch (f) {
        case Fill::kRandom:
            return static_cast<int16_t>(std::uniform_int_distribution<int>(-32768, 32767)(rng));
        case Fill::kSmall:
            return static_cast<int16_t>(std::uniform_int_distribution<int>(-2048, 2047)(rng));
        case Fill::kExtremes:
            return kExtreme[std::uniform_int_distribution<int>(0, 5)(rng)];
        case Fill::kAlternating:
            return ((i / kQuadLanes) + (i % kQuadLanes) / 2) % 2 == 0 ? int16_t{32767}
                                                                      : int16_t{-32768};
        case Fill::kMax:
            return 32767;
        case Fill::kMin:
            return -32768;
    }
    return 0;
}

inline void FillLine(GuardedLine& line, Fill f, std::mt19937& rng) {
    for (int i = 0; i < line.size(); ++i) line[i] = FillValue(f, i, rng);
}

using test::SeedTrace;

// A vector level by the mask that asks for it.
struct Level {
    const char* name;
    uint32_t mask;
};

inline constexpr Level kPortable{"Portable", 0};
// The SIMD levels, available here or not.
inline constexpr Level kSimdLevels[] = {{"Sse2", kCpuSse2}, {"Avx2", kCpuSse2 | kCpuAvx2}};

// Whether this build and processor give the level's table in full.
inline bool Available(const Level& level) {
    return PackedKernelsFor(level.mask).cpuFeatures == level.mask;
}

// The levels this build and processor run, the portable model first.
inline std::vector<Level> AvailableLevels() {
    std::vector<Level> levels{kPortable};
    for (const Level& level : kSimdLevels) {
        if (Available(level)) levels.push_back(level);
    }
    return levels;
}

inline std::string LevelName(const ::testing::TestParamInfo<Level>& info) { return info.param.name; }

}  // namespace trelvane::packed_test
