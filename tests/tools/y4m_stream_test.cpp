// The y4m stream through the tool: luma kept, chroma as the host would filter it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "convert/sample_convert.h"
#include "frame/test_pattern.h"
#include "io/y4m.h"
#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

using testing::MakeY4m;
using testing::ReadFile;
using testing::RunToolOn;
using testing::TempDir;

struct Stream {
    Y4mHeader header;
    Y4mFrameLayout layout;
    std::vector<std::string> frames;  // frame data without the frame header
};

// The stream's frames; a missing line end fails the test instead of looping.
Stream Split(const std::string& y4m) {
    Stream s;
    std::string error;
    const size_t nl = y4m.find('\n');
    const bool parsed = nl != std::string::npos && ParseY4mStreamHeader(y4m.substr(0, nl), s.header, error);
    EXPECT_TRUE(parsed) << "no y4m header: " << error;
    if (!parsed) return s;
    s.layout = FrameLayoutOf(s.header);
    for (size_t pos = nl + 1; pos < y4m.size();) {
        const size_t eol = y4m.find('\n', pos);
        if (eol == std::string::npos) {
            ADD_FAILURE() << "no frame header line at byte " << pos;
            break;
        }
        s.frames.push_back(y4m.substr(eol + 1, s.layout.frameBytes));
        pos = eol + 1 + s.layout.frameBytes;
    }
    return s;
}

int Sample(const std::string& plane, size_t i, int bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(plane.data());
    return bytes == 1 ? p[i] : p[2 * i] | (p[2 * i + 1] << 8);
}

std::string Header(int w, int h, const std::string& cs) {
    return "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " F30000:1001 It A1:1 C" + cs +
           " XCOLORRANGE=LIMITED";
}

int DepthOf(const std::string& cs) { return cs.size() > 3 ? std::stoi(cs.substr(4)) : 8; }

const char* const kColourSpaces[] = {"420", "422", "444", "411", "420p10", "422p10", "444p12", "422p12"};

TEST(Y4mStream, ModeZeroKeepsEveryByteAndModeFourOnlyChroma) {
    TempDir dir;
    for (const char* cs : kColourSpaces) {
        for (const auto& [w, h] : {std::pair{33, 10}, {1, 1}, {7, 1}, {2, 9}}) {
            const std::string header = Header(w, h, cs);
            Y4mHeader parsed;
            std::string error;
            ASSERT_TRUE(ParseY4mStreamHeader(header, parsed, error));
            const std::string in = MakeY4m(header, 3, FrameLayoutOf(parsed).frameBytes, 3, DepthOf(cs));
            testing::WriteFile(dir.Path("in.y4m"), in);

            ASSERT_EQ(RunToolOn({"--mode", "0"}, dir.Path("in.y4m"), dir.Path("out.y4m")).status, 0);
            EXPECT_EQ(ReadFile(dir.Path("out.y4m")), in) << cs << " " << w << "x" << h;

            ASSERT_EQ(RunToolOn({"--threads", "2"}, dir.Path("in.y4m"), dir.Path("out.y4m")).status, 0);
            const Stream a = Split(in);
            const Stream b = Split(ReadFile(dir.Path("out.y4m")));
            ASSERT_EQ(b.frames.size(), 3u);
            EXPECT_EQ(FormatY4mStreamHeader(b.header), header + "\n");
            for (size_t f = 0; f < 3; ++f) {
                EXPECT_EQ(a.frames[f].substr(0, a.layout.lumaBytes), b.frames[f].substr(0, b.layout.lumaBytes)) << cs;
                if (w >= 4) {
                    EXPECT_NE(a.frames[f], b.frames[f]) << cs << " chroma unchanged";
                }
            }
        }
    }
}

