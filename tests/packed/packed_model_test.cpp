// The packed kernels against the numbers their arithmetic defines: impulse
// responses and constant lines of the saturating filters, rotation and blend
// saturation against the scalar remainder rules, the 16-bit coring, and the
// interpolator's own ends. Run on every form the build and processor offer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "kernels/packed/packed_kernels.h"
#include "kernels/scalar/chroma_filters.h"
#include "kernels/scalar/chroma_rows.h"
#include "kernels/scalar/iq_rotation.h"
#include "packed/packed_test_support.h"

namespace trelvane {
namespace {

using packed_test::GuardedLine;
constexpr int L = kQuadLanes;
constexpr int kBody = L * kQuadEdge;  // first body value of an extended line

class PackedModel : public ::testing::TestWithParam<packed_test::Level> {
protected:
    const PackedKernels& k() const { return kernels_; }

private:
    const PackedKernels kernels_ = PackedKernelsFor(GetParam().mask);
};

// Lane `lane` of positions 0 .. positions-1 of an interleaved line.
std::vector<int16_t> LaneOf(const int16_t* line, int positions, int lane) {
    std::vector<int16_t> out(positions);
    for (int p = 0; p < positions; ++p) out[p] = line[L * p + lane];
    return out;
}

void SetLane(int16_t* line, const std::vector<int16_t>& values, int lane) {
    for (size_t p = 0; p < values.size(); ++p) line[L * p + lane] = values[p];
}

TEST_P(PackedModel, NonPositiveCountsTouchNothing) {
    // Null lines: any read or write would fault.
    for (const int count : {0, -1, -4, INT_MIN}) {
        k().gatherChromaQuad(nullptr, nullptr, nullptr, count, 8);
        k().scatterChromaQuad(nullptr, nullptr, nullptr, count, 8);
        k().lowPass640Quad(nullptr, nullptr, count);
        k().lowPass720Quad(nullptr, nullptr, count);
        k().wideLowPassQuad(nullptr, nullptr, count);
        k().rotateToIQQuad(nullptr, nullptr, count);
        k().rotateFromIQQuad(nullptr, nullptr, count);
        k().blendDetailQuad(nullptr, nullptr, count, 64);
        k().blendDetailCoredQuad(nullptr, nullptr, count, 64, 48);
        k().upsampleChroma2xQuad(nullptr, nullptr, count);
    }
    SUCCEED();
}

// ---- Filters

using Filter = decltype(&LowPass640Quad) PackedKernels::*;
struct FilterCase {
    const char* name;
    Filter packed;
    LowPassFn scalar;
};
const FilterCase kFilters[] = {
    {"640", &PackedKernels::lowPass640Quad, LowPass640},
    {"720", &PackedKernels::lowPass720Quad, LowPass720},
    {"wide", &PackedKernels::wideLowPassQuad, WideLowPass},
};

// Filters `count` positions of an extended line whose four lanes are given
// constants; returns the output line.
std::vector<int16_t> FilterConstantLanes(const PackedKernels& t, Filter f, int count,
                                         const int16_t (&lanes)[L]) {
    std::vector<int16_t> src(L * (count + 2 * kQuadEdge));
    for (size_t i = 0; i < src.size(); ++i) src[i] = lanes[i % L];
    GuardedLine dst(L * count);
    (t.*f)(dst.data(), src.data() + kBody, count);
    EXPECT_TRUE(dst.GuardsIntact());
    return dst.Values();
}

TEST_P(PackedModel, ConstantLinesInTheSafeRangePassUnchanged) {
    const int16_t lanes[L] = {-16384, 16383, 0, -1234};
    for (const FilterCase& f : kFilters) {
        SCOPED_TRACE(f.name);
        const std::vector<int16_t> out = FilterConstantLanes(k(), f.packed, 7, lanes);
        for (int i = 0; i < static_cast<int>(out.size()); ++i) ASSERT_EQ(out[i], lanes[i % L]);
    }
}

TEST_P(PackedModel, ConstantLinesBeyondTheSafeRangeShowTheSaturatedFolds) {
    // Lanes 32767, -32768, 20000, and a fourth that stays exact.
    const int16_t lanes[L] = {32767, -32768, 20000, 5};
    const int16_t expected[3][L] = {
        {19074, -19074, 16977, 5}, {18831, -18832, 16924, 5}, {16384, -16384, 16384, 5}};
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(kFilters[f].name);
        const std::vector<int16_t> out = FilterConstantLanes(k(), kFilters[f].packed, 5, lanes);
        for (int i = 0; i < static_cast<int>(out.size()); ++i)
            ASSERT_EQ(out[i], expected[f][i % L]);
    }
    // The doubled centre of the wide filter clamps any |v| past 16383.
    const int16_t wideLanes[L] = {16384, 25000, -16385, -30000};
    const std::vector<int16_t> wide =
        FilterConstantLanes(k(), &PackedKernels::wideLowPassQuad, 3, wideLanes);
    for (int i = 0; i < static_cast<int>(wide.size()); ++i) {
        ASSERT_EQ(wide[i], i % L < 2 ? 16384 : -16384);
    }
}

TEST_P(PackedModel, ImpulseResponsesInOneLaneOnly) {
    const std::vector<int16_t> responses[3] = {
        {673, 629, 511, 354, 198, 77, 4, -24, -24, -14},
        {612, 578, 485, 356, 222, 109, 32, -7, -18, -14},  // 485: the tie 484.5 rounded up
        {2056, 1246, -7, -286, 4, 75, -1, -11},
    };
    constexpr int kCount = 41;
    constexpr int kAt = 20;
    constexpr int kLane = 2;
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(kFilters[f].name);
        std::vector<int16_t> src(L * (kCount + 2 * kQuadEdge), 0);
        src[kBody + L * kAt + kLane] = 4096;
        GuardedLine dst(L * kCount);
        (k().*kFilters[f].packed)(dst.data(), src.data() + kBody, kCount);
        ASSERT_TRUE(dst.GuardsIntact());
        for (int p = 0; p < kCount; ++p) {
            const int j = std::abs(p - kAt);
            const int16_t want = j < static_cast<int>(responses[f].size()) ? responses[f][j] : 0;
            for (int lane = 0; lane < L; ++lane) {
                ASSERT_EQ(dst[L * p + lane], lane == kLane ? want : 0) << "position " << p;
            }
        }
        // The scalar filter gives the same response.
        const std::vector<int16_t> line = LaneOf(src.data(), kCount + 2 * kQuadEdge, kLane);
        std::vector<int16_t> scalar(kCount);
        kFilters[f].scalar(scalar.data(), line.data() + kQuadEdge, kCount);
        EXPECT_EQ(scalar, LaneOf(dst.data(), kCount, kLane));
    }
}

