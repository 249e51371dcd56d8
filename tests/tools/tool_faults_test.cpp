// The tool when things go wrong around it: a file-size limit part-way through
// a frame, a signal in the middle of a stream, closed standard descriptors,
// worker threads that cannot be started, and the progress line on a
// terminal. Each case checks the exit status, the one line on standard error
// and the exact bytes of the output: complete frames only, or an earlier
// output left as it was.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

using testing::MakeY4m;
using testing::ReadFile;
using testing::RunToolOn;
using testing::StartTool;
using testing::WaitTool;
using testing::WriteFile;
using Args = std::vector<std::string>;

const std::string kOldOutput = "an earlier run's output\n";
// W8 H4 4:2:2: 64 bytes of samples a frame.
const std::string kHeader = "YUV4MPEG2 W8 H4 F25:1 C422";
constexpr size_t kFrame = 64;
size_t Y4mBytes(size_t frames) { return kHeader.size() + 1 + frames * (6 + kFrame); }

class ToolFaults : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.Path(name); }
    // Opens a file for the child (closed here by the destructor).
    int Open(const std::string& name, int flags) {
        const int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0) << name;
        fds_.push_back(fd);
        return fd;
    }
    ~ToolFaults() override {
        for (const int fd : fds_) ::close(fd);
    }
    // What the tool writes for `input` when nothing goes wrong.
    std::string CleanOutput(Args args, const std::string& input) {
        WriteFile(Path("clean.in"), input);
        args.insert(args.end(), {Path("clean.in"), Path("clean.out")});
        EXPECT_EQ(RunToolOn(args, "", "").status, 0);
        return ReadFile(Path("clean.out"));
    }

    // A pseudo-terminal: `user` is the end a program is given, `screen` the
    // end that reads what it writes.
    struct Terminal {
        int screen = -1;
        int user = -1;
        // Closes the user end here, then reads everything written to the
        // terminal until the program's copies are closed too.
        std::string ReadUntilClosed() const {
            ::close(user);
            std::string text;
            char buffer[4096];
            for (pollfd p{screen, POLLIN, 0}; ::poll(&p, 1, 10000) > 0;) {
                const ssize_t got = ::read(screen, buffer, sizeof buffer);
                if (got <= 0) break;
                text.append(buffer, static_cast<size_t>(got));
            }
            return text;
        }
    };
    Terminal OpenTerminal() {
        Terminal t;
        t.screen = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(t.screen, 0);
        fds_.push_back(t.screen);
        EXPECT_EQ(::grantpt(t.screen), 0);
        EXPECT_EQ(::unlockpt(t.screen), 0);
        t.user = ::open(::ptsname(t.screen), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(t.user, 0);
        return t;
    }

    testing::TempDir dir_;
    std::vector<int> fds_;
};

TEST_F(ToolFaults, AWriteFailingInsideAFrameLeavesTheFramesBeforeIt) {
    const std::vector<uint8_t> noise = testing::NoiseBytes(5 * 240, 40);
    const struct {
        Args args;
        std::string input;
        size_t headerBytes;
        size_t frameBytes;
        bool appendToStdout;  // output "-", a file opened for appending that holds kOldOutput
    } cases[] = {
        {{}, MakeY4m(kHeader, 5, kFrame, 41), Y4mBytes(0), 6 + kFrame, false},
        {{"--yc48", "8x4:10"}, std::string(noise.begin(), noise.end()), 0, 240, false},
        {{}, MakeY4m(kHeader, 5, kFrame, 42), Y4mBytes(0), 6 + kFrame, true},
    };
    for (const auto& c : cases) {
        const std::string clean = CleanOutput(c.args, c.input);
        const size_t kept = c.headerBytes + 3 * c.frameBytes;
        ASSERT_GT(clean.size(), kept + c.frameBytes);
        for (const char* threads : {"1", "2"}) {
            SCOPED_TRACE(::testing::PrintToString(c.args) + " threads " + threads + (c.appendToStdout ? " >>" : ""));
            WriteFile(Path("in"), c.input);
            WriteFile(Path("out"), kOldOutput);
            Args args = c.args;
            args.insert(args.end(), {"--threads", threads, Path("in"), c.appendToStdout ? "-" : Path("out")});
            const size_t before = c.appendToStdout ? kOldOutput.size() : 0;
            const int out = c.appendToStdout ? Open(Path("out"), O_WRONLY | O_APPEND) : Open("/dev/null", O_WRONLY);
            // The limit falls in the middle of the fourth frame.
            const int pid = StartTool(args, Open("/dev/null", O_RDONLY), out, Open(Path("err"), O_WRONLY | O_CREAT | O_TRUNC),
                                      static_cast<int64_t>(before + kept + c.frameBytes / 2));
            EXPECT_EQ(WaitTool(pid), 1);
            EXPECT_EQ(ReadFile(Path("err")), "trelvane: frame 4: cannot write output: File too large (3 frames kept)\n");
            EXPECT_EQ(ReadFile(Path("out")), (c.appendToStdout ? kOldOutput : "") + clean.substr(0, kept));
        }
    }
}

