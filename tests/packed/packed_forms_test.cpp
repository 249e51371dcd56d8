// Each SIMD level's table (SSE2, AVX2) against the portable model, kernel by
// kernel, bit for bit:
// every count from 0 to 72 (whole pairs of positions, a lone position, the
// scalar remainder values), both 16- and 8-byte alignment, seeded random and
// extreme inputs, with guards around every output.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kernels/packed/packed_kernels.h"
#include "packed/packed_test_support.h"

namespace trelvane {
namespace {

using packed_test::Fill;
using packed_test::FillLine;
using packed_test::FillName;
using packed_test::GuardedLine;
using packed_test::kAllFills;

constexpr int kMaxCount = 72;
constexpr int kShifts[] = {0, 4};

class SimdMatchesPortable : public ::testing::TestWithParam<packed_test::Level> {
protected:
    void SetUp() override {
        if (!packed_test::Available(GetParam())) {
            GTEST_SKIP() << "this build or processor has no " << GetParam().name << " level";
        }
    }

    // Both forms on copies of the same lines; the lines must come out equal,
    // guards included.
    template <typename Run>
    void Compare(const std::vector<GuardedLine>& inputs, Run run) {
        std::vector<GuardedLine> viaPortable = inputs;
        std::vector<GuardedLine> viaSimd = inputs;
        run(portable_, viaPortable);
        run(simd_, viaSimd);
        for (size_t i = 0; i < inputs.size(); ++i) {
            SCOPED_TRACE("line " + std::to_string(i));
            ASSERT_TRUE(viaPortable[i].GuardsIntact());
            ASSERT_TRUE(viaSimd[i].GuardsIntact());
            ASSERT_EQ(viaPortable[i].Values(), viaSimd[i].Values());
        }
    }

    // check(fillA, fillB, count, shift) for every pair of fills and every
    // count from 0 to 72, both alignments taking turns; the case and the
    // seed are traced, and the first failure ends the run.
    template <typename Check>
    void ForEachCase(Check check) {
        SCOPED_TRACE(packed_test::SeedTrace(seed_));
        for (const Fill fillA : kAllFills) {
            for (const Fill fillB : kAllFills) {
                for (int count = 0; count <= kMaxCount; ++count) {
                    const int shift = kShifts[(count + static_cast<int>(fillB)) % 2];
                    SCOPED_TRACE("count " + std::to_string(count) + ", shift " +
                                 std::to_string(shift) + ", fills " + FillName(fillA) + "/" +
                                 FillName(fillB));
                    check(fillA, fillB, count, shift);
                    if (HasFatalFailure()) return;
                }
            }
        }
    }