// ---- Rotations

TEST_P(PackedModel, RotationThereAndBack) {
    // Indices 1 and 2 lie in a whole position, 4 and 5 are remainder values:
    // in range both rules agree.
    GuardedLine a(6), b(6);
    const int16_t cr[6] = {0, 1000, 100, 0, 1000, 100};
    const int16_t cb[6] = {0, -500, 50, 0, -500, 50};
    std::copy(cr, cr + 6, a.data());
    std::copy(cb, cb + 6, b.data());
    k().rotateToIQQuad(a.data(), b.data(), 6);
    EXPECT_EQ(a.Values(), (std::vector<int16_t>{0, 1269, 79, 0, 1269, 79}));
    EXPECT_EQ(b.Values(), (std::vector<int16_t>{0, 304, 104, 0, 304, 104}));
    k().rotateFromIQQuad(a.data(), b.data(), 6);
    EXPECT_EQ(a.Values(), (std::vector<int16_t>{0, 1000, 100, 0, 1000, 100}));
    EXPECT_EQ(b.Values(), (std::vector<int16_t>{0, -500, 51, 0, -500, 51}));
    EXPECT_TRUE(a.GuardsIntact() && b.GuardsIntact());
}

TEST_P(PackedModel, RotationSaturatesInWholePositionsAndWrapsInTheRemainder) {
    // (Cr, Cb) = (32767, -32768): I's exact quotient is 49375.
    for (const int count : {6, 3}) {
        SCOPED_TRACE(count);
        GuardedLine a(count), b(count);
        for (int i = 0; i < count; ++i) {
            a[i] = 32767;
            b[i] = -32768;
        }
        k().rotateToIQQuad(a.data(), b.data(), count);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(a[i], i < count / 4 * 4 ? 32767 : -16161) << i;
            EXPECT_EQ(b[i], -2041) << i;
        }
        EXPECT_TRUE(a.GuardsIntact() && b.GuardsIntact());
    }
}

