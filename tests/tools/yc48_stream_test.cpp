// Raw YC48 streams through the tool: the host table's result at any thread count.
#include <gtest/gtest.h>

#include <cstring>

#include "cli_options.h"
#include "frame/frame_driver.h"
#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

using testing::ReadFile;
using testing::RunToolOn;
using testing::TempDir;

// Frames of pseudo-random chroma in the nominal range and luma, as PIXEL_YC.
std::vector<PIXEL_YC> RandomFrames(int frames, int pitch, int h, uint32_t seed) {
    const std::vector<uint8_t> noise = testing::NoiseBytes(static_cast<size_t>(frames) * pitch * h * 3, seed);
    std::vector<PIXEL_YC> pixels(static_cast<size_t>(frames) * pitch * h);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = {static_cast<int16_t>(noise[3 * i] * 16), static_cast<int16_t>((noise[3 * i + 1] - 128) * 16),
                     static_cast<int16_t>((noise[3 * i + 2] - 128) * 16)};
    }
    return pixels;
}

std::string Bytes(const std::vector<PIXEL_YC>& pixels) {
    std::string s(pixels.size() * sizeof(PIXEL_YC), '\0');
    std::memcpy(s.data(), pixels.data(), s.size());
    return s;
}

// What the driver makes of the same frames in buffers of its own.
std::string Expected(std::vector<PIXEL_YC> pixels, const FilterSettings& s, int w, int h, int pitch, int frames) {
    WorkBuffers buffers;
    for (int f = 0; f < frames; ++f) {
        EXPECT_EQ(ProcessFrameWith(buffers, s, {pixels.data() + static_cast<size_t>(f) * pitch * h, w, h, pitch}), 1);
    }
    ReleaseWorkBuffers(buffers);
    return Bytes(pixels);
}

TEST(Yc48Stream, FramesThroughTheHostTableEqualTheDriver) {
    TempDir dir;
    const int w = 37, h = 11, pitch = 41, frames = 3;
    const std::vector<PIXEL_YC> input = RandomFrames(frames, pitch, h, 7);
    testing::WriteFile(dir.Path("in.yc"), Bytes(input));
    for (int mode = 0; mode <= 4; ++mode) {
        for (const bool mmx : {true, false}) {
            for (const bool pattern : {false, true}) {
                FilterSettings s = ToolOptions::StartingSettings();
                s.mode = mode;
                s.mmx = mmx;
                s.test = pattern;
                s.line640 = mode % 2;
                std::vector<std::string> args = {"--yc48", "37x11:41", "--mode", std::to_string(mode),
                                                 "--line", s.line640 ? "640" : "720", "--threads", "1"};
                if (!mmx) args.push_back("--no-mmx");
                if (pattern) args.push_back("--test-pattern");
                const std::string want = Expected(input, s, w, h, pitch, frames);
                for (const char* threads : {"1", "3"}) {
                    args[7] = threads;
                    const testing::ToolRun run = RunToolOn(args, dir.Path("in.yc"), dir.Path("out.yc"));
                    ASSERT_EQ(run.status, 0) << run.err;
                    ASSERT_EQ(ReadFile(dir.Path("out.yc")), want)
                        << "mode " << mode << " mmx " << mmx << " pattern " << pattern << " threads " << threads;
                }
            }
        }
    }
}

TEST(Yc48Stream, PixelsPastTheWidthPassThrough) {
    TempDir dir;
    const std::vector<PIXEL_YC> input = RandomFrames(2, 24, 5, 11);
    testing::WriteFile(dir.Path("in.yc"), Bytes(input));
    ASSERT_EQ(RunToolOn({"--yc48", "16x5:24", "--test-pattern"}, dir.Path("in.yc"), dir.Path("out.yc")).status, 0);
    const std::string out = ReadFile(dir.Path("out.yc"));
    ASSERT_EQ(out.size(), input.size() * sizeof(PIXEL_YC));
    std::vector<PIXEL_YC> got(input.size());
    std::memcpy(got.data(), out.data(), out.size());
    int changed = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const bool pastWidth = i % 24 >= 16;
        const bool same = std::memcmp(&got[i], &input[i], sizeof(PIXEL_YC)) == 0;
        if (pastWidth) {
            ASSERT_TRUE(same) << "pixel " << i;
        }
        changed += !same;
    }
    EXPECT_GT(changed, 0);
}

TEST(Yc48Stream, TruncatedLastFrameWritesTheCompleteOnesAndFails) {
    TempDir dir;
    const std::vector<PIXEL_YC> input = RandomFrames(3, 8, 4, 5);
    const std::string all = Bytes(input);
    const size_t frameBytes = all.size() / 3;
    testing::WriteFile(dir.Path("in.yc"), all.substr(0, 2 * frameBytes + 10));
    const FilterSettings s = ToolOptions::StartingSettings();
    const std::string want = Expected(input, s, 8, 4, 8, 2).substr(0, 2 * frameBytes);
    for (const char* threads : {"1", "2"}) {
        const testing::ToolRun run = RunToolOn({"--yc48", "8x4", "--threads", threads}, dir.Path("in.yc"), dir.Path("out.yc"));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "trelvane: frame 3: truncated (10 of 192 bytes)\n");
        EXPECT_EQ(ReadFile(dir.Path("out.yc")), want);
    }
    // --frames stops early and is not an error.
    const testing::ToolRun one = RunToolOn({"--yc48", "8x4", "--frames", "1"}, dir.Path("in.yc"), dir.Path("out.yc"));
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(ReadFile(dir.Path("out.yc")), want.substr(0, frameBytes));
}

}  // namespace
}  // namespace trelvane::cli
