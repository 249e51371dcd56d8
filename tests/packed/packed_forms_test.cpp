// Each SIMD form (SSE2, AVX2) against the portable model, kernel by kernel,
// bit for bit:
// every count from 0 to 72 (whole pairs of positions, a lone position, the
// one-row remainder values), both 16- and 8-byte alignment, seeded random and
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

class SimdMatchesPortable : public ::testing::TestWithParam<PackedForm> {
protected:
    void SetUp() override {
        simd_ = PackedKernelsOf(GetParam());
        const std::string name = packed_test::FormName(GetParam());
        if (simd_ == nullptr) GTEST_SKIP() << "this build has no " << name << " form to compare";
        if (!PackedFormSupported(GetParam())) {
            GTEST_SKIP() << "this processor cannot run the " << name << " form";
        }
        ASSERT_EQ(simd_->form, GetParam());
    }

    // Both forms on copies of the same lines; the lines must come out equal,
    // guards included.
    template <typename Run>
    void Compare(const std::vector<GuardedLine>& inputs, Run run) {
        std::vector<GuardedLine> viaPortable = inputs;
        std::vector<GuardedLine> viaSimd = inputs;
        run(portable_, viaPortable);
        run(*simd_, viaSimd);
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

    const PackedKernelTable& portable_ = PortablePackedKernels();
    const PackedKernelTable* simd_ = nullptr;
    const uint32_t seed_ = std::random_device{}();
    std::mt19937 rng_{seed_};
};

TEST_P(SimdMatchesPortable, FormsAreDistinct) {
    EXPECT_NE(simd_->lowPass640Quad, portable_.lowPass640Quad);
    EXPECT_NE(simd_->rotateToIQQuad, portable_.rotateToIQQuad);
    EXPECT_NE(simd_->blendDetailCoredQuad, portable_.blendDetailCoredQuad);
    EXPECT_NE(simd_->upsampleChroma2xQuad, portable_.upsampleChroma2xQuad);
    EXPECT_EQ(portable_.form, PackedForm::kPortable);
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
    using Filter = decltype(&LowPass640Quad) PackedKernelTable::*;
    const std::pair<Filter, int> filters[] = {{&PackedKernelTable::lowPass640Quad, 9},
                                              {&PackedKernelTable::lowPass720Quad, 9},
                                              {&PackedKernelTable::wideLowPassQuad, 7}};
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
        simd_->scatterChromaQuad(viaSimd.data(), sources[0].data(), sources[1].data(), count,
                                 pitch);
        ASSERT_TRUE(SamePixels(viaPortable, viaSimd));
    });
}

INSTANTIATE_TEST_SUITE_P(Forms, SimdMatchesPortable, ::testing::ValuesIn(packed_test::kSimdForms),
                         [](const ::testing::TestParamInfo<PackedForm>& form) {
                             return packed_test::FormName(form.param);
                         });

// The widest form the processor supports.
PackedForm WidestSupportedForm() {
    if (PackedFormSupported(PackedForm::kAvx2)) return PackedForm::kAvx2;
    if (PackedFormSupported(PackedForm::kSse2)) return PackedForm::kSse2;
    return PackedForm::kPortable;
}

// The form the kernels run is chosen once, from the processor; the portable
// one can be forced and the choice undone.
TEST(PackedFormSelection, WidestSupportedFormIsChosen) {
    // AVX2 builds on SSE2: no processor has the one form without the other.
    if (PackedFormSupported(PackedForm::kAvx2)) {
        EXPECT_TRUE(PackedFormSupported(PackedForm::kSse2));
    }
    if (Sse2PackedKernels() == nullptr) {
        EXPECT_FALSE(PackedFormSupported(PackedForm::kSse2));
        EXPECT_EQ(ActivePackedForm(), PackedForm::kPortable);
        GTEST_SKIP() << "not an x86 build: the portable form is the only one";
    }
    UseDetectedPackedForm();
    if (sizeof(void*) == 4 && !PackedFormSupported(PackedForm::kSse2)) {
        EXPECT_EQ(ActivePackedForm(), PackedForm::kPortable);
        GTEST_SKIP() << "32-bit x86 processor without SSE2: the portable form runs";
    }
    // Every x86-64 processor has SSE2.
    ASSERT_TRUE(PackedFormSupported(PackedForm::kSse2));
    EXPECT_EQ(ActivePackedForm(), WidestSupportedForm());
    EXPECT_EQ(&ActivePackedKernels(), PackedKernelsOf(WidestSupportedForm()));
}

TEST(PackedFormSelection, PortableFormCanBeForced) {
    ASSERT_TRUE(ForcePackedForm(PackedForm::kPortable));
    EXPECT_EQ(ActivePackedForm(), PackedForm::kPortable);
    EXPECT_EQ(&ActivePackedKernels(), &PortablePackedKernels());
    // The public kernels run the forced form.
    GuardedLine f(8), x(8);
    for (int i = 0; i < 8; ++i) {
        f[i] = 30000;
        x[i] = 32767;
    }
    BlendDetailQuad(f.data(), x.data(), 6, 128);
    EXPECT_EQ(f[0], 32767);   // a whole position saturates
    EXPECT_EQ(f[5], -24468);  // a remainder value wraps by the one-row rule
    UseDetectedPackedForm();
    EXPECT_EQ(ActivePackedForm(), WidestSupportedForm());
    for (const PackedForm form : packed_test::kSimdForms) {
        if (PackedFormSupported(form)) continue;
        EXPECT_FALSE(ForcePackedForm(form));
        EXPECT_EQ(ActivePackedForm(), WidestSupportedForm());
    }
}

}  // namespace
}  // namespace trelvane
