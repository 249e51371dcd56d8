// Gather with edge extension, 2x interpolation and write-back of one row.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernels/scalar/chroma_filters.h"
#include "kernels/scalar/chroma_rows.h"
#include "kernels/scalar/iq_rotation.h"
#include "support/test_frames.h"

namespace trelvane {
namespace {

constexpr int16_t kUntouched = 0x5A5A;

// The interpolation written out in 64-bit arithmetic; past either end the
// end sample stands in, and the last odd output extrapolates.
std::vector<int16_t> ReferenceUpsample(const std::vector<int16_t>& s) {
    const int n = static_cast<int>(s.size());
    const auto at = [&](int k) { return int64_t{s[std::clamp(k, 0, n - 1)]}; };
    std::vector<int16_t> d;
    for (int k = 0; k < n; ++k) {
        d.push_back(s[k]);
        if (n == 1) {
            d.push_back(s[0]);
        } else if (k < n - 1) {
            d.push_back(test::Low16Of((9 * (at(k) + at(k + 1)) - at(k - 1) - at(k + 2) + 8) >> 4));
        } else {
            d.push_back(test::Low16Of((18 * at(n - 1) - 2 * at(n - 2) + 8) >> 4));
        }
    }
    return d;
}

TEST(GatherChromaRow, TakesEvenPixelsAndExtendsBothEnds) {
    for (const int w : {2, 3, 8, 9, 41}) {
        SCOPED_TRACE("w " + std::to_string(w));
        const int n = w / 2;
        test::OwnedFrame row = test::MakeRandomFrame(w, 1, w, 100u + w);
        const std::vector<PIXEL_YC> before = row.pixels;
        std::vector<int16_t> cr(n + 40, kUntouched), cb(n + 40, kUntouched);

        GatherChromaRow(cr.data(), cb.data(), row.pixels.data(), n);

        for (int e = 0; e < n + 40; ++e) {
            // Element e holds pixel 2 * (e - 16), clamped to the pixels taken.
            const PIXEL_YC& source = row.pixels[2 * std::clamp(e - kLineEdge, 0, n - 1)];
            const bool inLine = e < n + 2 * kLineEdge;
            EXPECT_EQ(cr[e], inLine ? source.cr : kUntouched) << "element " << e;
            EXPECT_EQ(cb[e], inLine ? source.cb : kUntouched) << "element " << e;
        }
        EXPECT_EQ(row.pixels, before);
    }
}

TEST(UpsampleChroma2x, KnownLines) {
    const struct {
        std::vector<int16_t> source;
        std::vector<int16_t> expected;
    } cases[] = {
        {{5}, {5, 5}},
        {{-32768}, {-32768, -32768}},
        {{0, 16}, {0, 8, 16, 18}},  // the last output extrapolates
        {{100, 20}, {100, 60, 20, 10}},
        {{0, -1, 0}, {0, -1, -1, -1, 0, 0}},  // (-9 + 8) >> 4 is -1
        {{0, 0, 0, 16}, {0, 0, 0, -1, 0, 8, 16, 18}},
        {{-7, -7, -7, -7, -7}, {-7, -7, -7, -7, -7, -7, -7, -7, -7, -7}},
        // Results past 16 bits keep their low 16 bits.
        {{-32768, 32767, 32767, -32768}, {-32768, 0, 32767, -24577, 32767, 0, -32768, 24576}},
        {{32767, -32768}, {32767, 0, -32768, 24576}},
    };
    for (const auto& c : cases) {
        const int n = static_cast<int>(c.source.size());
        SCOPED_TRACE("n " + std::to_string(n) + ", first " + std::to_string(c.source[0]));
        std::vector<int16_t> d(2 * n + 4, kUntouched);
        UpsampleChroma2x(d.data(), c.source.data(), n);
        std::vector<int16_t> expected = c.expected;
        expected.insert(expected.end(), 4, kUntouched);
        EXPECT_EQ(d, expected);
    }
}

TEST(UpsampleChroma2x, MatchesWideArithmeticOnExtremeLines) {
    for (const int n : {1, 2, 3, 5, 17, 200}) {
        const uint32_t seed = 7000u + n;
        SCOPED_TRACE("seed " + std::to_string(seed));
        test::Rng rng(seed);
        std::vector<int16_t> s(n);
        for (int16_t& v : s) v = rng.Extreme16();
        std::vector<int16_t> d(2 * n);
        UpsampleChroma2x(d.data(), s.data(), n);
        EXPECT_EQ(d, ReferenceUpsample(s));
    }
}

TEST(ScatterChromaRow, WritesChromaOfCountPixelsOnly) {
    for (const int count : {-1, 0, 1, 6}) {
        SCOPED_TRACE("count " + std::to_string(count));
        test::OwnedFrame row = test::MakeRandomFrame(8, 1, 8, 300u);
        const std::vector<PIXEL_YC> before = row.pixels;
        const std::vector<int16_t> cr = {11, -12, 13, -14, 15, -16, 17, -18};
        const std::vector<int16_t> cb = {-21, 22, -23, 24, -25, 26, -27, 28};

        ScatterChromaRow(row.pixels.data(), cr.data(), cb.data(), count);

        for (int k = 0; k < 8; ++k) {
            const bool written = k < count;
            const PIXEL_YC expected{before[k].y, written ? cb[k] : before[k].cb,
                                    written ? cr[k] : before[k].cr};
            EXPECT_EQ(row.pixels[k], expected) << "pixel " << k;
        }
    }
}

TEST(ScalarKernels, WriteNothingForNonPositiveCounts) {
    const PIXEL_YC row[2] = {{1, 2, 3}, {4, 5, 6}};
    const std::vector<int16_t> source(40, 9);
    const std::vector<int16_t> untouched(40, kUntouched);
    for (const int n : {0, -1}) {
        std::vector<int16_t> a = untouched, b = untouched;
        GatherChromaRow(a.data(), b.data(), row, n);
        UpsampleChroma2x(a.data(), source.data(), n);
        for (const LowPassFn filter : {LowPass640, LowPass720, WideLowPass}) filter(a.data(), source.data() + 16, n);
        RotateToIQ(a.data(), b.data(), n);
        RotateFromIQ(a.data(), b.data(), n);
        BlendDetail(a.data(), source.data(), n, 64);
        BlendDetailCored(a.data(), source.data(), n, 64, 0);
        EXPECT_EQ(a, untouched) << "n " << n;
        EXPECT_EQ(b, untouched) << "n " << n;
    }
}

}  // namespace
}  // namespace trelvane