// The YC48 frame the host would filter for a y4m frame: one row per chroma
// row, stored chroma on the even pixels (every pixel for 4:4:4), the odd ones
// interpolated.
std::vector<PIXEL_YC> HostFrame(const Stream& s, const std::string& frame) {
    const Y4mHeader& h = s.header;
    const Y4mFrameLayout& f = s.layout;
    const SampleScale scale{h.depth, h.fullRange};
    const int step = h.layout == ChromaLayout::k444 ? 1 : 2;
    std::vector<PIXEL_YC> yc(static_cast<size_t>(h.width) * f.chromaHeight);
    const std::string cb = frame.substr(f.lumaBytes, f.chromaBytes);
    const std::string cr = frame.substr(f.lumaBytes + f.chromaBytes);
    for (int r = 0; r < f.chromaHeight; ++r) {
        PIXEL_YC* row = &yc[static_cast<size_t>(r) * h.width];
        for (int x = 0; x < h.width; ++x) {
            const size_t k = static_cast<size_t>(r) * f.chromaWidth + static_cast<size_t>(x / step);
            row[x].cb = static_cast<int16_t>(ChromaToYc48(Sample(cb, k, f.bytesPerSample), scale));
            row[x].cr = static_cast<int16_t>(ChromaToYc48(Sample(cr, k, f.bytesPerSample), scale));
        }
        for (int x = 1; step == 2 && x < h.width; x += 2) {
            const PIXEL_YC& right = x + 1 < h.width ? row[x + 1] : row[x - 1];
            row[x].cb = static_cast<int16_t>((row[x - 1].cb + right.cb) >> 1);
            row[x].cr = static_cast<int16_t>((row[x - 1].cr + right.cr) >> 1);
        }
    }
    return yc;
}

// Frame sizes worked out here by hand, not by the code under test: a W5 H3
// frame in each layout, samples above 8 bits in two bytes (9 bits too).
TEST(Y4mStream, FramesHaveTheSizeOfTheirLayoutAndDepth) {
    TempDir dir;
    const struct {
        const char* cs;
        size_t lumaBytes;
        size_t frameBytes;
    } cases[] = {
        {"420", 15, 15 + 2 * 6},       {"420p9", 30, 30 + 2 * 12}, {"422p9", 30, 30 + 2 * 18},
        {"444p9", 30, 3 * 30},         {"422", 15, 15 + 2 * 9},    {"420p10", 30, 30 + 2 * 12},
        {"411", 15, 15 + 2 * 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cs);
        const std::string in = MakeY4m(Header(5, 3, c.cs), 3, c.frameBytes, 8, DepthOf(c.cs));
        const size_t headerBytes = Header(5, 3, c.cs).size() + 1;
        testing::WriteFile(dir.Path("in.y4m"), in);
        ASSERT_EQ(RunToolOn({"--mode", "0", "-q"}, dir.Path("in.y4m"), dir.Path("out.y4m")).status, 0);
        EXPECT_EQ(ReadFile(dir.Path("out.y4m")), in);
        ASSERT_EQ(RunToolOn({"--mode", "4", "-q"}, dir.Path("in.y4m"), dir.Path("out.y4m")).status, 0);
        const std::string out = ReadFile(dir.Path("out.y4m"));
        ASSERT_EQ(out.size(), in.size());
        for (size_t f = 0; f < 3; ++f) {
            const size_t luma = headerBytes + f * (6 + c.frameBytes) + 6;
            EXPECT_EQ(out.substr(luma, c.lumaBytes), in.substr(luma, c.lumaBytes)) << "frame " << f;
        }
        EXPECT_NE(out, in) << "chroma unchanged";
    }
}