    const PackedKernels portable_ = PackedKernelsFor(0);
    const PackedKernels simd_ = PackedKernelsFor(GetParam().mask);
    const uint32_t seed_ = test::TestSeed();
    std::mt19937 rng_{seed_};
};

// Each level replaces every entry of the one below it, and the mask 0 gives
// the portable model itself.
TEST_P(SimdMatchesPortable, EveryEntryIsTheLevelsOwn) {
    const PackedKernels below = PackedKernelsFor((GetParam().mask & kCpuAvx2) != 0 ? uint32_t{kCpuSse2} : 0u);
    const auto entries = [](const PackedKernels& k) {
        return std::vector<const void*>{
            reinterpret_cast<const void*>(k.gatherChromaQuad),
            reinterpret_cast<const void*>(k.scatterChromaQuad),
            reinterpret_cast<const void*>(k.lowPass640Quad),
            reinterpret_cast<const void*>(k.lowPass720Quad),
            reinterpret_cast<const void*>(k.wideLowPassQuad),
            reinterpret_cast<const void*>(k.rotateToIQQuad),
            reinterpret_cast<const void*>(k.rotateFromIQQuad),
            reinterpret_cast<const void*>(k.blendDetailQuad),
            reinterpret_cast<const void*>(k.blendDetailCoredQuad),
            reinterpret_cast<const void*>(k.upsampleChroma2xQuad)};
    };
    const std::vector<const void*> own = entries(simd_);
    const std::vector<const void*> lower = entries(below);
    for (size_t i = 0; i < own.size(); ++i) EXPECT_NE(own[i], lower[i]) << "entry " << i;
    EXPECT_EQ(portable_.cpuFeatures, 0u);
    EXPECT_EQ(portable_.lowPass640Quad, &LowPass640Quad);
    EXPECT_EQ(portable_.upsampleChroma2xQuad, &UpsampleChroma2xQuad);
}

// Sources hold exactly the positions a kernel may read, so that a
// sanitizer build catches any read beyond them.
std::vector<int16_t> ExactSource(int positions, Fill fill, std::mt19937& rng) {
    std::vector<int16_t> src(kQuadLanes * positions);
    for (int i = 0; i < static_cast<int>(src.size()); ++i) {
        src[i] = packed_test::FillValue(fill, i, rng);
    }
    return src;
}

TEST_P(SimdMatchesPortable, Filters) {
    using Filter = decltype(&LowPass640Quad) PackedKernels::*;
    const std::pair<Filter, int> filters[] = {{&PackedKernels::lowPass640Quad, 9},
                                              {&PackedKernels::lowPass720Quad, 9},
                                              {&PackedKernels::wideLowPassQuad, 7}};
    ForEachCase([&](Fill fill, Fill, int count, int shift) {
        for (const auto& entry : filters) {
            // Plain variables: clang 14 cannot capture structured bindings.
            const Filter filter = entry.first;
            const int reach = entry.second;
            const std::vector<int16_t> src = ExactSource(count + 2 * reach, fill, rng_);
            Compare({GuardedLine(kQuadLanes * count, shift)}, [&](const auto& t, auto& l) {
                (t.*filter)(l[0].data(), src.data() + kQuadLanes * reach, count);
            });
        }
    });
}

TEST_P(SimdMatchesPortable, Rotations) {
    ForEachCase([&](Fill fillA, Fill fillB, int count, int shift) {
        std::vector<GuardedLine> lines(4, GuardedLine(count, shift));
        FillLine(lines[0], fillA, rng_);
        FillLine(lines[1], fillB, rng_);
        lines[2] = lines[0];
        lines[3] = lines[1];
        Compare(lines, [&](const auto& t, auto& l) {
            t.rotateToIQQuad(l[0].data(), l[1].data(), count);
            t.rotateFromIQQuad(l[2].data(), l[3].data(), count);
        });
    });
}

// Strengths and noise thresholds, inside the host's bounds and far outside.
constexpr int kStrengths[] = {0, 1, 16, 32, 64, 127, 128, -1, 255, 40000, INT_MAX, INT_MIN};
constexpr int kNoises[] = {0, 1, 47, 48, 128, -1, 70000, INT_MAX, INT_MIN};

TEST_P(SimdMatchesPortable, Blends) {
    std::uniform_int_distribution<int> pickStrength(0, std::size(kStrengths) - 1);
    std::uniform_int_distribution<int> pickNoise(0, std::size(kNoises) - 1);
    ForEachCase([&](Fill fillF, Fill fillX, int count, int shift) {
        const int strength = kStrengths[pickStrength(rng_)];
        const int noise = kNoises[pickNoise(rng_)];
        SCOPED_TRACE("strength " + std::to_string(strength) + ", noise " + std::to_string(noise));
        std::vector<GuardedLine> lines(3, GuardedLine(count, shift));
        FillLine(lines[0], fillF, rng_);
        lines[1] = lines[0];
        FillLine(lines[2], fillX, rng_);
        Compare(lines, [&](const auto& t, auto& l) {
            t.blendDetailQuad(l[0].data(), l[2].data(), count, strength);
            t.blendDetailCoredQuad(l[1].data(), l[2].data(), count, strength, noise);
        });
    });
}

TEST_P(SimdMatchesPortable, Interpolation) {
    ForEachCase([&](Fill fill, Fill, int n, int shift) {
        const std::vector<int16_t> src = ExactSource(n, fill, rng_);
        Compare({GuardedLine(kQuadLanes * 2 * n, shift)}, [&](const auto& t, auto& l) {
            t.upsampleChroma2xQuad(l[0].data(), src.data(), n);
        });
    });
}

bool SamePixels(const std::vector<PIXEL_YC>& a, const std::vector<PIXEL_YC>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](PIXEL_YC p, PIXEL_YC q) {
        return p.y == q.y && p.cb == q.cb && p.cr == q.cr;
    });
}

