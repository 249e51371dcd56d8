// The tool on bad input, bad files and bad options: one line on standard
// error naming the problem (and the frame, where there is one), the
// documented exit status, and every complete frame before the fault written;
// a run that fails before its first frame leaves an existing output as it was.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_app.h"
#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

using testing::MakeY4m;
using testing::ReadFile;
using testing::RunToolOn;
using testing::TempDir;
using testing::ToolRun;
using testing::WriteFile;
using Args = std::vector<std::string>;

// One line starting "trelvane: ", printable throughout.
::testing::AssertionResult OneLine(const std::string& err) {
    const bool printable = std::all_of(err.begin(), err.end() - (err.empty() ? 0 : 1),
                                       [](char c) { return c >= 0x20 && c < 0x7f; });
    if (err.rfind("trelvane: ", 0) == 0 && !err.empty() && err.back() == '\n' && printable) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "not one printable line: '" << err << "'";
}

// What the output file holds before each run.
const std::string kOldOutput = "an earlier run's output\n";

class BadInput : public ::testing::Test {
protected:
    // The tool on these input bytes, from one named file to another that
    // already holds kOldOutput.
    ToolRun Run(Args args, const std::string& input) {
        WriteFile(dir_.Path("in"), input);
        WriteFile(dir_.Path("out"), kOldOutput);
        args.insert(args.end(), {dir_.Path("in"), dir_.Path("out")});
        return RunToolOn(args, "", "");
    }
    std::string Output() const { return ReadFile(dir_.Path("out")); }

    // A run that fails on `input` must write exactly what a clean run on the
    // complete frames before the fault (input.substr(0, goodBytes)) writes:
    // `goodOutputBytes` bytes; with no complete frame, it must leave the old
    // output alone. Its message is `message`, and the status 1.
    void ExpectFaultAfterCompleteFrames(const Args& args, const std::string& input, size_t goodBytes,
                                        size_t goodOutputBytes, const std::string& message, bool anyFrame = true) {
        for (const char* threads : {"1", "3"}) {
            SCOPED_TRACE(std::string("threads ") + threads);
            Args withThreads = args;
            withThreads.insert(withThreads.end(), {"--threads", threads});
            const ToolRun clean = Run(withThreads, input.substr(0, goodBytes));
            ASSERT_EQ(clean.status, 0) << clean.err;
            const std::string complete = Output();
            ASSERT_EQ(complete.size(), goodOutputBytes);

            const ToolRun bad = Run(withThreads, input);
            EXPECT_EQ(bad.status, 1);
            EXPECT_EQ(bad.err, "trelvane: " + message + "\n");
            EXPECT_EQ(Output(), anyFrame ? complete : kOldOutput);
        }
    }

    TempDir dir_;
};

