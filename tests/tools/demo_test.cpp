// `trelvane demo`: its pictures, the host's display conversion, the label font.
#include "demo/demo.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "demo/capture_models.h"
#include "pictures/bitmap_font.h"
#include "pictures/rgb_image.h"
#include "pipeline/y4m_frame_filter.h"
#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

TEST(Demo, WritesDecodablePicturesOfEveryModeAndAContactSheet) {
    testing::TempDir dir;
    const testing::ToolRun run = testing::RunToolOn({"-q", "demo", dir.Path("pics/nested")}, "", "");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> names = DemoFileNames();
    // The pattern's ten and its sheet; each capture's eight and its sheet.
    ASSERT_EQ(names.size(), 11u + 2 * (8 * 3 + 1));
    for (const std::string& name : names) {
        const testing::DecodedPng png = testing::ReadPng(dir.Path("pics/nested/" + name));
        ASSERT_TRUE(png.valid) << name;
        if (name.find("contact-sheet.png") != std::string::npos) {
            EXPECT_GE(png.width, name.find('/') == std::string::npos ? 5u * kDemoWidth : 2u * kDemoWidth) << name;
            EXPECT_GE(png.height, 2u * kDemoHeight) << name;
        } else if (name.find("-crop.png") == std::string::npos && name.find("-chroma.png") == std::string::npos) {
            EXPECT_EQ(png.width, unsigned{kDemoWidth}) << name;
            EXPECT_EQ(png.height, unsigned{kDemoHeight}) << name;
        }
    }
    // Filtering must show: a filtered picture differs from the unfiltered one.
    for (const auto& [before, after] : {std::pair{"unfiltered-640.png", "mode1-640.png"},
                                        {"capture-vhs/unfiltered.png", "capture-vhs/vhs.png"},
                                        {"capture-broadcast/unfiltered.png", "capture-broadcast/mode4.png"}}) {
        EXPECT_NE(testing::ReadPng(dir.Path("pics/nested/") + before).rgb,
                  testing::ReadPng(dir.Path("pics/nested/") + after).rgb) << after;
    }

    // A demo into a place that holds any picture of the same name refuses
    // before writing anything: here a capture's contact sheet.
    std::filesystem::create_directories(dir.Path("pics/other/capture-vhs"));
    const std::string sheet = dir.Path("pics/other/capture-vhs/contact-sheet.png");
    testing::WriteFile(sheet, "mine");
    const testing::ToolRun again = testing::RunToolOn({"demo", dir.Path("pics/other")}, "", "");
    EXPECT_EQ(again.status, 2);
    EXPECT_EQ(again.err, "trelvane: '" + sheet +
                             "' exists; demo never overwrites a picture: move the old ones away or name another "
                             "directory\n");
    EXPECT_EQ(testing::ReadFile(sheet), "mine");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("pics/other/unfiltered-640.png")));

    testing::WriteFile(dir.Path("file"), "x");
    const testing::ToolRun blocked = testing::RunToolOn({"demo", dir.Path("file/sub")}, "", "");
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("cannot create directory"), std::string::npos);

    // A full disk is named as the system names it.
    if (::access("/dev/full", W_OK) == 0) {
        std::string error;
        EXPECT_FALSE(WritePng("/dev/full", RgbImage(64, 64), error));
        EXPECT_EQ(error, "cannot write '/dev/full': No space left on device");
    }
}

TEST(Demo, DisplayConversionIsTheHostsBt601) {
    const auto rgb = [](int y, int cb, int cr) {
        const Rgb c = YcToRgb({static_cast<int16_t>(y), static_cast<int16_t>(cb), static_cast<int16_t>(cr)});
        return std::vector<int>{c.r, c.g, c.b};
    };
    EXPECT_EQ(rgb(4096, 0, 0), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(rgb(0, 0, 0), (std::vector<int>{0, 0, 0}));
    // Mid grey: (255 * 2048 + (3 << 10)) >> 12.
    EXPECT_EQ(rgb(2048, 0, 0), (std::vector<int>{128, 128, 128}));
    // Full Cr adds about 1.402 * 255 / 2 to R and takes 0.714 of that from G.
    EXPECT_EQ(rgb(2048, 0, 2048), (std::vector<int>{255, 37, 128}));
    EXPECT_EQ(rgb(2048, 2048, 0), (std::vector<int>{128, 84, 255}));
    // Negative products shift toward minus infinity; results clamp at 0.
    EXPECT_EQ(rgb(-500, -2048, -2048), (std::vector<int>{0, 104, 0}));
}

// Crops enlarged pixel for pixel, shrinking by the mean, and a PNG written
// only as a new file.
TEST(Demo, PicturesEnlargeShrinkAndNeverOverwriteWhenAskedNotTo) {
    RgbImage image(3, 2);
    for (int i = 0; i < 18; ++i) image.rgb[static_cast<size_t>(i)] = static_cast<uint8_t>(10 * i);
    const RgbImage big = Enlarge(image, 1, 0, 2, 2, 3);
    ASSERT_EQ(big.width, 6);
    ASSERT_EQ(big.height, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            ASSERT_EQ(big.At(x, y)[0], image.At(1 + x / 3, y / 3)[0]) << x << "," << y;
        }
    }
    // 3x2 by 2: a 2x1 picture; the right column is the mean of the one
    // column there is.
    const RgbImage small = Shrink(image, 2);
    ASSERT_EQ(small.width, 2);
    ASSERT_EQ(small.height, 1);
    EXPECT_EQ(small.At(0, 0)[0], (0 + 30 + 90 + 120 + 2) / 4);
    EXPECT_EQ(small.At(1, 0)[2], (80 + 170 + 1) / 2);

    testing::TempDir dir;
    testing::WriteFile(dir.Path("old.png"), "mine");
    std::string error;
    EXPECT_FALSE(WritePng(dir.Path("old.png"), image, error, true));
    EXPECT_EQ(error, "cannot create '" + dir.Path("old.png") + "': File exists");
    EXPECT_EQ(testing::ReadFile(dir.Path("old.png")), "mine");
    ASSERT_TRUE(WritePng(dir.Path("new.png"), image, error, true)) << error;
    EXPECT_EQ(testing::ReadPng(dir.Path("new.png")).rgb, image.rgb);
}

