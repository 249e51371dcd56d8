// The tool behind main(): the command line, the streams, the command's status.
#include "cli_app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "cli_options.h"
#include "demo/demo.h"
#include "io/byte_io.h"
#include "pipeline/stream_common.h"
#include "pipeline/y4m_stream.h"
#include "pipeline/yc48_stream.h"
#include "preview/preview.h"

namespace trelvane::cli {

namespace {

// Closes the input if the tool opened it, never standard input.
class OwnedFd {
public:
    OwnedFd() = default;
    ~OwnedFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    void Reset(int fd) { fd_ = fd; }

private:
    int fd_ = -1;
};

// Opens INPUT and checks OUTPUT, which is opened only when there is something
// to write. Refuses to write over the input file, which would destroy it
// before it was read. Returns the exit status on failure, else -1.
int OpenStreams(const ToolOptions& o, const ToolStreams& streams, StreamContext& context, OwnedFd& inOwned) {
    const bool writesOutput = o.command == Command::kFilter;
    if ((o.input == "-" && streams.inClosed) || (writesOutput && o.output == "-" && streams.outClosed)) {
        PrintError(streams.err, std::string("standard ") + (o.input == "-" && streams.inClosed ? "input" : "output") +
                                    " was closed when the tool started; name a file instead of '-'");
        return kExitBadInput;
    }
    context.inFd = streams.in;
    if (o.input != "-") {
        const int fd = ::open(o.input.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            PrintError(streams.err, "cannot open input '" + o.input + "': " + std::strerror(errno));
            return kExitBadInput;
        }
        inOwned.Reset(fd);
        context.inFd = fd;
        context.inputName = "input '" + o.input + "'";
    }
    struct stat inStat{};
    const bool inStatted = ::fstat(context.inFd, &inStat) == 0;
    if (inStatted && S_ISREG(inStat.st_mode)) context.inputBytes = static_cast<int64_t>(inStat.st_size);

    // Standard output counts too: `trelvane clip.y4m >> clip.y4m` would grow
    // the input while it is read.
    struct stat outStat{};
    const bool outStatted = !writesOutput         ? false
                            : o.output == "-"     ? ::fstat(streams.out, &outStat) == 0
                                                  : ::stat(o.output.c_str(), &outStat) == 0;
    if (outStatted && inStatted && S_ISREG(inStat.st_mode) && outStat.st_dev == inStat.st_dev &&
        outStat.st_ino == inStat.st_ino) {
        PrintError(streams.err, (o.output == "-" ? std::string("standard output") : "output '" + o.output + "'") +
                                    " is the input file; choose another name");
        return kExitUsage;
    }
    return -1;
}

// --help and --version: the text on standard output.
int WriteText(const ToolStreams& streams, const std::string& text, const char* what) {
    const int e = streams.outClosed ? EBADF : WriteAll(streams.out, text.data(), text.size());
    if (e == 0) return kExitOk;
    PrintError(streams.err, std::string("cannot write ") + what + ": " + std::strerror(e));
    return kExitBadInput;
}

// As compressors do: a video stream is not dumped onto a terminal, and a
// terminal is not waited on for one. Returns the exit status, or -1.
int RefuseTerminals(const ToolOptions& o, const ToolStreams& streams) {
    const char* refusal = nullptr;
    if (o.input == "-" && streams.inIsTerminal) {
        refusal = "standard input is a terminal, not a video stream: name an INPUT file or pipe one in";
    } else if (o.command == Command::kFilter && o.output == "-" && streams.outIsTerminal) {
        refusal = "refusing to write a video stream to a terminal: name an OUTPUT file or redirect standard output";
    }
    if (refusal == nullptr) return -1;
    std::fprintf(streams.err, "trelvane: %s (see trelvane --help)\n", refusal);
    return kExitUsage;
}

}  // namespace

ToolStreams StandardStreams() {
    ToolStreams streams;
    bool closed[3] = {};
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor, so this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        closed[fd] = true;
        if (opened != fd && opened >= 0) ::close(opened);
    }
    streams.inClosed = closed[0];
    streams.outClosed = closed[1];
    streams.errIsTerminal = !closed[2] && ::isatty(STDERR_FILENO) != 0;
    streams.inIsTerminal = !closed[0] && ::isatty(STDIN_FILENO) != 0;
    streams.outIsTerminal = !closed[1] && ::isatty(STDOUT_FILENO) != 0;
    return streams;
}

int RunTool(const std::vector<std::string>& args, const ToolStreams& streams) {
    const ParseOutcome parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(streams.err, "trelvane: %s (see trelvane --help)\n", parsed.error.c_str());
        return kExitUsage;
    }
    const ToolOptions& o = parsed.options;
    if (o.command == Command::kHelp) return WriteText(streams, UsageText(), "the usage text");
    if (o.command == Command::kVersion) return WriteText(streams, VersionLine(), "the version");
    if (o.command == Command::kDemo) return RunDemo(o, streams.err);
    if (const int status = RefuseTerminals(o, streams); status >= 0) return status;

    StreamContext context;
    context.err = streams.err;
    context.showProgress = o.progress == ProgressChoice::kAlways ||
                           (o.progress == ProgressChoice::kAuto && streams.errIsTerminal);
    context.startThread = streams.startThread;
    OwnedFd inOwned;
    if (const int status = OpenStreams(o, streams, context, inOwned); status >= 0) return status;
    if (o.command == Command::kPreview) {
        try {
            return RunPreview(o, context);
        } catch (const std::bad_alloc&) {
            PrintError(streams.err, "not enough memory for a frame of this size");
            return kExitBadInput;
        }
    }
    FrameOutput output(o.output, streams.out);
    context.output = &output;

    int status = kExitBadInput;
    try {
        status = o.yc48 ? RunYc48Stream(o, *o.yc48, context) : RunY4mStream(o, context);
    } catch (const std::bad_alloc&) {
        // A stream's frames are all allocated before the first is read, so a
        // frame size within the limits that this machine cannot hold ends
        // here, with the output untouched.
        PrintError(streams.err, "not enough memory for the frames of this stream (fewer --threads need less)");
    }
    // A file's last write can still fail at close (full disk on NFS and the
    // like); that must not pass for success.
    if (const int e = output.Close(); e != 0 && status == kExitOk) {
        PrintError(streams.err, std::string("cannot write output: ") + std::strerror(e));
        status = kExitBadInput;
    }
    return status;
}

}  // namespace trelvane::cli
