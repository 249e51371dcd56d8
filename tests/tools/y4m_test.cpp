// The y4m header parser and reader: tags, colour spaces, layouts, frames, faults.
#include "io/y4m.h"

#include <gtest/gtest.h>

#include "io/byte_io.h"
#include "io/container_magic.h"

namespace trelvane::cli {
namespace {

Y4mHeader Parse(const std::string& line) {
    Y4mHeader h;
    std::string error;
    EXPECT_TRUE(ParseY4mStreamHeader(line, h, error)) << line << ": " << error;
    return h;
}

std::string Refusal(const std::string& line) {
    Y4mHeader h;
    std::string error;
    EXPECT_FALSE(ParseY4mStreamHeader(line, h, error)) << line;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    return error;
}

TEST(Y4mHeader, KeepsEveryTagInOrderForTheOutput) {
    const std::string line = "YUV4MPEG2 W720 H480 F30000:1001 It A10:11 C422p10 XYSCSS=422P10 XCOLORRANGE=FULL Zfuture";
    const Y4mHeader h = Parse(line);
    EXPECT_EQ(h.width, 720);
    EXPECT_EQ(h.height, 480);
    EXPECT_EQ(h.layout, ChromaLayout::k422);
    EXPECT_EQ(h.depth, 10);
    EXPECT_TRUE(h.fullRange);
    EXPECT_EQ(h.colourSpace, "422p10");
    EXPECT_EQ(FormatY4mStreamHeader(h), line + "\n");
    // Extra spaces between tags are not tags.
    EXPECT_EQ(FormatY4mStreamHeader(Parse("YUV4MPEG2  W2  H2 ")), "YUV4MPEG2 W2 H2\n");
}

TEST(Y4mHeader, AcceptedColourSpaces) {
    struct Case {
        const char* tag;
        ChromaLayout layout;
        int depth;
    };
    const Case cases[] = {
        {"", ChromaLayout::k420, 8},          {" C420jpeg", ChromaLayout::k420, 8},
        {" C420mpeg2", ChromaLayout::k420, 8}, {" C420paldv", ChromaLayout::k420, 8},
        {" C420", ChromaLayout::k420, 8},      {" C420p10", ChromaLayout::k420, 10},
        {" C420p16", ChromaLayout::k420, 16},  {" C422", ChromaLayout::k422, 8},
        {" C422p12", ChromaLayout::k422, 12},  {" C422p16", ChromaLayout::k422, 16},
        {" C444", ChromaLayout::k444, 8},      {" C444p10", ChromaLayout::k444, 10},
        {" C411", ChromaLayout::k411, 8},      {" Cmono", ChromaLayout::kMono, 8},
        {" Cmono16", ChromaLayout::kMono, 16}, {" Cmono10", ChromaLayout::kMono, 10},
    };
    for (const Case& c : cases) {
        const Y4mHeader h = Parse(std::string("YUV4MPEG2 W4 H4") + c.tag);
        EXPECT_EQ(h.layout, c.layout) << c.tag;
        EXPECT_EQ(h.depth, c.depth) << c.tag;
    }
}

TEST(Y4mHeader, RefusesOtherColourSpacesByName) {
    for (const std::string cs : {"monop16", "mono11", "411p10", "444alpha", "420p11", "422p", "yuv"}) {
        const std::string error = Refusal("YUV4MPEG2 W4 H4 C" + cs);
        EXPECT_NE(error.find("'C" + cs + "'"), std::string::npos) << error;
        // And says how to get one that is supported.
        EXPECT_NE(error.find("-pix_fmt yuv422p"), std::string::npos) << error;
    }
}

TEST(Y4mHeader, RefusesMalformedAndOversizedHeaders) {
    EXPECT_NE(Refusal("YUV4MPEG W4 H4").find("not a y4m stream"), std::string::npos);
    Refusal("YUV4MPEG2X W4 H4");
    Refusal("");
    EXPECT_NE(Refusal("YUV4MPEG2 H4").find("width"), std::string::npos);
    EXPECT_NE(Refusal("YUV4MPEG2 W4").find("height"), std::string::npos);
    Refusal("YUV4MPEG2 W0 H4");
    Refusal("YUV4MPEG2 W-4 H4");
    Refusal("YUV4MPEG2 W4x H4");
    Refusal("YUV4MPEG2 W4 H4 F30");
    Refusal("YUV4MPEG2 W4 H4 A:1");
    Refusal("YUV4MPEG2 W4 H4 Iq");
    EXPECT_NE(Refusal("YUV4MPEG2 W99999999999999999999999 H4").find("limit"), std::string::npos);
    EXPECT_NE(Refusal("YUV4MPEG2 W16385 H4").find("limit"), std::string::npos);
    EXPECT_NE(Refusal("YUV4MPEG2 W16384 H16384").find("limit"), std::string::npos);
    Parse("YUV4MPEG2 W7680 H4320");
}

TEST(Y4mHeader, FrameLayoutsForOddSizes) {
    const Y4mFrameLayout f420 = FrameLayoutOf(Parse("YUV4MPEG2 W5 H3"));
    EXPECT_EQ(f420.chromaWidth, 3);
    EXPECT_EQ(f420.chromaHeight, 2);
    EXPECT_EQ(f420.frameBytes, 15u + 2 * 6u);
    const Y4mFrameLayout f422 = FrameLayoutOf(Parse("YUV4MPEG2 W5 H3 C422p10"));
    EXPECT_EQ(f422.bytesPerSample, 2);
    EXPECT_EQ(f422.chromaHeight, 3);
    EXPECT_EQ(f422.frameBytes, 30u + 2 * 18u);
    EXPECT_EQ(FrameLayoutOf(Parse("YUV4MPEG2 W5 H1 C444")).frameBytes, 15u);
    // 4:1:1: a sample for every four pixels, the last one for what is left.
    EXPECT_EQ(FrameLayoutOf(Parse("YUV4MPEG2 W9 H2 C411")).frameBytes, 18u + 2 * 6u);
    EXPECT_EQ(FrameLayoutOf(Parse("YUV4MPEG2 W8 H2 C411")).frameBytes, 16u + 2 * 4u);
    EXPECT_EQ(FrameLayoutOf(Parse("YUV4MPEG2 W5 H3 Cmono16")).frameBytes, 30u);
}

TEST(Y4mReader, ReadsFramesWithTheirParametersUntilTheEnd) {
    const std::string stream = "YUV4MPEG2 W2 H2 C444\nFRAME\nabcdefghijklFRAME Ixyz XA=1\n123456789012";
    MemorySource source(stream.data(), stream.size());
    Y4mReader reader(source);
    Y4mHeader h;
    std::string error;
    ASSERT_TRUE(reader.ReadHeader(h, error)) << error;
    EXPECT_EQ(reader.headerBytes(), 21u);
    std::string params;
    uint8_t data[12];
    ASSERT_EQ(reader.ReadFrame(params, data, 12, error), Y4mReader::FrameResult::kFrame);
    EXPECT_EQ(params, "");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 12), "abcdefghijkl");
    ASSERT_EQ(reader.ReadFrame(params, data, 12, error), Y4mReader::FrameResult::kFrame);
    EXPECT_EQ(params, " Ixyz XA=1");
    EXPECT_EQ(reader.ReadFrame(params, data, 12, error), Y4mReader::FrameResult::kEnd);
}

