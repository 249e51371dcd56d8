// The tool's frame filter on y4m frames of every layout: luma kept byte for
// byte, and the chroma planes, found at their places in the frame, as the YC
// frame built from them gives, over every mode, the scalar and the packed
// path, odd sizes, and depths whose codes reach the 16-bit extremes.
#include "pipeline/y4m_frame_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/chroma_reference.h"
#include "support/test_seed.h"

namespace trelvane::cli {
namespace {

struct StreamKind {
    const char* colourSpace;
    bool fullRange;
    // Container values beyond the depth's codes, which the input tables
    // extend to YC48 values at the 16-bit extremes.
    bool wideCodes;
};

constexpr StreamKind kKinds[] = {
    {"422", false, false},   {"420", false, false},    {"422p10", false, true}, {"420p10", true, false},
    {"422p16", false, false}, {"420p12", false, true}, {"444", false, false},   {"444p12", true, true},
    {"411", false, false},   {"411", true, false},
};

TEST(Y4mFrameFilter, EveryLayoutKeepsLumaAndFiltersItsChromaPlanes) {
    const uint32_t seed = test::TestSeed();
    SCOPED_TRACE(test::SeedTrace(seed));
    std::mt19937 rng(seed);
    const std::pair<int, int> kSizes[] = {{2, 4}, {3, 7}, {9, 5}, {45, 13}, {721, 6}};
    for (const StreamKind& kind : kKinds) {
        for (const auto& [w, h] : kSizes) {
            Y4mHeader header;
            std::string error;
            const std::string line = "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " C" +
                                     kind.colourSpace + (kind.fullRange ? " XCOLORRANGE=FULL" : "");
            ASSERT_TRUE(ParseY4mStreamHeader(line, header, error)) << error;
            const Y4mFrameLayout f = FrameLayoutOf(header);
            const ConversionTables tables({header.depth, header.fullRange});
            const unsigned top = f.bytesPerSample == 1 ? 255u : kind.wideCodes ? 65535u : (1u << header.depth) - 1;
            std::uniform_int_distribution<unsigned> code(0, top);
            for (int mode = 1; mode <= 4; ++mode) {
                for (int mmx : {0, 1}) {
                    FilterSettings s;
                    s.mode = mode;
                    s.mmx = mmx;
                    s.line640 = static_cast<int>(rng() % 2);
                    s.strength = static_cast<int>(rng() % 129);
                    s.noise = static_cast<int>(rng() % 129);
                    SCOPED_TRACE(line + " mode " + std::to_string(mode) + " mmx " + std::to_string(mmx));
                    // Random codes, with runs of the extremes every few samples.
                    std::vector<uint8_t> frame(f.frameBytes);
                    for (size_t i = 0; i < frame.size() / static_cast<size_t>(f.bytesPerSample); ++i) {
                        const unsigned v = (i / 7) % 5 == 0 ? (i % 2 == 0 ? 0 : top) : code(rng);
                        frame[f.bytesPerSample * i] = static_cast<uint8_t>(v);
                        if (f.bytesPerSample == 2) frame[2 * i + 1] = static_cast<uint8_t>(v >> 8);
                    }
                    const auto cbAt = frame.begin() + static_cast<ptrdiff_t>(f.lumaBytes);
                    const auto crAt = cbAt + static_cast<ptrdiff_t>(f.chromaBytes);
                    std::vector<uint8_t> expected(frame.begin(), cbAt);
                    const std::vector<uint8_t> chroma = test::ChromaThroughYcFrame(
                        {cbAt, crAt}, {crAt, frame.end()}, PixelsPerChromaSample(header.layout), w,
                        f.chromaHeight, f.bytesPerSample, tables, s);
                    expected.insert(expected.end(), chroma.begin(), chroma.end());

                    Y4mFrameFilter filter(header, tables, s);
                    ASSERT_TRUE(filter.Filter(frame.data()));
                    ASSERT_EQ(frame, expected);
                }
            }
        }
    }
}

}  // namespace
}  // namespace trelvane::cli