TEST(Y4mStream, ChromaEqualsTheSameFrameThroughTheYc48Route) {
    TempDir dir;
    for (const char* cs : {"422", "420p9", "420p10", "444p12"}) {
        const std::string header = Header(45, 13, cs);
        Y4mHeader parsed;
        std::string error;
        ASSERT_TRUE(ParseY4mStreamHeader(header, parsed, error));
        const std::string in = MakeY4m(header, 1, FrameLayoutOf(parsed).frameBytes, 21, DepthOf(cs));
        testing::WriteFile(dir.Path("in.y4m"), in);
        ASSERT_EQ(RunToolOn({"--mode", "3", "--strength", "90"}, dir.Path("in.y4m"), dir.Path("out.y4m")).status, 0);
        const Stream s = Split(in);
        const Stream out = Split(ReadFile(dir.Path("out.y4m")));

        const std::vector<PIXEL_YC> yc = HostFrame(s, s.frames[0]);
        std::string ycBytes(yc.size() * sizeof(PIXEL_YC), '\0');
        std::memcpy(ycBytes.data(), yc.data(), ycBytes.size());
        testing::WriteFile(dir.Path("in.yc"), ycBytes);
        const std::string geometry = "45x" + std::to_string(s.layout.chromaHeight);
        ASSERT_EQ(RunToolOn({"--yc48", geometry, "--mode", "3", "--strength", "90"}, dir.Path("in.yc"), dir.Path("out.yc")).status, 0);
        std::vector<PIXEL_YC> filtered(yc.size());
        std::memcpy(filtered.data(), ReadFile(dir.Path("out.yc")).data(), ycBytes.size());

        const SampleScale scale{s.header.depth, false};
        const int step = s.header.layout == ChromaLayout::k444 ? 1 : 2;
        const std::string cb = out.frames[0].substr(s.layout.lumaBytes, s.layout.chromaBytes);
        const std::string cr = out.frames[0].substr(s.layout.lumaBytes + s.layout.chromaBytes);
        for (int r = 0; r < s.layout.chromaHeight; ++r) {
            for (int k = 0; k < s.layout.chromaWidth; ++k) {
                const size_t i = static_cast<size_t>(r) * s.layout.chromaWidth + static_cast<size_t>(k);
                const PIXEL_YC& p = filtered[static_cast<size_t>(r) * 45 + static_cast<size_t>(k * step)];
                ASSERT_EQ(Sample(cb, i, s.layout.bytesPerSample), ChromaFromYc48(p.cb, scale)) << cs << " " << r << "," << k;
                ASSERT_EQ(Sample(cr, i, s.layout.bytesPerSample), ChromaFromYc48(p.cr, scale)) << cs << " " << r << "," << k;
            }
        }
    }
}

TEST(Y4mStream, TestPatternDrawsFullSizeLuma) {
    TempDir dir;
    std::vector<PIXEL_YC> pattern(40 * 12);
    DrawTestPattern(1, pattern.data(), 40, 12, 40);
    for (const char* cs : {"420", "422p10", "411"}) {
        const std::string header = Header(40, 12, cs);
        Y4mHeader parsed;
        std::string error;
        ASSERT_TRUE(ParseY4mStreamHeader(header, parsed, error));
        testing::WriteFile(dir.Path("in.y4m"), MakeY4m(header, 2, FrameLayoutOf(parsed).frameBytes, 1, DepthOf(cs)));
        ASSERT_EQ(RunToolOn({"--test-pattern", "--mode", "0"}, dir.Path("in.y4m"), dir.Path("out.y4m")).status, 0);
        const Stream out = Split(ReadFile(dir.Path("out.y4m")));
        ASSERT_EQ(out.frames.size(), 2u);
        const SampleScale scale{out.header.depth, false};
        for (size_t i = 0; i < pattern.size(); ++i) {
            ASSERT_EQ(Sample(out.frames[1], i, out.layout.bytesPerSample), LumaFromYc48(pattern[i].y, scale)) << cs << " " << i;
        }
        // The first chroma sample of the last row is the left block's cb,
        // the last one (pixel 38, or 36 for 4:1:1) the right block's.
        const size_t lastCb = out.layout.lumaBytes / out.layout.bytesPerSample +
                              static_cast<size_t>(out.layout.chromaHeight - 1) * out.layout.chromaWidth;
        const std::string& frame = out.frames[1];
        EXPECT_EQ(Sample(frame, lastCb, out.layout.bytesPerSample), ChromaFromYc48(pattern[11 * 40].cb, scale)) << cs;
        EXPECT_EQ(Sample(frame, lastCb + out.layout.chromaWidth - 1, out.layout.bytesPerSample),
                  ChromaFromYc48(pattern[12 * 40 - 1].cb, scale)) << cs;
        EXPECT_NE(pattern[11 * 40].cb, pattern[12 * 40 - 1].cb);
    }
}

