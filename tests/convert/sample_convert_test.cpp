// Sample conversions: round trips of every code, the scale across depths, clamping.
#include "convert/sample_convert.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace trelvane {
namespace {

// Every code of a depth survives code -> YC48 -> code, luma and chroma.
void ExpectEveryCodeRoundTrips(SampleScale s) {
    for (int code = 0; code < (1 << s.depth); ++code) {
        ASSERT_EQ(LumaFromYc48(LumaToYc48(code, s), s), code) << "luma, depth " << s.depth << " full " << s.fullRange;
        ASSERT_EQ(ChromaFromYc48(ChromaToYc48(code, s), s), code) << "chroma, depth " << s.depth << " full " << s.fullRange;
    }
}

TEST(SampleConvert, HostEightBitFormulasRoundTripEveryCode) {
    const SampleScale s{8, false};
    EXPECT_EQ(LumaToYc48(16, s), 0);
    EXPECT_EQ(LumaToYc48(235, s), 4096);
    EXPECT_EQ(ChromaToYc48(16, s), -2048);
    EXPECT_EQ(ChromaToYc48(128, s), 0);
    EXPECT_EQ(ChromaToYc48(240, s), 2048);
    ExpectEveryCodeRoundTrips(s);
    EXPECT_TRUE(KeepsEveryCode(s));
}

TEST(SampleConvert, DeeperLimitedRangeSitsOnTheSameScale) {
    for (const int depth : {9, 10, 12, 14, 16}) {
        const SampleScale s{depth, false};
        const int k = 1 << (depth - 8);
        EXPECT_EQ(LumaToYc48(16 * k, s), 0) << depth;
        EXPECT_EQ(LumaToYc48(235 * k, s), 4096) << depth;
        EXPECT_EQ(ChromaToYc48(16 * k, s), -2048) << depth;
        EXPECT_EQ(ChromaToYc48(128 * k, s), 0) << depth;
        EXPECT_EQ(ChromaToYc48(240 * k, s), 2048) << depth;
        EXPECT_EQ(LumaFromYc48(4096, s), 235 * k) << depth;
        EXPECT_EQ(ChromaFromYc48(-2048, s), 16 * k) << depth;
    }
}

TEST(SampleConvert, UpToTwelveBitsEveryCodeRoundTrips) {
    for (const int depth : {9, 10, 12}) {
        ExpectEveryCodeRoundTrips({depth, false});
        EXPECT_TRUE(KeepsEveryCode({depth, false}));
    }
    for (const int depth : {8, 10, 12}) {
        ExpectEveryCodeRoundTrips({depth, true});
        EXPECT_TRUE(KeepsEveryCode({depth, true}));
    }
    const SampleScale full8{8, true};
    EXPECT_EQ(LumaToYc48(255, full8), 4096);
    EXPECT_EQ(ChromaToYc48(128, full8), 0);
}

TEST(SampleConvert, SixteenBitsKeepEveryYc48ValueAndRoundToNearestCode) {
    for (const bool full : {false, true}) {
        const SampleScale s{16, full};
        EXPECT_FALSE(KeepsEveryCode(s));
        // Every YC48 value within the span of the codes has a code of its own.
        for (int v = LumaToYc48(0, s); v <= LumaToYc48(65535, s); ++v) {
            ASSERT_EQ(LumaToYc48(LumaFromYc48(v, s), s), v) << "full " << full;
        }
        for (int v = ChromaToYc48(0, s); v <= ChromaToYc48(65535, s); ++v) {
            ASSERT_EQ(ChromaToYc48(ChromaFromYc48(v, s), s), v) << "full " << full;
        }
        // A code comes back within half a YC48 step of itself.
        const int halfStep = (full ? 65535 : 219 * 256) / 4096 / 2 + 1;
        for (int code = 0; code < 65536; code += 7) {
            ASSERT_LE(std::abs(LumaFromYc48(LumaToYc48(code, s), s) - code), halfStep) << code;
        }
    }
    EXPECT_FALSE(KeepsEveryCode({14, false}));
}

TEST(SampleConvert, OutputClampsToTheDepthAndTablesMatchTheFunctions) {
    for (const int depth : {8, 10, 16}) {
        const SampleScale s{depth, false};
        const int top = (1 << depth) - 1;
        EXPECT_EQ(LumaFromYc48(-32768, s), 0);
        EXPECT_EQ(ChromaFromYc48(32767, s), top);
        const ConversionTables t(s);
        ASSERT_EQ(t.chromaIn.size(), depth > 8 ? 65536u : 256u);
        for (int code = 0; code <= top; code += depth == 16 ? 13 : 1) {
            ASSERT_EQ(t.chromaIn[static_cast<size_t>(code)], ChromaToYc48(code, s));
            ASSERT_EQ(t.lumaIn[static_cast<size_t>(code)], LumaToYc48(code, s));
        }
        for (int v = -32768; v < 32768; v += 5) {
            ASSERT_EQ(t.chromaOut[static_cast<size_t>(v + 32768)], ChromaFromYc48(v, s));
            ASSERT_EQ(t.lumaOut[static_cast<size_t>(v + 32768)], LumaFromYc48(v, s));
        }
    }
}

}  // namespace
}  // namespace trelvane
