// The built program between ffmpeg encoders and decoders, as users run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "io/y4m.h"
#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

using testing::ReadFile;
using testing::Shell;
using testing::TempDir;

class FfmpegRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    }

    // A testsrc2 clip in the pixel format, as y4m.
    std::string Clip(const std::string& pixFmt, int frames) {
        const std::string path = dir_.Path(pixFmt + ".y4m");
        const int rc = Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=176x144:rate=25 -frames:v " +
                             std::to_string(frames) + " -pix_fmt " + pixFmt + " -strict -1 -f yuv4mpegpipe " + path);
        EXPECT_EQ(rc, 0);
        return path;
    }

    int Tool(const std::string& args) { return Shell(testing::ToolPath() + " -q " + args); }

    TempDir dir_;
};

struct Parsed {
    std::string headerLine;
    Y4mFrameLayout layout;
    std::vector<std::string> frames;
};

Parsed ParseFile(const std::string& path) {
    const std::string bytes = ReadFile(path);
    MemorySource source(bytes.data(), bytes.size());
    Y4mReader reader(source);
    Y4mHeader header;
    std::string error;
    Parsed p;
    EXPECT_TRUE(reader.ReadHeader(header, error)) << error;
    p.headerLine = FormatY4mStreamHeader(header);
    p.layout = FrameLayoutOf(header);
    std::string params;
    std::string frame(p.layout.frameBytes, '\0');
    while (reader.ReadFrame(params, reinterpret_cast<uint8_t*>(frame.data()), frame.size(), error) ==
           Y4mReader::FrameResult::kFrame) {
        p.frames.push_back(frame);
    }
    return p;
}

// 4:2:2 at two depths and DV's 4:1:1, each written back in its own layout:
// mode 0 byte for byte, the default with luma untouched and chroma filtered.
TEST_F(FfmpegRoundTrip, CapturesKeepLumaTagsAndFrameCount) {
    const std::map<std::string, std::string> tags = {
        {"yuv422p", "C422 "}, {"yuv422p10le", "C422p10 "}, {"yuv411p", "C411 "}};
    for (const auto& [pixFmt, tag] : tags) {
        const std::string in = Clip(pixFmt, 6);
        const std::string out0 = dir_.Path("mode0.y4m");
        const std::string out4 = dir_.Path("mode4.y4m");
        ASSERT_EQ(Tool("--mode 0 " + in + " " + out0), 0);
        EXPECT_EQ(ReadFile(out0), ReadFile(in)) << pixFmt;

        // Through pipes, as in the documented pipeline.
        ASSERT_EQ(Tool("< " + in + " > " + out4), 0);
        const Parsed a = ParseFile(in);
        const Parsed b = ParseFile(out4);
        EXPECT_EQ(a.headerLine, b.headerLine);
        EXPECT_NE(a.headerLine.find(tag), std::string::npos) << a.headerLine;
        ASSERT_EQ(b.frames.size(), 6u);
        for (size_t f = 0; f < 6; ++f) {
            EXPECT_EQ(a.frames[f].substr(0, a.layout.lumaBytes), b.frames[f].substr(0, b.layout.lumaBytes));
            EXPECT_NE(a.frames[f].substr(a.layout.lumaBytes), b.frames[f].substr(b.layout.lumaBytes));
        }

        // ffmpeg takes the result back and sees every frame.
        const std::string mkv = dir_.Path("out.mkv");
        ASSERT_EQ(Shell("ffmpeg -v error -y -f yuv4mpegpipe -i " + out4 + " -c:v ffv1 " + mkv), 0);
        ASSERT_EQ(Shell("test \"$(ffprobe -v error -count_frames -select_streams v -show_entries "
                        "stream=nb_read_frames,pix_fmt -of csv=p=0 " + mkv + ")\" = " + pixFmt + ",6"), 0);
    }
    // Grey pictures pass through as they are.
    const std::string grey = Clip("gray", 3);
    ASSERT_EQ(Tool(grey + " " + dir_.Path("grey.y4m")), 0);
    EXPECT_EQ(ReadFile(dir_.Path("grey.y4m")), ReadFile(grey));
}

TEST_F(FfmpegRoundTrip, ThreadCountsGiveIdenticalBytes) {
    const std::string in = Clip("yuv420p", 9);
    ASSERT_EQ(Tool("--threads 1 " + in + " " + dir_.Path("t1.y4m")), 0);
    ASSERT_EQ(Tool("--threads 2 " + in + " " + dir_.Path("t2.y4m")), 0);
    ASSERT_EQ(Tool("--threads 7 --no-mmx " + in + " " + dir_.Path("t7.y4m")), 0);
    EXPECT_EQ(ReadFile(dir_.Path("t1.y4m")), ReadFile(dir_.Path("t2.y4m")));
    EXPECT_EQ(ParseFile(dir_.Path("t7.y4m")).frames.size(), 9u);
}

TEST_F(FfmpegRoundTrip, ClosedOutputPipeStopsWithOneLine) {
    const std::string in = Clip("yuv444p", 40);
    const std::string err = dir_.Path("err.txt");
    const int rc = Shell("bash -c 'set -o pipefail; " + testing::ToolPath() + " --threads 2 " + in + " 2>" + err +
                         " | head -c 100 >/dev/null; exit ${PIPESTATUS[0]}'");
    EXPECT_EQ(rc, 1);
    const std::string message = ReadFile(err);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find(": output closed by the reader ("), std::string::npos) << message;
}

}  // namespace
}  // namespace trelvane::cli