TEST_F(BadInput, StreamHeadersAreRefusedBeforeAnythingIsWritten) {
    const struct {
        std::string input;
        std::string message;
    } cases[] = {
        {"", "the input is empty (no y4m header)"},
        {"RIFF....WAVEfmt \n", "not a y4m stream: it does not start with 'YUV4MPEG2 '; if it is video in another format, have ffmpeg "
         "decode it: ffmpeg -i @IN@ -f yuv4mpegpipe - | trelvane - OUTPUT (raw .yuv also needs -f rawvideo "
         "-pix_fmt ... -s WxH before -i)"},
        {"YUV4MPEG W8 H4\n", "not a y4m stream: it does not start with 'YUV4MPEG2 '; if it is video in another format, have ffmpeg "
         "decode it: ffmpeg -i @IN@ -f yuv4mpegpipe - | trelvane - OUTPUT (raw .yuv also needs -f rawvideo "
         "-pix_fmt ... -s WxH before -i)"},
        // Raw samples are refused at once, not searched for a line end.
        {std::string(8000, '\x80'), "not a y4m stream: it does not start with 'YUV4MPEG2 '; if it is video in another format, have ffmpeg "
         "decode it: ffmpeg -i @IN@ -f yuv4mpegpipe - | trelvane - OUTPUT (raw .yuv also needs -f rawvideo "
         "-pix_fmt ... -s WxH before -i)"},
        {"YUV4MPEG2 H4 C420\n", "y4m header: no width (W) tag"},
        {"YUV4MPEG2 W8 C420\n", "y4m header: no height (H) tag"},
        {"YUV4MPEG2 W0 H4\n", "y4m header: width must be at least 1"},
        {"YUV4MPEG2 W8 H0\n", "y4m header: height must be at least 1"},
        {"YUV4MPEG2 W-8 H4\n", "y4m header: malformed width '-8'"},
        {"YUV4MPEG2 W8 H-1\n", "y4m header: malformed height '-1'"},
        {"YUV4MPEG2 Wabc H4\n", "y4m header: malformed width 'abc'"},
        {"YUV4MPEG2 W8 H4.0\n", "y4m header: malformed height '4.0'"},
        {"YUV4MPEG2 W H4\n", "y4m header: malformed width ''"},
        // Digits then junk are malformed, however many digits come first.
        {"YUV4MPEG2 W99999999999999999999x H4\n", "y4m header: malformed width '99999999999999999999x'"},
        // Header bytes are never echoed raw: control bytes show as '?'.
        {std::string("YUV4MPEG2 W12") + '\0' + "\x1b[2J\r H4\n", "y4m header: malformed width '12??[2J?'"},
        {"YUV4MPEG2 W16385 H4\n", "y4m header: width 16385 is larger than the limit of 16384"},
        {"YUV4MPEG2 W8 H99999999999999999999999\n",
         "y4m header: height 99999999999999999999999 is larger than the limit of 16384"},
        {"YUV4MPEG2 W16384 H16384\n",
         "y4m header: a frame of 16384x16384 pixels is larger than the limit of 33554432 pixels"},
        {"YUV4MPEG2 W8 H4 C444alpha\n",
         "y4m colour space 'C444alpha' is not supported (4:2:0, 4:2:2 and 4:4:4 at 8, 9, 10, 12, 14 or 16 bits, "
         "4:1:1 and mono are): have ffmpeg write one with -pix_fmt yuv422p (or yuv422p10le -strict -1)"},
        // Another format gets the command that decodes it (@IN@: the input's
        // name; every format the tool knows is in y4m_test.cpp).
        {"\x1a\x45\xdf\xa3\x01\x00\x00\x00\x00\x00\x00\x23\x42\x86\x81\x01",
         "this is a Matroska file, not a y4m stream: decode it with ffmpeg first: "
         "ffmpeg -i @IN@ -f yuv4mpegpipe - | trelvane - OUTPUT"},
        // The '\r' would otherwise turn FULL into an unknown value.
        {"YUV4MPEG2 W8 H4 C444 XCOLORRANGE=FULL\r\n", "y4m header: the line ends in CR LF; y4m lines end in LF alone"},
        {"YUV4MPEG2 W8 H4 F30\n", "y4m header: malformed frame rate 'F30'"},
        {"YUV4MPEG2 W8 H4", "y4m header: the input ends inside the header"},
        {"YUV4MPEG2 W8 H4 X" + std::string(5000, 'a') + "\n", "y4m header: longer than 4096 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        // A frame follows every complete header line.
        const bool line = !c.input.empty() && c.input.back() == '\n';
        const ToolRun run = Run({}, line ? c.input + "FRAME\n" + std::string(48, '\x80') : c.input);
        std::string message = c.message;
        if (const size_t at = message.find("@IN@"); at != std::string::npos) message.replace(at, 4, dir_.Path("in"));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "trelvane: " + message + "\n");
        EXPECT_TRUE(OneLine(run.err));
        EXPECT_EQ(Output(), kOldOutput);
    }
}

// W8 H4 4:2:2: 32 luma and 2 x 16 chroma bytes a frame.
constexpr size_t kY4mFrame = 64;
const std::string kY4mHeader = "YUV4MPEG2 W8 H4 F25:1 C422";

// Bytes of the header line and of the first k frames (each "FRAME\n" + data).
size_t Y4mBytes(size_t frames) {
    return kY4mHeader.size() + 1 + frames * (6 + kY4mFrame);
}