TEST(Y4mReader, ReportsTruncationAndBadFrameHeaders) {
    const auto secondFrameError = [](const std::string& tail) {
        const std::string stream = "YUV4MPEG2 W2 H2 C444\nFRAME\nabcdefghijkl" + tail;
        MemorySource source(stream.data(), stream.size());
        Y4mReader reader(source);
        Y4mHeader h;
        std::string error;
        std::string params;
        uint8_t data[12];
        EXPECT_TRUE(reader.ReadHeader(h, error));
        EXPECT_EQ(reader.ReadFrame(params, data, 12, error), Y4mReader::FrameResult::kFrame);
        EXPECT_EQ(reader.ReadFrame(params, data, 12, error), Y4mReader::FrameResult::kError) << tail;
        return error;
    };
    EXPECT_EQ(secondFrameError("FRAME\nabc"), "truncated (3 of 12 bytes)");
    EXPECT_NE(secondFrameError("FRA").find("truncated frame header"), std::string::npos);
    EXPECT_NE(secondFrameError("FRAMES\nabcdefghijkl").find("expected a 'FRAME' header"), std::string::npos);
    EXPECT_NE(secondFrameError("FRAME" + std::string(5000, ' ') + "\n").find("longer than"), std::string::npos);

    Y4mHeader h;
    std::string error;
    for (const std::string& bad : {std::string(), std::string("YUV4MPEG2 W2 H2"), std::string(5000, 'Y')}) {
        MemorySource source(bad.data(), bad.size());
        Y4mReader reader(source);
        EXPECT_FALSE(reader.ReadHeader(h, error)) << bad.size();
    }
}

// Formats a capture comes in are named by their first bytes, through the
// reader as well; y4m and formats never met here are not.
TEST(Y4mReader, NamesOtherContainersAndHowToDecodeThem) {
    std::string ts(189, '\0');
    ts[0] = ts[188] = '\x47';
    const std::pair<std::string, const char*> known[] = {
        {"\x1a\x45\xdf\xa3", "a Matroska file"},
        {std::string("RIFF\0\0\0\0AVI LIST", 16), "an AVI file"},
        {std::string("\0\0\0\x18" "ftypmp42", 12), "an MP4 or QuickTime file"},
        {std::string("\0\0\0\x08" "wide", 8), "an MP4 or QuickTime file"},
        {std::string("\0\0\x01\xba\x44", 5), "an MPEG program stream"},
        {ts, "an MPEG transport stream"},
        {std::string("\x1f\x07\x00\x3f", 4), "a DV stream"},
        {"OggS\0\x02", "an Ogg file"},
    };
    for (const auto& [bytes, name] : known) {
        ASSERT_NE(RecogniseContainer(bytes), nullptr) << name;
        EXPECT_STREQ(RecogniseContainer(bytes), name);
        // Cut short of its mark, it is nothing.
        EXPECT_EQ(RecogniseContainer(bytes.substr(0, bytes.size() == 189 ? 188 : 2)), nullptr) << name;
        MemorySource source(bytes.data(), bytes.size());
        Y4mReader reader(source, "input 'x'", "my clip's.mkv");
        Y4mHeader header;
        std::string error;
        EXPECT_FALSE(reader.ReadHeader(header, error));
        EXPECT_EQ(error, std::string("this is ") + name +
                             ", not a y4m stream: decode it with ffmpeg first: ffmpeg -i 'my clip'\\''s.mkv'"
                             " -f yuv4mpegpipe - | trelvane - OUTPUT");
    }
    for (const std::string other : {"YUV4MPEG2 W2 H2\n", "RIFF\0\0\0\0WAVEfmt ", "\x47", ""}) {
        EXPECT_EQ(RecogniseContainer(other), nullptr) << other;
    }
    EXPECT_NE(DecodeFirstMessage("a DV stream", "-").find("ffmpeg -i INPUT -f"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::cli