TEST_P(SimdMatchesPortable, GatherAndScatter) {
    ForEachCase([&](Fill fillFrame, Fill fillLines, int count, int shift) {
        // At the smallest pitch the last row ends with the last pixel the
        // gather may read.
        const int pitch = std::max(1, 2 * count - 1 + count % 3);
        std::vector<PIXEL_YC> frame(static_cast<size_t>(kQuadLanes) * pitch);
        for (size_t i = 0; i < frame.size(); ++i) {
            const int v = static_cast<int>(3 * i);
            frame[i] = {packed_test::FillValue(fillFrame, v, rng_),
                        packed_test::FillValue(fillFrame, v + 1, rng_),
                        packed_test::FillValue(fillFrame, v + 2, rng_)};
        }
        const std::vector<PIXEL_YC> original = frame;
        Compare(std::vector<GuardedLine>(2, GuardedLine(kQuadLanes * (count + 32), shift)),
                [&](const auto& t, auto& l) {
                    t.gatherChromaQuad(l[0].data(), l[1].data(), frame.data(), count, pitch);
                });
        ASSERT_TRUE(SamePixels(frame, original)) << "the gather only reads";

        std::vector<GuardedLine> sources(2, GuardedLine(kQuadLanes * count, shift));
        FillLine(sources[0], fillLines, rng_);
        FillLine(sources[1], Fill::kRandom, rng_);
        std::vector<PIXEL_YC> viaPortable = frame;
        std::vector<PIXEL_YC> viaSimd = frame;
        portable_.scatterChromaQuad(viaPortable.data(), sources[0].data(), sources[1].data(), count,
                                    pitch);
        simd_.scatterChromaQuad(viaSimd.data(), sources[0].data(), sources[1].data(), count,
                                 pitch);
        ASSERT_TRUE(SamePixels(viaPortable, viaSimd));
    });
}

INSTANTIATE_TEST_SUITE_P(Levels, SimdMatchesPortable, ::testing::ValuesIn(packed_test::kSimdLevels),
                         packed_test::LevelName);

// The process-wide table holds every level this processor runs (all of
// them are built here), and a mask asks for no level the processor lacks.
TEST(PackedDispatch, ProcessTableHoldsEveryLevelTheProcessorRuns) {
    const uint32_t processor = ProcessorCpuFeatures();
#if defined(__x86_64__)
    EXPECT_NE(processor & kCpuSse2, 0u) << "every x86-64 processor has SSE2";
#endif
    EXPECT_EQ(ProcessPackedKernels().cpuFeatures, processor);
    EXPECT_EQ(PackedKernelsFor(kCpuAll).cpuFeatures, processor);
    EXPECT_EQ(PackedKernelsFor(kCpuAvx2).cpuFeatures, processor & kCpuAvx2);
    EXPECT_EQ(&ProcessPackedKernels(), &ProcessPackedKernels());
    if ((processor & kCpuAvx2) != 0) {
        EXPECT_NE(ProcessPackedKernels().lowPass640Quad, PackedKernelsFor(kCpuSse2).lowPass640Quad);
    }
}

}  // namespace
}  // namespace trelvane