TEST(Demo, FontDrawsInsideItsBoxAndClipsAtTheEdge) {
    RgbImage image(40, 20);
    DrawText(image, 1, 2, "M0", 2, {255, 0, 0});
    EXPECT_EQ(TextWidth("M0", 2), 22);
    int lit = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const bool on = image.At(x, y)[0] == 255;
            lit += on;
            if (on) {
                EXPECT_GE(x, 1);
                EXPECT_LT(x, 1 + 22);
                EXPECT_GE(y, 2);
                EXPECT_LT(y, 2 + kGlyphHeight * 2);
            }
        }
    }
    EXPECT_GT(lit, 40);

    // A glyph mostly outside: the part inside is drawn, and nothing else
    // changes (a clip that wrapped would show in other rows or columns). Of
    // '?' at scale 3 from (35, 15) the image keeps column 1 of its first row
    // ".###." (x 38..39, y 15..17) and column 0 of its second "#...#"
    // (x 35..37, y 18..19).
    const std::vector<uint8_t> before = image.rgb;
    const std::vector<uint8_t> green = {0, 255, 0};
    DrawText(image, 35, 15, "?", 3, {green[0], green[1], green[2]});
    const auto pixel = [&](const std::vector<uint8_t>& rgb, int x, int y) {
        const auto at = rgb.begin() + (y * image.width + x) * 3;
        return std::vector<uint8_t>(at, at + 3);
    };
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const bool inGlyph = (x >= 38 && y >= 15 && y < 18) || (x >= 35 && x < 38 && y >= 18);
            ASSERT_EQ(pixel(image.rgb, x, y), inGlyph ? green : pixel(before, x, y))
                << "pixel " << x << "," << y;
        }
    }
}

// The demo's captures degrade chroma only, and the tool's default takes
// chroma noise off the tape capture: in the smooth hue ramp of its bottom
// rows its chroma comes closer to the clean picture. (Over the whole frame,
// mostly sharp colour edges that no filter can sharpen again, it does not,
// as the quality bench finds for such pictures.)
TEST(Demo, CapturesDegradeChromaOnlyAndTheDefaultSmoothsTapeNoise) {
    Y4mHeader header;
    std::string error;
    ASSERT_TRUE(ParseY4mStreamHeader(CaptureHeaderLine(), header, error)) << error;
    const ConversionTables tables({header.depth, header.fullRange});
    const Y4mFrameLayout layout = FrameLayoutOf(header);
    const std::vector<uint8_t> clean = CaptureFrame(AnalogPath::kNone);
    // Squared chroma error in rows 400 to 479.
    const auto rampError = [&](const std::vector<uint8_t>& frame) {
        int64_t sum = 0;
        for (size_t plane = 0; plane < 2; ++plane) {
            const size_t first = layout.lumaBytes + plane * layout.chromaBytes + 400 * static_cast<size_t>(layout.chromaWidth);
            const size_t end = layout.lumaBytes + (plane + 1) * layout.chromaBytes;
            for (size_t i = first; i < end; ++i) sum += (frame[i] - clean[i]) * (frame[i] - clean[i]);
        }
        return sum;
    };
    for (const AnalogPath path : {AnalogPath::kBroadcast, AnalogPath::kVhs}) {
        std::vector<uint8_t> frame = CaptureFrame(path);
        ASSERT_EQ(frame.size(), clean.size());
        EXPECT_TRUE(std::equal(clean.begin(), clean.begin() + static_cast<ptrdiff_t>(layout.lumaBytes), frame.begin()));
        EXPECT_NE(frame, clean);
        if (path != AnalogPath::kVhs) continue;
        const int64_t before = rampError(frame);
        Y4mFrameFilter filter(header, tables, ToolOptions::StartingSettings());
        ASSERT_TRUE(filter.Filter(frame.data()));
        EXPECT_LT(rampError(frame), before);
    }
}

}  // namespace
}  // namespace trelvane::cli
