// What the y4m and YC48 streams share: workers, hooks, messages, exit statuses.
#include "pipeline/stream_common.h"

#include <cerrno>
#include <cstring>
#include <thread>

#include "io/byte_io.h"

namespace trelvane::cli {

namespace {

// Ends a run stopped by SIGINT or SIGTERM, which outranks the read errors
// and broken pipes it causes.
int Interrupted(const StreamContext& context, int signal, int64_t frames) {
    PrintError(context.err, frames == 0 ? std::string("interrupted before the first frame; nothing was written")
                                        : "interrupted after " + CountFrames(frames) + "; the output holds them");
    return kExitSignalBase + signal;
}

}  // namespace

void PrintError(std::FILE* err, const std::string& message) {
    std::fprintf(err, "trelvane: %s\n", message.c_str());
    std::fflush(err);
}

std::string CountFrames(int64_t frames) {
    const std::string digits = std::to_string(frames);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped + (frames == 1 ? " frame" : " frames");
}

int WorkerCount(const ToolOptions& options) {
    if (options.threads > 0) return options.threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores < 256 ? cores : 256);
}

size_t SlotCount(int workers) {
    return workers <= 1 ? 1 : 2 * static_cast<size_t>(workers);
}

int64_t ExpectedFrames(int64_t payloadBytes, int64_t bytesPerFrame, int64_t maxFrames) {
    if (payloadBytes < 0 || bytesPerFrame <= 0) return maxFrames;
    const int64_t frames = payloadBytes / bytesPerFrame;
    return maxFrames >= 0 && maxFrames < frames ? maxFrames : frames;
}

void SetCommonHooks(PipelineHooks& hooks, const ToolOptions& options, const StreamContext& context) {
    hooks.stopRequested = [] { return StopSignal() != 0; };
    if (options.quiet) return;
    std::FILE* err = context.err;
    hooks.fewerWorkers = [err](int running, int wanted, const std::string& reason) {
        PrintError(err, "note: " + std::to_string(running) + " of " + std::to_string(wanted) +
                            " worker threads could be started (" + reason + "); going on with " +
                            std::to_string(running));
    };
}

int FailBeforeFrames(const StreamContext& context, const std::string& message) {
    if (const int signal = StopSignal(); signal != 0) return Interrupted(context, signal, 0);
    PrintError(context.err, message);
    return kExitBadInput;
}

int FinishRun(const PipelineResult& result, const StreamContext& context) {
    using Outcome = PipelineResult::Outcome;
    FrameOutput& output = *context.output;
    const int64_t frames = result.framesWritten;
    if (const int signal = StopSignal(); signal != 0) {
        const bool causedByStop = result.outcome == Outcome::kDone || result.outcome == Outcome::kReadError ||
                                  (result.outcome == Outcome::kWriteError && result.writeErrno == EPIPE);
        if (causedByStop) {
            output.CutBack();
            return Interrupted(context, signal, frames);
        }
    }
    int e = 0;
    switch (result.outcome) {
        case Outcome::kDone:
            // No frame at all: the output is still to be created.
            e = output.Open();
            if (e == 0) return kExitOk;
            break;
        case Outcome::kReadError:
            PrintError(context.err, result.readError);
            return kExitBadInput;
        case Outcome::kProcessError:
            PrintError(context.err, result.processError);
            return kExitBadInput;
        case Outcome::kWriteError:
            e = result.writeErrno;
            break;
    }
    // The output failed: it could not be opened, or a write did not go through.
    if (output.openFailed()) {
        PrintError(context.err, "cannot open output '" + output.path() + "': " + std::strerror(e));
        return kExitBadInput;
    }
    const bool kept = output.CutBack();
    if (result.outcome == Outcome::kDone) {
        PrintError(context.err, DescribeWriteError(e));
    } else {
        PrintError(context.err, "frame " + std::to_string(frames + 1) + ": " + DescribeWriteError(e) + " (" +
                                    CountFrames(frames) + (kept ? " kept)" : " written)"));
    }
    return kExitBadInput;
}

}  // namespace trelvane::cli
