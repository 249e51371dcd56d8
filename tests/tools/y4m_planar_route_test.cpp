// The planar route against the YC48 route it stands in for: every chroma
// sample of a frame filtered straight from the planes must equal the one that
// LoadChroma, ProcessFrameWith and StoreChroma give, over every mode and
// setting, the scalar and the packed path, odd widths, heights that leave
// scalar rows, 4:2:0 and 4:2:2, and depths whose codes reach the 16-bit
// extremes.
#include "pipeline/y4m_planar_route.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "io/y4m.h"
#include "io/y4m_work_frame.h"
#include "kernels/packed/packed_kernels.h"
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
    {"422", false, false},   {"420", false, false},    {"422p10", false, true},
    {"420p10", true, false}, {"422p16", false, false}, {"420p12", false, true},
};

Y4mHeader HeaderOf(const StreamKind& kind, int w, int h) {
    Y4mHeader header;
    std::string error;
    std::string line =
        "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " C" + kind.colourSpace;
    if (kind.fullRange) line += " XCOLORRANGE=FULL";
    EXPECT_TRUE(ParseY4mStreamHeader(line, header, error)) << error;
    return header;
}

// A frame of random samples; every few rows a run of extreme codes, so that
// sharp steps reach the filters' saturation.
std::vector<uint8_t> RandomFrame(const Y4mHeader& header, const Y4mFrameLayout& layout,
                                 const StreamKind& kind, std::mt19937& rng) {
    std::vector<uint8_t> frame(layout.frameBytes);
    const int bytes = layout.bytesPerSample;
    const unsigned top = bytes == 1 ? 255u : (kind.wideCodes ? 65535u : (1u << header.depth) - 1);
    std::uniform_int_distribution<unsigned> code(0, top);
    const size_t samples = layout.frameBytes / static_cast<size_t>(bytes);
    for (size_t i = 0; i < samples; ++i) {
        unsigned v = code(rng);
        if ((i / 7) % 5 == 0) v = (i % 2 == 0) ? 0 : top;
        frame[static_cast<size_t>(bytes) * i] = static_cast<uint8_t>(v);
        if (bytes == 2) frame[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return frame;
}

// The frame through the YC48 route: the work frame the y4m stream builds.
std::vector<uint8_t> ThroughYc48(const Y4mHeader& header, const Y4mFrameLayout& layout,
                                 const ConversionTables& tables, const FilterSettings& settings,
                                 WorkBuffers& buffers, std::vector<uint8_t> frame) {
    std::vector<PIXEL_YC> work(static_cast<size_t>(header.width) * layout.chromaHeight);
    LoadChroma(header, layout, tables, frame.data(), work.data());
    EXPECT_EQ(ProcessFrameWith(buffers, settings,
                               {work.data(), header.width, layout.chromaHeight, header.width}),
              1);
    StoreChroma(header, layout, tables, work.data(), frame.data());
    return frame;
}

struct Setting {
    int strength;
    int noise;
};

TEST(Y4mPlanarRoute, EqualsTheYc48RouteForEveryModeAndShape) {
    const uint32_t seed = test::TestSeed();
    SCOPED_TRACE(test::SeedTrace(seed));
    std::mt19937 rng(seed);
    WorkBuffers planarBuffers;
    WorkBuffers yc48Buffers;
    const std::pair<int, int> kSizes[] = {{2, 4}, {3, 7}, {16, 9}, {45, 13}, {46, 16}, {721, 10}};
    const Setting kSettings[] = {{64, 48}, {0, 0}, {128, 128}, {37, 5}};

    for (const StreamKind& kind : kKinds) {
        for (const auto& [w, h] : kSizes) {
            const Y4mHeader header = HeaderOf(kind, w, h);
            const Y4mFrameLayout layout = FrameLayoutOf(header);
            const ConversionTables tables({header.depth, header.fullRange});
            for (int mode = 1; mode <= 4; ++mode) {
                for (int mmx : {0, 1}) {
                    for (int line640 : {0, 1}) {
                        const Setting setting = kSettings[rng() % std::size(kSettings)];
                        FilterSettings s;
                        s.mode = mode;
                        s.mmx = mmx;
                        s.line640 = line640;
                        s.strength = setting.strength;
                        s.noise = setting.noise;
                        SCOPED_TRACE(std::string(kind.colourSpace) + " " + std::to_string(w) + "x" +
                                     std::to_string(h) + " mode " + std::to_string(mode) + " mmx " +
                                     std::to_string(mmx) + " 640 " + std::to_string(line640) +
                                     " strength " + std::to_string(s.strength) + " noise " +
                                     std::to_string(s.noise));
                        ASSERT_TRUE(PlanarRouteCovers(header, s));
                        const std::vector<uint8_t> in = RandomFrame(header, layout, kind, rng);
                        const std::vector<uint8_t> expected =
                            ThroughYc48(header, layout, tables, s, yc48Buffers, in);
                        std::vector<uint8_t> planar = in;
                        ASSERT_TRUE(FilterChromaPlanes(header, layout, tables, s, planarBuffers,
                                                       planar.data()));
                        ASSERT_EQ(planar, expected);
                    }
                }
            }
        }
    }
    ReleaseWorkBuffers(planarBuffers);
    ReleaseWorkBuffers(yc48Buffers);
}

// The packed rows must really differ from scalar rows in these frames, or
// the comparison above could not tell a wrong row grouping from a right one.
TEST(Y4mPlanarRoute, GroupingShowsInTheOutput) {
    const Y4mHeader header = HeaderOf(kKinds[2], 46, 7);
    const Y4mFrameLayout layout = FrameLayoutOf(header);
    const ConversionTables tables({header.depth, header.fullRange});
    std::mt19937 rng(7);
    const std::vector<uint8_t> in = RandomFrame(header, layout, kKinds[2], rng);
    WorkBuffers buffers;
    FilterSettings packed;
    packed.mode = 1;
    FilterSettings scalar = packed;
    scalar.mmx = 0;
    std::vector<uint8_t> a = in;
    std::vector<uint8_t> b = in;
    ASSERT_TRUE(FilterChromaPlanes(header, layout, tables, packed, buffers, a.data()));
    ASSERT_TRUE(FilterChromaPlanes(header, layout, tables, scalar, buffers, b.data()));
    ReleaseWorkBuffers(buffers);
    // Rows 0..3 form a group, rows 4..6 do not.
    const size_t rowBytes = static_cast<size_t>(layout.chromaWidth) * 2;
    const size_t cr = layout.lumaBytes + layout.chromaBytes;
    EXPECT_NE(std::memcmp(a.data() + cr, b.data() + cr, 4 * rowBytes), 0);
    EXPECT_EQ(std::memcmp(a.data() + cr + 4 * rowBytes, b.data() + cr + 4 * rowBytes, 3 * rowBytes),
              0);
}

}  // namespace
}  // namespace trelvane::cli
