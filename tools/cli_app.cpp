#include "cli_app.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "byte_io.h"
#include "cli_options.h"
#include "demo.h"
#include "stream_common.h"
#include "y4m_stream.h"
#include "yc48_stream.h"

namespace trelvane::cli {

namespace {

// Closes the files the tool opened itself, never the standard streams.
class OwnedFd {
public:
    OwnedFd() = default;
    ~OwnedFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    void Reset(int fd) { fd_ = fd; }
    int Close() {
        const int rc = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return rc;
    }

private:
    int fd_ = -1;
};

// Opens INPUT and OUTPUT. Refuses to write over the input file, which would
// destroy it before it was read. Returns the exit status on failure, else -1.
int OpenStreams(const ToolOptions& o, const ToolStreams& streams, StreamContext& context, OwnedFd& inOwned,
                OwnedFd& outOwned) {
    context.inFd = streams.in;
    context.outFd = streams.out;
    if (o.input != "-") {
        const int fd = ::open(o.input.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            PrintError(streams.err, "cannot open input '" + o.input + "': " + std::strerror(errno));
            return kExitBadInput;
        }
        inOwned.Reset(fd);
        context.inFd = fd;
    }
    struct stat inStat{};
    const bool inStatted = ::fstat(context.inFd, &inStat) == 0;
    if (inStatted && S_ISREG(inStat.st_mode)) context.inputBytes = static_cast<int64_t>(inStat.st_size);

    if (o.output != "-") {
        struct stat outStat{};
        if (inStatted && S_ISREG(inStat.st_mode) && ::stat(o.output.c_str(), &outStat) == 0 &&
            outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino) {
            PrintError(streams.err, "output '" + o.output + "' is the input file; choose another name");
            return kExitUsage;
        }
        const int fd = ::open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            PrintError(streams.err, "cannot open output '" + o.output + "': " + std::strerror(errno));
            return kExitBadInput;
        }
        outOwned.Reset(fd);
        context.outFd = fd;
    }
    return -1;
}

}  // namespace

int RunTool(const std::vector<std::string>& args, const ToolStreams& streams) {
    const ParseOutcome parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(streams.err, "trelvane: %s (see trelvane --help)\n", parsed.error.c_str());
        return kExitUsage;
    }
    const ToolOptions& o = parsed.options;
    if (o.command == Command::kHelp) {
        const std::string usage = UsageText();
        return WriteAll(streams.out, usage.data(), usage.size()) == 0 ? kExitOk : kExitBadInput;
    }
    if (o.command == Command::kDemo) return RunDemo(o, streams.err);

    StreamContext context;
    context.err = streams.err;
    context.showProgress = streams.errIsTerminal && !o.quiet;
    OwnedFd inOwned;
    OwnedFd outOwned;
    if (const int status = OpenStreams(o, streams, context, inOwned, outOwned); status >= 0) return status;

    int status = kExitBadInput;
    try {
        status = o.yc48 ? RunYc48Stream(o, *o.yc48, context) : RunY4mStream(o, context);
    } catch (const std::bad_alloc&) {
        // A stream's frames are all allocated before the first is read, so a
        // frame size within the limits that this machine cannot hold ends
        // here, with nothing written.
        PrintError(streams.err, "not enough memory for the frames of this stream (fewer --threads need less)");
    }
    // A file's last write can still fail at close (full disk on NFS and the
    // like); that must not pass for success.
    if (outOwned.Close() != 0 && status == kExitOk) {
        PrintError(streams.err, std::string("cannot write output: ") + std::strerror(errno));
        status = kExitBadInput;
    }
    return status;
}

}  // namespace trelvane::cli