TEST(Y4mStream, BadInputStopsWithExitOneAfterTheCompleteFrames) {
    TempDir dir;
    const auto run = [&](const std::string& input, std::vector<std::string> args = {}) {
        testing::WriteFile(dir.Path("in.y4m"), input);
        return RunToolOn(args, dir.Path("in.y4m"), dir.Path("out.y4m"));
    };
    const std::string good = MakeY4m("YUV4MPEG2 W8 H4 C422", 3, 64, 9);
    const size_t frameWithHeader = 6 + 64;
    const size_t headerBytes = good.size() - 3 * frameWithHeader;

    const testing::ToolRun truncated = run(good.substr(0, good.size() - 10));
    EXPECT_EQ(truncated.status, 1);
    EXPECT_EQ(truncated.err, "trelvane: frame 3: truncated (54 of 64 bytes)\n");
    EXPECT_EQ(Split(ReadFile(dir.Path("out.y4m"))).frames.size(), 2u);

    std::string badFrame = good;
    badFrame.replace(headerBytes + frameWithHeader, 5, "FRAMX");
    const testing::ToolRun garbled = run(badFrame, {"--threads", "2"});
    EXPECT_EQ(garbled.status, 1);
    EXPECT_NE(garbled.err.find("frame 2: expected a 'FRAME' header"), std::string::npos) << garbled.err;
    EXPECT_EQ(ReadFile(dir.Path("out.y4m")).size(), headerBytes + frameWithHeader);

    for (const std::string header : {"YUV4MPEG2 W16384 H16384\n", "YUV4MPEG2 W8 H4 C411p10\n", "RIFF\n", ""}) {
        const testing::ToolRun refused = run(header + "FRAME\n");
        EXPECT_EQ(refused.status, 1) << header;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
        EXPECT_EQ(ReadFile(dir.Path("out.y4m")), "") << header;
    }
}

// A note, once and unless quiet: 16-bit chroma is rounded where it is
// filtered (in mode 0 every byte passes), and mono passes through unchanged.
TEST(Y4mStream, RoundedAndMonochromeInputIsNotedOnceUnlessQuiet) {
    TempDir dir;
    const struct {
        std::string header;
        size_t frameBytes;
        int depth;
        std::vector<std::string> args;
        const char* note;  // null: no note, and every byte passes
    } cases[] = {
        {"YUV4MPEG2 W4 H2 C444p16", 48, 16, {}, "16-bit"},
        {"YUV4MPEG2 W4 H2 C444p16", 48, 16, {"--mode", "0"}, nullptr},
        {"YUV4MPEG2 W5 H3 Cmono", 15, 8, {}, "monochrome video (Cmono) has no chroma to filter"},
        {"YUV4MPEG2 W5 H3 Cmono16", 30, 16, {"--test-pattern"}, "monochrome video (Cmono16) has no chroma"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header + " " + ::testing::PrintToString(c.args));
        const std::string in = MakeY4m(c.header, 4, c.frameBytes, 2, c.depth);
        testing::WriteFile(dir.Path("in.y4m"), in);
        const testing::ToolRun run = RunToolOn(c.args, dir.Path("in.y4m"), dir.Path("out.y4m"));
        EXPECT_EQ(run.status, 0);
        if (c.note == nullptr) {
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(ReadFile(dir.Path("out.y4m")), in);
            continue;
        }
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(c.note), std::string::npos) << run.err;
        if (c.header.find("mono") != std::string::npos) {
            EXPECT_EQ(ReadFile(dir.Path("out.y4m")), in);
        }
        std::vector<std::string> quiet = c.args;
        quiet.push_back("-q");
        EXPECT_EQ(RunToolOn(quiet, dir.Path("in.y4m"), dir.Path("out.y4m")).err, "");
    }
}

}  // namespace
}  // namespace trelvane::cli
