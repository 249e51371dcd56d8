// Chroma planes through the row loop: 4:4:4, 4:2:x and 4:1:1 checked against
// a YC frame built by hand from the samples, and samples interleaved with
// luma checked against the same samples as separate planes; the test
// pattern kept between pictures.
#include "convert/chroma_planes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/test_picture.h"
#include "frame/presets.h"
#include "support/chroma_reference.h"
#include "support/test_seed.h"

namespace trelvane {
namespace {

// Codes of one byte, or two little-endian bytes, with runs of the extremes
// so that sharp steps reach the filters' saturation.
std::vector<uint8_t> RandomCodes(size_t samples, int bytes, unsigned top, std::mt19937& rng) {
    std::uniform_int_distribution<unsigned> code(0, top);
    std::vector<uint8_t> codes(samples * static_cast<size_t>(bytes));
    for (size_t i = 0; i < samples; ++i) {
        unsigned v = code(rng);
        if ((i / 5) % 4 == 0) v = i % 2 == 0 ? 0 : top;
        codes[bytes * i] = static_cast<uint8_t>(v);
        if (bytes == 2) codes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return codes;
}

TEST(ChromaPlanes, EveryLayoutEqualsItsYcFrame) {
    const uint32_t seed = test::TestSeed();
    SCOPED_TRACE(test::SeedTrace(seed));
    std::mt19937 rng(seed);
    // 8-bit limited range takes the vector conversions on the way in.
    const SampleScale kScales[] = {{8, false}, {8, true}, {10, false}};
    const std::pair<int, int> kSizes[] = {{2, 1}, {3, 5}, {5, 4}, {6, 9}, {7, 4}, {8, 8}, {61, 7}, {720, 5}};
    WorkBuffers buffers;
    for (const SampleScale scale : kScales) {
        const ConversionTables tables(scale);
        const int bytes = scale.depth > 8 ? 2 : 1;
        const unsigned top = (1u << scale.depth) - 1;
        for (const auto& [w, h] : kSizes) {
            for (const int pixelsPerSample : {1, 2, 4}) {
                for (int modeAndPath = 0; modeAndPath < 8; ++modeAndPath) {
                    FilterSettings s;
                    s.mode = 1 + modeAndPath / 2;
                    s.mmx = modeAndPath % 2;
                    s.strength = static_cast<int>(rng() % 129);
                    s.noise = static_cast<int>(rng() % 129);
                    const int samples = (w + pixelsPerSample - 1) / pixelsPerSample;
                    SCOPED_TRACE(std::to_string(samples) + " samples for " + std::to_string(w) + "x" +
                                 std::to_string(h) + ", depth " + std::to_string(scale.depth) +
                                 (scale.fullRange ? " full" : "") + ", mode " + std::to_string(s.mode) +
                                 " mmx " + std::to_string(s.mmx));
                    const size_t planeSamples = static_cast<size_t>(samples) * h;
                    std::vector<uint8_t> frame = RandomCodes(2 * planeSamples, bytes, top, rng);
                    const std::vector<uint8_t> cb(frame.begin(), frame.begin() + frame.size() / 2);
                    const std::vector<uint8_t> cr(frame.begin() + frame.size() / 2, frame.end());

                    ChromaPlanes planes;
                    planes.cb = frame.data();
                    planes.cr = frame.data() + frame.size() / 2;
                    planes.stride = static_cast<size_t>(samples) * bytes;
                    planes.bytesPerSample = bytes;
                    planes.pixelsPerSample = pixelsPerSample;
                    planes.samples = samples;
                    planes.rows = h;
                    ASSERT_TRUE(FilterChromaPlanes(planes, w, tables, s, buffers));
                    ASSERT_EQ(frame, test::ChromaThroughYcFrame(cb, cr, pixelsPerSample, w, h, bytes,
                                                                tables, s));
                }
            }
        }
    }
    ReleaseWorkBuffers(buffers);
}

// Packed 4:2:2 rows (Y0 Cb Y1 Cr, rows padded past their samples) give the
// chroma that the same samples as planes give, and leave every other byte
// alone.
TEST(ChromaPlanes, InterleavedSamplesEqualPlanesAndLeaveTheOtherBytesAlone) {
    const uint32_t seed = test::TestSeed();
    SCOPED_TRACE(test::SeedTrace(seed));
    std::mt19937 rng(seed);
    const int w = 45;
    const int h = 11;
    const int samples = (w + 1) / 2;
    const size_t stride = 4 * static_cast<size_t>(samples) + 12;
    for (const SampleScale scale : {SampleScale{8, false}, SampleScale{8, true}}) {
        const ConversionTables tables(scale);
        for (int mmx : {0, 1}) {
            SCOPED_TRACE(std::string(scale.fullRange ? "full" : "limited") + " mmx " + std::to_string(mmx));
            FilterSettings s;
            s.mode = 4;
            s.mmx = mmx;
            std::vector<uint8_t> packed = RandomCodes(stride * h, 1, 255, rng);
            std::vector<uint8_t> cb(static_cast<size_t>(samples) * h);
            std::vector<uint8_t> cr(cb.size());
            for (int r = 0; r < h; ++r) {
                for (int j = 0; j < samples; ++j) {
                    cb[static_cast<size_t>(r) * samples + j] = packed[r * stride + 4 * j + 1];
                    cr[static_cast<size_t>(r) * samples + j] = packed[r * stride + 4 * j + 3];
                }
            }
            const std::vector<uint8_t> before = packed;

            WorkBuffers buffers;
            ChromaPlanes planar;
            planar.cb = cb.data();
            planar.cr = cr.data();
            planar.stride = static_cast<size_t>(samples);
            planar.samples = samples;
            planar.rows = h;
            ASSERT_TRUE(FilterChromaPlanes(planar, w, tables, s, buffers));
            ChromaPlanes interleaved = planar;
            interleaved.cb = packed.data() + 1;
            interleaved.cr = packed.data() + 3;
            interleaved.stride = stride;
            interleaved.sampleStep = 4;
            ASSERT_TRUE(FilterChromaPlanes(interleaved, w, tables, s, buffers));
            ReleaseWorkBuffers(buffers);

            for (size_t i = 0; i < packed.size(); ++i) {
                const size_t r = i / stride;
                const size_t x = i % stride;
                const bool chroma = x < 4 * static_cast<size_t>(samples) && x % 2 == 1;
                const uint8_t expected =
                    !chroma ? before[i] : (x % 4 == 1 ? cb : cr)[r * samples + x / 4];
                ASSERT_EQ(packed[i], expected) << "byte " << i;
            }
        }
    }
}

}  // namespace
}  // namespace trelvane

namespace trelvane {
namespace {

// A TestPicture kept between frames draws again when the line or the size
// changes: each fill equals the fill of a new one.
TEST(TestPicture, AKeptPictureFollowsChangesOfLineAndSize) {
    const ConversionTables tables({8, false});
    TestPicture kept;
    WorkBuffers buffers;
    struct Step {
        int width, height, line640;
    };
    for (const Step step : {Step{64, 12, 1}, Step{64, 12, 0}, Step{40, 10, 0}, Step{64, 12, 0}}) {
        SCOPED_TRACE(std::to_string(step.width) + "x" + std::to_string(step.height) + " line640 " +
                     std::to_string(step.line640));
        const int samples = (step.width + 1) / 2;
        std::vector<uint8_t> a(static_cast<size_t>(step.width) * step.height + 2 * samples * step.height);
        std::vector<uint8_t> b = a;
        const auto picture = [&](std::vector<uint8_t>& bytes) {
            PicturePlanes p;
            p.luma = bytes.data();
            p.lumaStride = static_cast<size_t>(step.width);
            p.width = step.width;
            p.height = step.height;
            p.chroma.cb = bytes.data() + static_cast<size_t>(step.width) * step.height;
            p.chroma.cr = p.chroma.cb + static_cast<size_t>(samples) * step.height;
            p.chroma.stride = static_cast<size_t>(samples);
            p.chroma.samples = samples;
            p.chroma.rows = step.height;
            return p;
        };
        FilterSettings s = DefaultStreamSettings();
        s.line640 = step.line640;
        ASSERT_TRUE(kept.Fill(picture(a), tables, s, buffers));
        TestPicture fresh;
        ASSERT_TRUE(fresh.Fill(picture(b), tables, s, buffers));
        ASSERT_EQ(a, b);
    }
    ReleaseWorkBuffers(buffers);
}

}  // namespace
}  // namespace trelvane
