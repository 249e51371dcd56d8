// `trelvane preview`: frame N of the user's file, through the stream's own
// filter, as decodable pictures; existing pictures never overwritten.
#include "preview/preview.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "io/y4m.h"
#include "pictures/before_after.h"
#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

using testing::ReadFile;
using testing::RunToolOn;
using Args = std::vector<std::string>;

// 4:2:0, 64x48: 3072 luma and 2 x 768 chroma bytes a frame.
const std::string kHeader = "YUV4MPEG2 W64 H48 F25:1 C420";
constexpr size_t kFrame = 64 * 48 + 2 * 32 * 24;

std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The pictures of frame 2 are those of the stream's frame 2 with the same
// settings; the crop is cut from the whole picture and enlarged.
TEST(Preview, PicturesShowTheFrameAsTheStreamFiltersIt) {
    testing::TempDir dir;
    testing::WriteFile(dir.Path("in.y4m"), testing::MakeY4m(kHeader, 3, kFrame, 17));
    const testing::ToolRun run =
        RunToolOn({"preview", dir.Path("in.y4m"), "--frame", "2", "--crop", "8,4,20,10", "--mode=2", dir.Path("p")},
                  "", "");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("wrote 12 pictures of frame 2"), std::string::npos) << run.err;
    ToolOptions given = ParseCommandLine({"--mode", "2"}).options;
    const std::vector<BeforeAfterVariant> variants = PreviewVariants(given);
    ASSERT_EQ(variants.size(), 2 + FilterPresets().size());
    std::vector<std::string> expected = BeforeAfterFileNames(variants);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(dir.Path("p")), expected);

    Y4mHeader header;
    std::string error;
    ASSERT_TRUE(ParseY4mStreamHeader(kHeader, header, error));
    const ConversionTables tables({8, false});
    for (const BeforeAfterVariant& v : variants) {
        SCOPED_TRACE(v.name);
        // The stream's frame 2 with these settings, drawn as preview draws it.
        Args args = {"--frames", "2"};
        if (v.settings) {
            args.insert(args.end(), {"--mode", std::to_string(v.settings->mode), "--strength",
                                     std::to_string(v.settings->strength), "--noise", std::to_string(v.settings->noise)});
        } else {
            args.insert(args.end(), {"--mode", "0"});
        }
        ASSERT_EQ(RunToolOn(args, dir.Path("in.y4m"), dir.Path("out.y4m")).status, 0);
        const std::string stream = ReadFile(dir.Path("out.y4m"));
        const auto* frame2 = reinterpret_cast<const uint8_t*>(stream.data() + stream.size() - kFrame);
        const std::vector<PIXEL_YC> picture = FramePicture(header, tables, frame2);
        const RgbImage whole = RenderYcFrame(picture.data(), 64, 48, 64);
        const testing::DecodedPng png = testing::ReadPng(dir.Path("p/" + v.name + ".png"));
        ASSERT_TRUE(png.valid);
        EXPECT_EQ(png.rgb, whole.rgb);
        const testing::DecodedPng crop = testing::ReadPng(dir.Path("p/" + v.name + "-crop.png"));
        ASSERT_TRUE(crop.valid);
        EXPECT_EQ(crop.rgb, Enlarge(whole, 8, 4, 20, 10, 8).rgb);  // 20x10 fits 640x480 eight times at most
        EXPECT_TRUE(testing::ReadPng(dir.Path("p/" + v.name + "-chroma.png")).valid);
    }
    EXPECT_TRUE(testing::ReadPng(dir.Path("p/contact-sheet.png")).valid);
}

TEST(Preview, RefusesBeforeWritingAnything) {
    testing::TempDir dir;
    testing::WriteFile(dir.Path("in.y4m"), testing::MakeY4m(kHeader, 2, kFrame, 3));
    // One picture of the same name: status 2 and not one file more.
    std::filesystem::create_directory(dir.Path("p"));
    testing::WriteFile(dir.Path("p/vhs-chroma.png"), "mine");
    const testing::ToolRun taken = RunToolOn({"preview", dir.Path("in.y4m"), dir.Path("p")}, "", "");
    EXPECT_EQ(taken.status, 2);
    EXPECT_EQ(taken.err, "trelvane: '" + dir.Path("p/vhs-chroma.png") +
                             "' exists; preview never overwrites a picture: move the old ones away or name another "
                             "directory\n");
    EXPECT_EQ(Listing(dir.Path("p")), std::vector<std::string>{"vhs-chroma.png"});
    EXPECT_EQ(ReadFile(dir.Path("p/vhs-chroma.png")), "mine");

    const struct {
        Args args;
        int status;
        std::string message;
    } cases[] = {
        {{"--frame", "3"}, 1, "--frame 3: the input ends after 2 frames"},
        {{"--crop", "60,0,5,5"}, 2, "--crop 60,0,5,5 reaches outside the 64x48 frame"},
        {{"--frame", "0"}, 2, "--frame: expected a whole number from 1 to 9007199254740992, got '0' (see trelvane --help)"},
        {{"--threads", "2"}, 2,
         "preview does not take --threads (only --preset, --mode, --strength, --noise, --line, --no-mmx, --frame, "
         "--crop and --quiet) (see trelvane --help)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        Args args = {"preview", dir.Path("in.y4m"), dir.Path("q")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const testing::ToolRun run = RunToolOn(args, "", "");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, "trelvane: " + c.message + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir.Path("q")));
    }
    EXPECT_EQ(RunToolOn({"--frame", "2", "in.y4m"}, "", "").err,
              "trelvane: --frame is an option of preview only (trelvane preview INPUT ...) (see trelvane --help)\n");
    EXPECT_EQ(RunToolOn({"preview"}, "", "").status, 2);
}

// The default crop lies where the chroma changes most along the rows, and
// in the middle of a picture whose chroma does not change.
TEST(Preview, DefaultCropFindsTheChromaDetail) {
    const int w = 400;
    const int h = 300;
    std::vector<PIXEL_YC> picture(static_cast<size_t>(w) * h, PIXEL_YC{2048, 100, -100});
    EXPECT_EQ(ChooseCrop(picture, w, h).x, (w - kDefaultCropWidth) / 2);
    EXPECT_EQ(ChooseCrop(picture, w, h).y, (h - kDefaultCropHeight) / 2);
    // Stripes of alternating Cr in 160..259 x 170..269, vertical stripes of
    // Cb (which change only down the columns) elsewhere.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            PIXEL_YC& p = picture[static_cast<size_t>(y) * w + x];
            if (x >= 160 && x < 260 && y >= 170 && y < 270) p.cr = static_cast<int16_t>(x % 2 == 0 ? 500 : -500);
            p.cb = static_cast<int16_t>(y % 2 == 0 ? 900 : -900);
        }
    }
    const CropRect crop = ChooseCrop(picture, w, h);
    EXPECT_EQ(crop.width, kDefaultCropWidth);
    EXPECT_EQ(crop.height, kDefaultCropHeight);
    EXPECT_LE(crop.x, 160);
    EXPECT_GE(crop.x + crop.width, 260);
    EXPECT_LE(crop.y, 170);
    EXPECT_GE(crop.y + crop.height, 270);
    EXPECT_EQ(EnlargementFor(crop), kDefaultEnlargement);
    // A picture smaller than the window is cropped whole.
    const CropRect small = ChooseCrop(std::vector<PIXEL_YC>(50 * 20), 50, 20);
    EXPECT_EQ(small.width * 100 + small.height, 50 * 100 + 20);
}

}  // namespace
}  // namespace trelvane::cli