TEST_F(BadInput, TruncatedY4mFramesAtTheStartMiddleAndEnd) {
    const std::string good = MakeY4m(kY4mHeader, 4, kY4mFrame, 31);
    ASSERT_EQ(good.size(), Y4mBytes(4));
    const Args mode = {"--mode", "4"};
    // Inside the first frame's header, inside its data, in the middle of the
    // stream and in the last frame.
    ExpectFaultAfterCompleteFrames(mode, good.substr(0, Y4mBytes(0) + 3), Y4mBytes(0), Y4mBytes(0),
                                   "frame 1: truncated frame header 'FRA'", false);
    ExpectFaultAfterCompleteFrames(mode, good.substr(0, Y4mBytes(0) + 6 + 10), Y4mBytes(0), Y4mBytes(0),
                                   "frame 1: truncated (10 of 64 bytes)", false);
    ExpectFaultAfterCompleteFrames(mode, good.substr(0, Y4mBytes(1) + 6 + 63), Y4mBytes(1), Y4mBytes(1),
                                   "frame 2: truncated (63 of 64 bytes)");
    ExpectFaultAfterCompleteFrames(mode, good.substr(0, Y4mBytes(3) + 6), Y4mBytes(3), Y4mBytes(3),
                                   "frame 4: truncated (0 of 64 bytes)");
}

TEST_F(BadInput, FrameMarkersThatAreNotFrame) {
    const std::string good = MakeY4m(kY4mHeader, 4, kY4mFrame, 32);
    std::string garbled = good;
    garbled.replace(Y4mBytes(2), 5, "FRAMX");
    ExpectFaultAfterCompleteFrames({}, garbled, Y4mBytes(2), Y4mBytes(2),
                                   "frame 3: expected a 'FRAME' header, found 'FRAMX'");
    // Something else where a frame header should be, shown printable.
    std::string png = good;
    png.replace(Y4mBytes(1), 6, "\x89PNG\r\n");
    ExpectFaultAfterCompleteFrames({}, png, Y4mBytes(1), Y4mBytes(1),
                                   "frame 2: expected a 'FRAME' header, found '?PNG?'");
    std::string longHeader = good;
    longHeader.insert(Y4mBytes(0) + 5, " X" + std::string(5000, 'p'));
    ExpectFaultAfterCompleteFrames({}, longHeader, Y4mBytes(0), Y4mBytes(0),
                                   "frame 1: frame header longer than 4096 bytes", false);
}

// 8x4 frames with a pitch of 10: 240 bytes each.
constexpr size_t kYc48Frame = 10 * 4 * 6;

TEST_F(BadInput, Yc48InputThatDoesNotMatchTheGeometry) {
    const std::vector<uint8_t> noise = testing::NoiseBytes(4 * kYc48Frame, 33);
    const std::string raw(noise.begin(), noise.end());
    const Args geometry = {"--yc48", "8x4:10"};

    ExpectFaultAfterCompleteFrames(geometry, raw.substr(0, 100), 0, 0, "frame 1: truncated (100 of 240 bytes)",
                                   false);
    ExpectFaultAfterCompleteFrames(geometry, raw.substr(0, kYc48Frame + 101), kYc48Frame, kYc48Frame,
                                   "frame 2: truncated (101 of 240 bytes)");
    ExpectFaultAfterCompleteFrames(geometry, raw + "xyz", 4 * kYc48Frame, 4 * kYc48Frame,
                                   "frame 5: truncated (3 of 240 bytes)");
    // The same bytes read with another geometry: whole frames of it, then the rest.
    ExpectFaultAfterCompleteFrames({"--yc48", "8x6"}, raw, 3 * 288, 3 * 288, "frame 4: truncated (96 of 288 bytes)");
    ExpectFaultAfterCompleteFrames({"--yc48", "16x6"}, raw, 576, 576, "frame 2: truncated (384 of 576 bytes)");
    ExpectFaultAfterCompleteFrames({"--yc48", "64x64"}, raw, 0, 0, "frame 1: truncated (960 of 24576 bytes)", false);

    // No bytes at all is a raw stream of no frames, which replaces the old output.
    const ToolRun empty = Run(geometry, "");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err, "");
    EXPECT_EQ(Output(), "");
}