// The test holds the write end of the tool's input, so it knows exactly what
// the tool has read when the signal comes.
TEST_F(ToolFaults, ASignalEndsTheInputAndEveryFrameReadIsWritten) {
    const std::string stream = MakeY4m(kHeader, 4, kFrame, 43);
    const std::string clean = CleanOutput({}, stream);
    const struct {
        int signal;
        const char* threads;
        size_t frames;  // complete frames sent before the signal
        size_t extra;   // bytes of the next frame (or of the header) sent too
    } cases[] = {
        {SIGINT, "1", 3, 0},
        {SIGTERM, "2", 3, 6 + 30},  // inside the fourth frame: its bytes are no frame
        {SIGINT, "2", 0, 6},        // the header and a frame header
        {SIGTERM, "1", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + " threads " + c.threads + " frames " + std::to_string(c.frames));
        WriteFile(Path("out"), kOldOutput);
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        const int pid = StartTool({"--threads", c.threads, "-", Path("out")}, ends[0], Open("/dev/null", O_WRONLY),
                                  Open(Path("err"), O_WRONLY | O_CREAT | O_TRUNC));
        const std::string sent = stream.substr(0, Y4mBytes(c.frames) + c.extra);
        ASSERT_EQ(::write(ends[1], sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
        // Signal once the tool has taken every byte sent and written every
        // frame in them (so its handlers are in place, and nothing is left
        // unread in the pipe).
        const size_t wantOut = c.frames == 0 ? kOldOutput.size() : Y4mBytes(c.frames);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int unread = 1;; std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
            struct stat st{};
            ASSERT_EQ(::ioctl(ends[0], FIONREAD, &unread), 0);
            const bool settled = unread == 0 && ::stat(Path("out").c_str(), &st) == 0 &&
                                 static_cast<size_t>(st.st_size) == wantOut;
            if (settled) break;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the tool did not take the input";
        }
        ::kill(pid, c.signal);
        const int status = WaitTool(pid);
        ::close(ends[0]);
        ::close(ends[1]);
        EXPECT_EQ(status, 128 + c.signal);
        EXPECT_EQ(ReadFile(Path("err")),
                  c.frames == 0 ? "trelvane: interrupted before the first frame; nothing was written\n"
                                : "trelvane: interrupted after 3 frames; the output holds them\n");
        EXPECT_EQ(ReadFile(Path("out")), c.frames == 0 ? kOldOutput : clean.substr(0, Y4mBytes(c.frames)));
    }
}

TEST_F(ToolFaults, ClosedStandardDescriptorsNeverReceiveTheOutputOrHideAnError) {
    const std::string deep = MakeY4m("YUV4MPEG2 W4 H2 C444p16", 2, 48, 44, 16);
    const std::string deepOut = CleanOutput({"-q"}, deep);
    const std::string closedIn = "trelvane: standard input was closed when the tool started; name a file instead of '-'\n";
    const std::string closedOut = "trelvane: standard output was closed when the tool started; name a file instead of '-'\n";
    const struct {
        std::string input;
        Args args;  // IN and OUT stand for the file names
        bool inOpen, outOpen, errOpen;
        int status;
        std::string err;
        std::string output;
    } cases[] = {
        // Without standard error the note and the error have nowhere to go,
        // and must not end up in the output file opened after them.
        {deep, {"IN", "OUT"}, true, true, false, 0, "", deepOut},
        {"garbage\n", {"IN", "OUT"}, true, true, false, 1, "", kOldOutput},
        {deep, {"-", "OUT"}, false, true, true, 1, closedIn, kOldOutput},
        {deep, {"-q", "IN", "-"}, true, false, true, 1, closedOut, kOldOutput},
        // A file named in place of the closed one is fine.
        {deep, {"-q", "IN", "OUT"}, false, true, true, 0, "", deepOut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + (c.inOpen ? "" : " 0<&-") + (c.outOpen ? "" : " >&-") +
                     (c.errOpen ? "" : " 2>&-"));
        WriteFile(Path("in"), c.input);
        WriteFile(Path("out"), kOldOutput);
        Args args;
        for (const std::string& a : c.args) args.push_back(a == "IN" ? Path("in") : a == "OUT" ? Path("out") : a);
        const int pid = StartTool(args, c.inOpen ? Open(Path("in"), O_RDONLY) : -1,
                                  c.outOpen ? Open("/dev/null", O_WRONLY) : -1,
                                  c.errOpen ? Open(Path("err"), O_WRONLY | O_CREAT | O_TRUNC) : -1);
        EXPECT_EQ(WaitTool(pid), c.status);
        if (c.errOpen) {
            EXPECT_EQ(ReadFile(Path("err")), c.err);
        }
        EXPECT_EQ(ReadFile(Path("out")), c.output);
    }
}

TEST_F(ToolFaults, WorkersThatCannotStartLeaveTheRestToDoTheSameWork) {
    const std::string stream = MakeY4m(kHeader, 9, kFrame, 45);
    const std::string want = CleanOutput({"--threads", "1"}, stream);
    WriteFile(Path("in"), stream);
    for (const int starts : {0, 1, 2}) {
        // Starts `starts` threads, then fails as a process out of threads
        // does, or (after one) as one out of memory for a thread's state.
        const bool noMemory = starts == 1;
        int started = 0;
        const ThreadStarter failing = [&](std::function<void()> work) {
            if (started == starts && noMemory) throw std::bad_alloc();
            if (started == starts) throw std::system_error(EAGAIN, std::generic_category());
            ++started;
            return std::thread(std::move(work));
        };
        for (const bool quiet : {false, true}) {
            started = 0;
            Args args = {"--threads", "4", Path("in"), Path("out")};
            if (quiet) args.push_back("-q");
            const testing::ToolRun run = RunToolOn(args, "", "", failing);
            EXPECT_EQ(run.status, 0);
            const std::string running = std::to_string(starts + 1);
            EXPECT_EQ(run.err, quiet ? "" : "trelvane: note: " + running + " of 4 worker threads could be started (" +
                                                (noMemory ? "not enough memory" : std::strerror(EAGAIN)) +
                                                "); going on with " + running + "\n");
            EXPECT_EQ(ReadFile(Path("out")), want);
        }
    }
}

// The progress line: on standard error when it is a terminal, unless -q or
// --progress never; with --progress always also into a file. The last line
// counts every frame, and the total read from the file size stays right for
// frame headers with parameters.
TEST_F(ToolFaults, TheProgressLineEndsAtEveryFrameWritten) {
    // 27 bytes of samples and "FRAME Ip\n" a frame: 10 frames are 360 bytes.
    std::string stream = "YUV4MPEG2 W3 H3 C444\n";
    for (int f = 0; f < 10; ++f) stream += "FRAME Ip\n" + std::string(27, static_cast<char>('A' + f));
    WriteFile(Path("in"), stream);
    const struct {
        Args options;
        bool terminal;  // standard error on a terminal, else a file
        bool drawn;
    } cases[] = {
        {{}, true, true},
        {{"-q"}, true, false},
        {{"--progress", "never"}, true, false},
        {{"--progress=always", "-q"}, true, false},
        {{}, false, false},
        {{"--progress", "always"}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options) + (c.terminal ? " on a terminal" : " into a file"));
        Args args = {"--threads", "2", Path("in"), Path("out")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        std::string screen;
        if (c.terminal) {
            const Terminal terminal = OpenTerminal();
            const int pid = StartTool(args, Open("/dev/null", O_RDONLY), Open("/dev/null", O_WRONLY), terminal.user);
            screen = terminal.ReadUntilClosed();
            EXPECT_EQ(WaitTool(pid), 0);
        } else {
            const int pid = StartTool(args, Open("/dev/null", O_RDONLY), Open("/dev/null", O_WRONLY),
                                      Open(Path("err"), O_WRONLY | O_CREAT | O_TRUNC));
            EXPECT_EQ(WaitTool(pid), 0);
            screen = ReadFile(Path("err"));
        }
        if (!c.drawn) {
            EXPECT_EQ(screen, "");
        } else {
            const size_t last = screen.rfind("\rtrelvane: ");
            ASSERT_NE(last, std::string::npos) << screen;
            EXPECT_EQ(screen.substr(last, 33), "\rtrelvane: 10/10 frames (100.0%),") << screen;
            EXPECT_EQ(screen.back(), '\n');  // the line is ended
        }
    }
}

// As compressors do: no video stream is written to a terminal and none is
// waited for on one; one line with the usage hint and status 2, before
// anything is read or written.
TEST_F(ToolFaults, ATerminalIsNeverTheVideoStream) {
    WriteFile(Path("in"), MakeY4m(kHeader, 2, kFrame, 5));
    const struct {
        Args args;
        bool inputOnTerminal;  // else the output is
        std::string message;
    } cases[] = {
        {{"-q"}, true, "standard input is a terminal, not a video stream: name an INPUT file or pipe one in"},
        {{"preview", "-", Path("pics")}, true,
         "standard input is a terminal, not a video stream: name an INPUT file or pipe one in"},
        {{Path("in")}, false,
         "refusing to write a video stream to a terminal: name an OUTPUT file or redirect standard output"},
        {{"--yc48", "4x4", Path("in"), "-"}, false,
         "refusing to write a video stream to a terminal: name an OUTPUT file or redirect standard output"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Terminal terminal = OpenTerminal();
        const int in = c.inputOnTerminal ? terminal.user : Open("/dev/null", O_RDONLY);
        const int out = c.inputOnTerminal ? Open(Path("out"), O_WRONLY | O_CREAT | O_TRUNC) : terminal.user;
        const int pid = StartTool(c.args, in, out, Open(Path("err"), O_WRONLY | O_CREAT | O_TRUNC));
        EXPECT_EQ(WaitTool(pid), 2);
        EXPECT_EQ(terminal.ReadUntilClosed(), "");
        EXPECT_EQ(ReadFile(Path("err")), "trelvane: " + c.message + " (see trelvane --help)\n");
        EXPECT_FALSE(std::filesystem::exists(Path("pics")));
    }
    // Files named on the command line are not refused for a terminal around them.
    const Terminal terminal = OpenTerminal();
    const int pid = StartTool({"-q", Path("in"), Path("out")}, terminal.user, terminal.user, terminal.user);
    EXPECT_EQ(terminal.ReadUntilClosed(), "");
    EXPECT_EQ(WaitTool(pid), 0);
    EXPECT_EQ(ReadFile(Path("out")).size(), Y4mBytes(2));
}

}  // namespace
}  // namespace trelvane::cli
