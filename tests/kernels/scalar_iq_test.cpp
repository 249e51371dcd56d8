// I/Q rotations and the two detail blends of one row.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "kernels/scalar/iq_rotation.h"
#include "support/test_frames.h"

namespace trelvane {
namespace {

int32_t Wrap32(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

// The blends' rule with every product and sum taken modulo 2^32, as the
// scalar kernels define it; for settings in the declared ranges nothing
// wraps and this is the exact result.
int16_t ReferenceBlend(int16_t f, int64_t e, int strength) {
    const int32_t product = Wrap32(int64_t{Wrap32(2 * int64_t{strength})} * e);
    return test::Low16Of(f + (product >> 6));
}

int64_t ReferenceCore(int64_t d, int64_t t) {
    if (d > 0) {
        if (d >= t) return d;
        const int32_t ramp = Wrap32(5 * d - 4 * t);
        return ramp > 0 ? ramp : 0;
    }
    if (d == 0 || d <= -t) return d;
    const int32_t ramp = Wrap32(5 * d + 4 * t);
    return ramp < 0 ? ramp : 0;
}

TEST(IqRotation, KnownPairsAndRoundTrip) {
    const struct {
        int16_t cr, cb, i, q, crBack, cbBack;
    } cases[] = {
        {1000, 0, 1031, 670, 1000, 0},
        {0, 1000, -475, 732, 0, 1000},
        {-558, 511, -818, 0, -558, 510},  // the test pattern's left block
        {362, 787, -1, 819, 362, 787},    // and its right block
        {300, -200, 405, 55, 301, -200},
        {7, -3, 9, 2, 7, -4},
        {-4096, 4096, -6172, 255, -4096, 4096},
        {0, 0, 0, 0, 0, 0},
    };
    std::vector<int16_t> a, b;
    for (const auto& c : cases) {
        a.push_back(c.cr);
        b.push_back(c.cb);
    }
    const int count = static_cast<int>(a.size());
    RotateToIQ(a.data(), b.data(), count);
    for (int k = 0; k < count; ++k) {
        EXPECT_EQ(a[k], cases[k].i) << "pair " << k;
        EXPECT_EQ(b[k], cases[k].q) << "pair " << k;
    }
    RotateFromIQ(a.data(), b.data(), count);
    for (int k = 0; k < count; ++k) {
        EXPECT_EQ(a[k], cases[k].crBack) << "pair " << k;
        EXPECT_EQ(b[k], cases[k].cbBack) << "pair " << k;
    }
}

TEST(IqRotation, ExtremeInputsKeepLow16BitsOfExactResult) {
    const uint32_t seed = 4242u;
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::Rng rng(seed);
    const int count = 300;
    std::vector<int16_t> cr(count), cb(count);
    for (int k = 0; k < count; ++k) {
        cr[k] = rng.Extreme16();
        cb[k] = rng.Extreme16();
    }
    std::vector<int16_t> i = cr, q = cb, crBack = cr, cbBack = cb;
    RotateToIQ(i.data(), q.data(), count);
    RotateFromIQ(crBack.data(), cbBack.data(), count);
    for (int k = 0; k < count; ++k) {
        const int64_t a = cr[k], b = cb[k];
        EXPECT_EQ(i[k], test::Low16Of((16899 * a - 7789 * b + 8192) >> 14)) << "sample " << k;
        EXPECT_EQ(q[k], test::Low16Of((10974 * a + 11994 * b + 8192) >> 14)) << "sample " << k;
        EXPECT_EQ(crBack[k], test::Low16Of((11173 * a + 7256 * b + 8192) >> 14)) << "sample " << k;
        EXPECT_EQ(cbBack[k], test::Low16Of((15741 * b - 10223 * a + 8192) >> 14)) << "sample " << k;
    }
}

TEST(DetailBlend, KnownValuesOfBothBlends) {
    const struct {
        int16_t f, x;
        int strength, noise;
        int16_t plain, cored;
    } cases[] = {
        {100, -300, 0, 48, 100, 100},      // strength 0 keeps f
        {100, -300, 32, 48, -300, -300},   // 32 gives x
        {100, 148, 64, 48, 196, 196},      // 64 gives 2x - f
        {10, 20, 128, 48, 50, 10},         // 128 gives 4x - 3f; 10 is cored away
        {0, -1, 16, 48, -1, 0},            // the shift rounds toward minus infinity
        {0, 1, 16, 48, 0, 0},
        {0, -1, 16, 0, -1, -1},            // noise 0 passes every difference
        {5, 6, 32, 0, 6, 6},
        {-32768, 32767, 128, 48, 32764, 32764},  // past 16 bits: the low 16 bits
        {0, 0, 128, 48, 0, 0},
        {0, 40, 64, 48, 80, 16},
        {0, -40, 64, 48, -80, -16},
        {0, 38, 64, 48, 76, 0},
    };
    for (const auto& c : cases) {
        int16_t plain = c.f, cored = c.f;
        BlendDetail(&plain, &c.x, 1, c.strength);
        BlendDetailCored(&cored, &c.x, 1, c.strength, c.noise);
        EXPECT_EQ(plain, c.plain) << "f " << c.f << ", x " << c.x << ", strength " << c.strength;
        EXPECT_EQ(cored, c.cored) << "f " << c.f << ", x " << c.x << ", strength " << c.strength
                                  << ", noise " << c.noise;
    }
}

TEST(DetailBlend, CoringRampForNoise48) {
    // Difference -> cored difference, mirrored for negative differences;
    // strength 32 adds the cored difference as it is.
    const int ramp[][2] = {{1, 0}, {38, 0}, {39, 3}, {40, 8}, {44, 28}, {47, 43}, {48, 48}, {300, 300}};
    for (const auto& step : ramp) {
        for (const int sign : {1, -1}) {
            const int16_t f = -200;
            const auto x = static_cast<int16_t>(f + sign * step[0]);
            int16_t out = f;
            BlendDetailCored(&out, &x, 1, 32, 48);
            EXPECT_EQ(out, f + sign * step[1]) << "difference " << sign * step[0];
        }
    }
}

// Extreme samples with settings inside and far outside the declared ranges:
// the low 16 bits of the 32-bit wrapped rule.
TEST(DetailBlend, ExtremesAndOutOfRangeSettingsFollowWrapped32BitRule) {
    const int strengths[] = {0, 1, 32, 64, 128, 129, 1000, 1 << 20, INT_MAX, -1, -64, INT_MIN};
    const int noises[] = {0, 48, 128, 40000, 1 << 29, INT_MAX, -1, -48, INT_MIN};
    const uint32_t seed = 9001u;
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::Rng rng(seed);
    const int count = 64;
    std::vector<int16_t> f(count), x(count);
    for (int k = 0; k < count; ++k) {
        f[k] = rng.Extreme16();
        // Some pairs equal, some close, the rest anywhere.
        x[k] = k % 8 == 1 ? f[k]
                          : static_cast<int16_t>(k % 4 == 0 ? f[k] + rng.Between(-200, 200) : rng.Extreme16());
    }
    for (const int s : strengths) {
        std::vector<int16_t> plain = f;
        BlendDetail(plain.data(), x.data(), count, s);
        for (int k = 0; k < count; ++k) {
            EXPECT_EQ(plain[k], ReferenceBlend(f[k], int64_t{x[k]} - f[k], s))
                << "strength " << s << ", f " << f[k] << ", x " << x[k];
        }
        for (const int t : noises) {
            std::vector<int16_t> cored = f;
            BlendDetailCored(cored.data(), x.data(), count, s, t);
            for (int k = 0; k < count; ++k) {
                EXPECT_EQ(cored[k], ReferenceBlend(f[k], ReferenceCore(int64_t{x[k]} - f[k], t), s))
                    << "strength " << s << ", noise " << t << ", f " << f[k] << ", x " << x[k];
            }
        }
    }
}

}  // namespace
}  // namespace trelvane