// ---- Blends

// f[i] after a blend of a line of `count` equal (f, x) pairs, at index i.
// The cored blend when a noise threshold is given.
int16_t BlendOne(const PackedKernels& t, int16_t f, int16_t x, int strength, int count = 4,
                 int i = 0, std::optional<int> noise = std::nullopt) {
    GuardedLine fl(count), xl(count);
    for (int j = 0; j < count; ++j) {
        fl[j] = f;
        xl[j] = x;
    }
    if (noise) {
        t.blendDetailCoredQuad(fl.data(), xl.data(), count, strength, *noise);
    } else {
        t.blendDetailQuad(fl.data(), xl.data(), count, strength);
    }
    EXPECT_TRUE(fl.GuardsIntact());
    EXPECT_EQ(xl.Values(), std::vector<int16_t>(count, x)) << "the detail line is only read";
    return fl[i];
}

TEST_P(PackedModel, BlendByStrength) {
    EXPECT_EQ(BlendOne(k(), 1234, -3000, 0), 1234);
    EXPECT_EQ(BlendOne(k(), 1234, -3000, 32), -3000);
    EXPECT_EQ(BlendOne(k(), 10, 20, 64), 30);
    EXPECT_EQ(BlendOne(k(), 0, -1, 16), -1);  // floor: small negative steps move
    EXPECT_EQ(BlendOne(k(), 0, 1, 16), 0);
    // The saturated difference stops short: 20000 - (-20000) becomes 32767.
    EXPECT_EQ(BlendOne(k(), -20000, 20000, 32), 12767);
}

TEST_P(PackedModel, BlendSaturatesInWholePositionsAndWrapsInTheRemainder) {
    EXPECT_EQ(BlendOne(k(), 30000, 32767, 128, 5, 0), 32767);
    EXPECT_EQ(BlendOne(k(), 30000, 32767, 128, 5, 4), -24468);
    EXPECT_EQ(BlendOne(k(), 30000, 32767, 128, 3, 2), -24468);
    // The cored blend with noise 0 does the same.
    EXPECT_EQ(BlendOne(k(), 30000, 32767, 128, 5, 0, 0), 32767);
    EXPECT_EQ(BlendOne(k(), 30000, 32767, 128, 5, 4, 0), -24468);
}

TEST_P(PackedModel, CoringRamp) {
    // noise 48, strength 32: the term equals the cored difference.
    for (int d = -38; d <= 38; ++d) EXPECT_EQ(BlendOne(k(), 100, 100 + d, 32, 4, 0, 48), 100) << d;
    const int ramp[][2] = {{39, 3}, {40, 8}, {44, 28}, {47, 43}, {48, 48}, {500, 500}};
    for (const auto& [d, moved] : ramp) {
        for (const int sign : {1, -1}) {
            // Whole position and remainder value agree here.
            EXPECT_EQ(BlendOne(k(), 100, 100 + sign * d, 32, 5, 0, 48), 100 + sign * moved) << d;
            EXPECT_EQ(BlendOne(k(), 100, 100 + sign * d, 32, 5, 4, 48), 100 + sign * moved) << d;
        }
    }
    // noise 48, strength 64.
    EXPECT_EQ(BlendOne(k(), 0, 40, 64, 4, 0, 48), 16);
    EXPECT_EQ(BlendOne(k(), 0, -40, 64, 4, 0, 48), -16);
    EXPECT_EQ(BlendOne(k(), 0, 38, 64, 4, 0, 48), 0);
    EXPECT_EQ(BlendOne(k(), 100, 148, 64, 4, 0, 48), 196);
}

TEST_P(PackedModel, CoredBlendAtTheDifferenceMinus32768) {
    // f = 32767, x = -32768: the difference saturates to -32768 in a whole
    // position. With noise 0 its 16-bit magnitude counts as below the
    // threshold and is cored to 0; with noise > 0 it passes whole, as in the
    // plain blend (32767 + (64 * -32768 >> 6) = -1).
    EXPECT_EQ(BlendOne(k(), 32767, -32768, 32, 4, 0, 0), 32767);
    EXPECT_EQ(BlendOne(k(), 32767, -32768, 32, 4, 0, 48), -1);
    EXPECT_EQ(BlendOne(k(), 32767, -32768, 32, 4, 0), -1);
    // A remainder value moves by the full exact difference: low 16 bits of -32768.
    EXPECT_EQ(BlendOne(k(), 32767, -32768, 32, 5, 4, 0), -32768);
}