TEST_F(BadInput, FilesThatCannotBeReadOrWritten) {
    const std::string in = dir_.Path("good.y4m");
    WriteFile(in, MakeY4m(kY4mHeader, 2, kY4mFrame, 34));

    const ToolRun missing = RunToolOn({dir_.Path("absent.y4m"), dir_.Path("out.y4m")}, "", "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "trelvane: cannot open input '" + dir_.Path("absent.y4m") +
                               "': No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("out.y4m")));

    // A directory opens but cannot be read; read errors name the input.
    std::filesystem::create_directory(dir_.Path("folder"));
    WriteFile(dir_.Path("out.y4m"), kOldOutput);
    const ToolRun folder = RunToolOn({dir_.Path("folder"), dir_.Path("out.y4m")}, "", "");
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "trelvane: cannot read input '" + dir_.Path("folder") + "': Is a directory\n");
    const ToolRun folderYc48 = RunToolOn({"--yc48", "8x4", dir_.Path("folder"), dir_.Path("out.y4m")}, "", "");
    EXPECT_EQ(folderYc48.status, 1);
    EXPECT_EQ(folderYc48.err, "trelvane: frame 1: cannot read input '" + dir_.Path("folder") + "': Is a directory\n");
    EXPECT_EQ(ReadFile(dir_.Path("out.y4m")), kOldOutput);

    // The input as the output, named or as standard output opened to append
    // (`trelvane good.y4m >> good.y4m`): refused, the input untouched.
    const std::string good = ReadFile(in);
    const ToolRun named = RunToolOn({in, in}, "", "");
    EXPECT_EQ(named.status, 2);
    EXPECT_EQ(named.err, "trelvane: output '" + in + "' is the input file; choose another name\n");
    ToolStreams appending;
    appending.out = ::open(in.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    appending.err = std::tmpfile();
    EXPECT_EQ(RunTool({in}, appending), 2);
    ::close(appending.out);
    std::fclose(appending.err);
    EXPECT_EQ(ReadFile(in), good);

    for (const std::string& out : {dir_.Path("no/such/dir/out.y4m"), dir_.Path("folder")}) {
        const ToolRun unwritable = RunToolOn({in, out}, "", "");
        EXPECT_EQ(unwritable.status, 1) << out;
        EXPECT_EQ(unwritable.err.rfind("trelvane: cannot open output '" + out + "': ", 0), 0u) << unwritable.err;
        EXPECT_TRUE(OneLine(unwritable.err));
    }

    if (::access("/dev/full", W_OK) == 0) {
        for (const char* threads : {"1", "3"}) {
            const ToolRun full = RunToolOn({"--threads", threads, in, "/dev/full"}, "", "");
            EXPECT_EQ(full.status, 1);
            EXPECT_EQ(full.err, "trelvane: frame 1: cannot write output: No space left on device (0 frames written)\n");
        }
    }
}

// A frame size within the limits that the machine cannot hold (here: an
// address space of 600 MB against eight slots of 200 MB frames) is one line
// and status 1, not an abort. AddressSanitizer's shadow memory cannot live
// under such a limit, so the sanitizer build skips this.
TEST_F(BadInput, FramesTooLargeForTheMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit and AddressSanitizer do not mix";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "an address-space limit and AddressSanitizer do not mix";
#endif
#endif
    WriteFile(dir_.Path("big.y4m"), "YUV4MPEG2 W7680 H4320 C444p16\nFRAME\n");
    WriteFile(dir_.Path("out"), kOldOutput);
    for (const std::string& input :
         {"-q --threads 4 " + dir_.Path("big.y4m"), std::string("--threads 4 --yc48 16384x2048 /dev/zero")}) {
        SCOPED_TRACE(input);
        const int status = testing::Shell("bash -c 'ulimit -v 600000 && exec " + testing::ToolPath() + " " + input +
                                          " " + dir_.Path("out") + " 2>" + dir_.Path("err") + "'");
        EXPECT_EQ(status, 1);
        EXPECT_EQ(ReadFile(dir_.Path("err")),
                  "trelvane: not enough memory for the frames of this stream (fewer --threads need less)\n");
        EXPECT_EQ(Output(), kOldOutput);
    }
}

TEST_F(BadInput, ClosedOutputPipeStopsWithOneLine) {
    // As main() does: a closed pipe is an EPIPE from write(), not a signal.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    WriteFile(dir_.Path("in.y4m"), MakeY4m(kY4mHeader, 3, kY4mFrame, 35));
    WriteFile(dir_.Path("in.yc"), std::string(3 * kYc48Frame, '\x11'));
    const std::vector<Args> runs = {{dir_.Path("in.y4m")},
                                    {"--threads", "3", dir_.Path("in.y4m")},
                                    {"--yc48", "8x4:10", dir_.Path("in.yc")},
                                    {"--yc48", "8x4:10", "--threads", "3", dir_.Path("in.yc")}};
    for (const Args& args : runs) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ::close(ends[0]);
        std::FILE* err = std::tmpfile();
        ToolStreams streams;
        streams.in = -1;
        streams.out = ends[1];
        streams.err = err;
        const int status = RunTool(args, streams);
        ::close(ends[1]);
        std::string message(static_cast<size_t>(std::ftell(err)), '\0');
        std::rewind(err);
        ASSERT_EQ(std::fread(message.data(), 1, message.size(), err), message.size());
        std::fclose(err);
        EXPECT_EQ(status, 1) << ::testing::PrintToString(args);
        EXPECT_EQ(message, "trelvane: frame 1: output closed by the reader (0 frames written)\n");
    }
    std::signal(SIGPIPE, previous);
}

