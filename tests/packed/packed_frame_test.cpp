// The packed path of the frame driver ("MMX" on) against the scalar path
// ("MMX" off), through whole frames: where the two agree, where exactly they
// part, which rows take which path, and that the rows of a group stay apart.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "kernels/packed/packed_kernels.h"
#include "packed/packed_test_support.h"

namespace trelvane {
namespace {

struct Frame {
    int w;
    int h;
    int pitch;
    std::vector<PIXEL_YC> px;

    PIXEL_YC& At(int r, int x) { return px[static_cast<size_t>(r) * pitch + x]; }
    const PIXEL_YC& At(int r, int x) const { return px[static_cast<size_t>(r) * pitch + x]; }
};

// Random chroma in [-range, range) and luma on every pixel, the pitch padding
// included. With steepEnd each row's last six even pixels climb from -1000 to
// 1000, so that the last interpolated sample of every row tells the two
// interpolators apart.
Frame RandomFrame(int w, int h, int pitch, int range, std::mt19937& rng, bool steepEnd = false) {
    std::uniform_int_distribution<int> value(-range, range - 1);
    Frame f{w, h, pitch, std::vector<PIXEL_YC>(static_cast<size_t>(h) * pitch)};
    for (PIXEL_YC& p : f.px) {
        p = {static_cast<int16_t>(value(rng)), static_cast<int16_t>(value(rng)),
             static_cast<int16_t>(value(rng))};
    }
    const int n = w / 2;
    for (int r = 0; steepEnd && r < h; ++r) {
        for (int j = std::max(0, n - 6); j < n; ++j) {
            const int16_t v = static_cast<int16_t>(-1000 + 400 * (j - (n - 6)));
            f.At(r, 2 * j).cr = v;
            f.At(r, 2 * j).cb = static_cast<int16_t>(-v);
        }
    }
    return f;
}

Frame Process(const Frame& in, FilterSettings s, int mmx,
              const PackedKernels& kernels = ProcessPackedKernels()) {
    Frame out = in;
    s.mmx = mmx;
    WorkBuffers buffers;
    EXPECT_EQ(ProcessFrameWith(buffers, s, {out.px.data(), out.w, out.h, out.pitch}, kernels), 1);
    ReleaseWorkBuffers(buffers);
    return out;
}

// The packed interpolator's last odd output for a row, from the scalar
// output of the same row: its even pixels 2n-2 and 2n-4 hold the last two
// processed half-rate samples, which both paths share in range.
int PackedLastOdd(const Frame& scalar, int r, int16_t PIXEL_YC::*field) {
    const int n = scalar.w / 2;
    const int last = scalar.At(r, 2 * n - 2).*field;
    if (n < 2) return last;
    return (17 * last - scalar.At(r, 2 * n - 4).*field + 8) >> 4;
}

// Checks that the rows of the first `groupedRows` equal the scalar rows but
// for pixel 2n-1, which holds the packed interpolator's value, and that every
// other row and all luma and pitch padding are the same. Returns how many
// grouped rows differ from their scalar form.
int ExpectPackedRowsAsModelled(const Frame& packed, const Frame& scalar, int groupedRows) {
    const int n = packed.w / 2;
    int differing = 0;
    for (int r = 0; r < packed.h; ++r) {
        for (int x = 0; x < packed.pitch; ++x) {
            const PIXEL_YC& p = packed.At(r, x);
            const PIXEL_YC& o = scalar.At(r, x);
            EXPECT_EQ(p.y, o.y);
            if (r < groupedRows && x == 2 * n - 1) {
                EXPECT_EQ(p.cr, PackedLastOdd(scalar, r, &PIXEL_YC::cr)) << "row " << r;
                EXPECT_EQ(p.cb, PackedLastOdd(scalar, r, &PIXEL_YC::cb)) << "row " << r;
                differing += p.cr != o.cr || p.cb != o.cb;
            } else {
                EXPECT_EQ(p.cr, o.cr) << "row " << r << " pixel " << x;
                EXPECT_EQ(p.cb, o.cb) << "row " << r << " pixel " << x;
            }
            if (::testing::Test::HasFailure()) return differing;
        }
    }
    return differing;
}

constexpr int kWidths[] = {720, 719, 64, 33, 5, 4, 3, 2};

// Mode 1 for chroma in -16384..16383, modes 2 to 4 for chroma within 2048.
TEST(PackedFramePath, MatchesScalarButForTheLastInterpolatedSampleInRange) {
    const uint32_t seed = test::TestSeed();
    SCOPED_TRACE(packed_test::SeedTrace(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> setting(0, 128);
    for (int mode = 1; mode <= 4; ++mode) {
        for (const int w : kWidths) {
            FilterSettings s;
            s.mode = mode;
            s.line640 = (w + mode) % 2;
            s.strength = setting(rng);
            s.noise = setting(rng);
            SCOPED_TRACE("mode " + std::to_string(mode) + " w " + std::to_string(w) + " 640 " +
                         std::to_string(s.line640) + " strength " + std::to_string(s.strength) +
                         " noise " + std::to_string(s.noise));
            const Frame in =
                RandomFrame(w, 9 + mode % 2, w + mode % 3, mode == 1 ? 16384 : 2048, rng);
            ExpectPackedRowsAsModelled(Process(in, s, 1), Process(in, s, 0), 8);
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Constant chroma (Cr, Cb) = (32767, -32768) over a frame of six rows: rows
// 0-3 form a group, rows 4 and 5 take the scalar path.
Frame ExtremeFrame() {
    Frame f{16, 6, 16, std::vector<PIXEL_YC>(16 * 6, PIXEL_YC{100, -32768, 32767})};
    return f;
}

void ExpectRows(const Frame& f, int from, int to, int cr, int cb) {
    for (int r = from; r < to; ++r) {
        for (int x = 0; x < f.w; ++x) {
            ASSERT_EQ(f.At(r, x).cr, cr) << r << "," << x;
            ASSERT_EQ(f.At(r, x).cb, cb) << r << "," << x;
        }
    }
}

TEST(PackedFramePath, SaturationDifferencesReproduceThePackedModel) {
    const Frame in = ExtremeFrame();
    FilterSettings s;
    s.mode = 1;
    // Mode 1: the saturated folds of a constant line of 32767 / -32768.
    for (const auto& [line640, cr, cb] : {std::tuple{1, 19074, -19074}, {0, 18831, -18832}}) {
        s.line640 = line640;
        const Frame packed = Process(in, s, 1);
        ExpectRows(packed, 0, 4, cr, cb);
        ExpectRows(packed, 4, 6, 32767, -32768);  // scalar rows keep the value
        EXPECT_EQ(Process(in, s, 0).px.back().cr, 32767);
    }
    // Mode 2, strength 32: I saturates to 32767 (Q = -2041), the low-pass
    // gives 19074, the blend restores 32767, and the rotation back gives
    // (21441, -22406). The scalar path wraps I to -16161 instead.
    s.mode = 2;
    s.line640 = 1;
    s.strength = 32;
    const Frame packed = Process(in, s, 1);
    const Frame scalar = Process(in, s, 0);
    ExpectRows(packed, 0, 4, 21441, -22406);
    for (int x = 0; x < in.pitch; ++x) {
        EXPECT_EQ(packed.At(4, x).cr, scalar.At(4, x).cr);
        EXPECT_EQ(packed.At(5, x).cb, scalar.At(5, x).cb);
    }
    EXPECT_NE(scalar.At(0, 0).cr, 21441);
}

// ---- Which rows take which path.

TEST(PackedFrameDriver, ThreeRowsFormNoGroup) {
    std::mt19937 rng(3);
    const Frame in = RandomFrame(64, 3, 64, 32768, rng);
    FilterSettings s;
    for (int mode = 1; mode <= 4; ++mode) {
        s.mode = mode;
        const Frame packed = Process(in, s, 1);
        const Frame scalar = Process(in, s, 0);
        EXPECT_EQ(ExpectPackedRowsAsModelled(packed, scalar, 0), 0) << mode;
    }
}

TEST(PackedFrameDriver, GroupsOfFourFromTheTopThenScalarRows) {
    std::mt19937 rng(10);
    for (const int h : {8, 10, 483}) {
        const Frame in = RandomFrame(64, h, 70, 2048, rng, true);
        FilterSettings s;
        s.mode = h == 10 ? 2 : 4;
        const int grouped = h / 4 * 4;  // 8 rows, or 120 groups of 483
        SCOPED_TRACE(h);
        // Every grouped row shows the packed interpolator's last sample, so
        // exactly those rows went through the packed path.
        EXPECT_EQ(ExpectPackedRowsAsModelled(Process(in, s, 1), Process(in, s, 0), grouped),
                  grouped);
    }
}

TEST(PackedFrameDriver, ARowOfAGroupChangesOnlyItself) {
    std::mt19937 rng(5);
    Frame in = RandomFrame(40, 8, 40, 2048, rng);
    FilterSettings s;
    s.mode = 3;
    const Frame before = Process(in, s, 1);
    in.At(5, 20).cr = static_cast<int16_t>(in.At(5, 20).cr + 1500);
    const Frame after = Process(in, s, 1);
    int changed = 0;
    for (int r = 0; r < in.h; ++r) {
        for (int x = 0; x < in.w; ++x) {
            const bool differs =
                before.At(r, x).cr != after.At(r, x).cr || before.At(r, x).cb != after.At(r, x).cb;
            if (r != 5) {
                ASSERT_FALSE(differs) << r << "," << x;
            }
            changed += differs;
        }
    }
    EXPECT_GT(changed, 0);
}

TEST(PackedFrameDriver, OddAndNarrowWidthsKeepTheirUnsampledPixels) {
    std::mt19937 rng(9);
    FilterSettings s;
    s.mode = 4;
    for (const int w : {1, 3, 33, 719}) {
        SCOPED_TRACE(w);
        const Frame in = RandomFrame(w, 8, w + 2, 2048, rng);
        const Frame packed = Process(in, s, 1);
        for (int r = 0; r < in.h; ++r) {
            // The last pixel (and, for w = 1, the whole row) keeps its chroma,
            // the pitch padding is untouched.
            for (int x = w == 1 ? 0 : w - 1; x < in.pitch; ++x) {
                EXPECT_EQ(packed.At(r, x).cr, in.At(r, x).cr);
                EXPECT_EQ(packed.At(r, x).cb, in.At(r, x).cb);
            }
        }
    }
}

TEST(PackedFrameDriver, EveryLevelGivesTheSameFrames) {
    const std::vector<packed_test::Level> levels = packed_test::AvailableLevels();
    if (levels.size() < 2) GTEST_SKIP() << "no SIMD level on this build or processor";
    std::mt19937 rng(21);
    const Frame in = RandomFrame(37, 12, 40, 32768, rng);
    FilterSettings s;
    s.strength = 100;
    s.noise = 0;
    for (int mode = 1; mode <= 4; ++mode) {
        s.mode = mode;
        const Frame portable = Process(in, s, 1, PackedKernelsFor(0));
        for (const packed_test::Level& level : levels) {
            const Frame simd = Process(in, s, 1, PackedKernelsFor(level.mask));
            EXPECT_EQ(ExpectPackedRowsAsModelled(simd, portable, 0), 0) << mode << " " << level.name;
        }
    }
}

}  // namespace
}  // namespace trelvane