// ---- Interpolation

// Upsamples one lane's samples (other lanes 0) and returns that lane's output.
std::vector<int16_t> UpsampleLane(const PackedKernels& t, const std::vector<int16_t>& s,
                                  int lane = 1) {
    const int n = static_cast<int>(s.size());
    GuardedLine src(L * n), dst(L * 2 * n);
    std::fill(src.data(), src.data() + L * n, int16_t{0});
    SetLane(src.data(), s, lane);
    t.upsampleChroma2xQuad(dst.data(), src.data(), n);
    EXPECT_TRUE(dst.GuardsIntact());
    for (int other = 0; other < L; ++other) {
        if (other != lane) {
            EXPECT_EQ(LaneOf(dst.data(), 2 * n, other), std::vector<int16_t>(2 * n, 0));
        }
    }
    return LaneOf(dst.data(), 2 * n, lane);
}

TEST_P(PackedModel, InterpolationEnds) {
    using V = std::vector<int16_t>;
    EXPECT_EQ(UpsampleLane(k(), {-32768}), (V{-32768, -32768}));
    EXPECT_EQ(UpsampleLane(k(), {5, 0, 0, 5})[3], -1);  // (-2) >> 4
    // The last odd output: 17 here, where the scalar interpolator gives 18.
    const V ramp{3, 0, 0, 16};
    const V packed = UpsampleLane(k(), ramp);
    EXPECT_EQ(packed[7], 17);
    EXPECT_EQ(packed[5], 8);
    V scalar(8);
    UpsampleChroma2x(scalar.data(), ramp.data(), 4);
    EXPECT_EQ(scalar[7], 18);
    // n = 2: s0, (8 s0 + 8 s1 + 8) >> 4, s1, (17 s1 - s0 + 8) >> 4.
    EXPECT_EQ(UpsampleLane(k(), {100, 200}), (V{100, 150, 200, (17 * 200 - 100 + 8) >> 4}));
    // Saturation: m = q = 32767, p = r = -32768 is 40959 exactly.
    EXPECT_EQ(UpsampleLane(k(), {-32768, 32767, 32767, -32768})[3], 32767);
    EXPECT_EQ(UpsampleLane(k(), {32767, -32768, -32768, 32767})[3], -32768);
}

TEST_P(PackedModel, InterpolationOfConstantLanes) {
    for (const int16_t v : {int16_t{-32768}, int16_t{-7}, int16_t{0}, int16_t{32767}}) {
        EXPECT_EQ(UpsampleLane(k(), std::vector<int16_t>(9, v), 3), std::vector<int16_t>(18, v));
    }
}

// ---- Gather and scatter

TEST_P(PackedModel, GatherTakesEvenPixelsWithEdges) {
    constexpr int kPitch = 13;  // wider than the 11 pixels used
    std::vector<PIXEL_YC> rows(L * kPitch);
    for (int i = 0; i < L * kPitch; ++i) {
        rows[i] = {static_cast<int16_t>(-i), static_cast<int16_t>(1000 + i),
                   static_cast<int16_t>(i)};
    }
    for (const int count : {1, 5}) {
        SCOPED_TRACE(count);
        GuardedLine cr(L * (count + 32)), cb(L * (count + 32));
        k().gatherChromaQuad(cr.data(), cb.data(), rows.data(), count, kPitch);
        ASSERT_TRUE(cr.GuardsIntact() && cb.GuardsIntact());
        for (int lane = 0; lane < L; ++lane) {
            std::vector<int16_t> want;
            for (int p = 0; p < count + 32; ++p) {
                const int j = std::clamp(p - kQuadEdge, 0, count - 1);
                want.push_back(static_cast<int16_t>(lane * kPitch + 2 * j));
            }
            EXPECT_EQ(LaneOf(cr.data(), count + 32, lane), want);
            for (int16_t& v : want) v = static_cast<int16_t>(v + 1000);
            EXPECT_EQ(LaneOf(cb.data(), count + 32, lane), want);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, PackedModel, ::testing::ValuesIn(packed_test::AvailableLevels()),
                         packed_test::LevelName);

}  // namespace
}  // namespace trelvane