TEST_F(BadInput, OptionValuesOutOfRangeOrMalformed) {
    const struct {
        std::string option;
        std::vector<std::string> values;
        std::string expected;  // what the message says the value should be
    } options[] = {
        {"--mode", {"-1", "5", "x", "1.0", "", " 1", "+2", "99999999999999999999"}, "a whole number from 0 to 4"},
        {"--strength", {"-1", "129", "0x10", "64k"}, "a whole number from 0 to 128"},
        {"--noise", {"129", "-5", "1e2", ""}, "a whole number from 0 to 128"},
        {"--line", {"0", "719", "640x", "", "PAL", "Auto"}, "auto, 640 or 720"},
        {"--progress", {"", "yes", "ALWAYS"}, "auto, always or never"},
        {"--threads", {"0", "257", "two", "-3"}, "a whole number from 1 to 256"},
        {"--frames", {"-1", "1.5", "", "99999999999999999999"}, "a whole number from 0 to 9007199254740992"},
        {"--yc48",
         {"0x4", "4x0", "-4x4", "4x-4", "axb", "16385x1", "1x16385", "4x4:99999999999999999999", "4x4:", "x4", "4x",
          "4*4"},
         "WIDTHxHEIGHT or WIDTHxHEIGHT:PITCH, each from 1 to 16384"},
    };
    WriteFile(dir_.Path("in.y4m"), MakeY4m(kY4mHeader, 1, kY4mFrame, 36));
    for (const auto& o : options) {
        for (const std::string& value : o.values) {
            for (const bool inlineValue : {false, true}) {
                SCOPED_TRACE(o.option + " '" + value + "'");
                const Args args = inlineValue ? Args{o.option + "=" + value, dir_.Path("in.y4m"), dir_.Path("out")}
                                              : Args{o.option, value, dir_.Path("in.y4m"), dir_.Path("out")};
                const ToolRun run = RunToolOn(args, "", "");
                EXPECT_EQ(run.status, 2);
                EXPECT_EQ(run.err, "trelvane: " + o.option + ": expected " + o.expected + ", got '" + value +
                                       "' (see trelvane --help)\n");
                EXPECT_FALSE(std::filesystem::exists(dir_.Path("out")));
            }
        }
    }

    // The remaining ways a command line goes wrong, each named.
    const struct {
        Args args;
        std::string message;
    } others[] = {
        {{"--mode"}, "--mode needs a value"},
        {{"--yc48", "4x4:3"}, "--yc48: the pitch 3 is smaller than the width 4"},
        {{"--yc48", "8192x8192"}, "--yc48: a frame of 8192x8192 pixels is larger than the limit of 33554432 pixels"},
        // The limit holds for the pitch, which is what is read and allocated.
        {{"--yc48", "8x2049:16384"}, "--yc48: a frame of 16384x2049 pixels is larger than the limit of 33554432 pixels"},
        {{"--no-mmx=1"}, "--no-mmx takes no value"},
        {{"--colour"}, "unknown option '--colour'"},
        {{"a", "b", "c"}, "too many file arguments: 'c' (expected INPUT and OUTPUT)"},
    };
    for (const auto& o : others) {
        const ToolRun run = RunToolOn(o.args, "", "");
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(o.args);
        EXPECT_EQ(run.err, "trelvane: " + o.message + " (see trelvane --help)\n");
    }
}

}  // namespace
}  // namespace trelvane::cli
