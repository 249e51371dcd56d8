// What the YC48 and y4m streams share: where the bytes come from and go,
// how many workers run, and how a run ends in an exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"
#include "io/frame_output.h"
#include "pipeline/frame_pipeline.h"

namespace trelvane::cli {

struct StreamContext {
    int inFd = 0;
    std::string inputName = "standard input";  // as read errors name it
    FrameOutput* output = nullptr;
    std::FILE* err = stderr;
    bool showProgress = false;  // progress line wanted (a terminal, not --quiet)
    int64_t inputBytes = -1;    // size of a regular input file, else -1
    ThreadStarter startThread;  // empty: std::thread
};

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;  // bad or truncated input, output failure
constexpr int kExitUsage = 2;
// A run stopped by a signal ends with 128 + the signal, as shells report it.
constexpr int kExitSignalBase = 128;

// Prints "trelvane: <message>" as one line.
void PrintError(std::FILE* err, const std::string& message);

// "1 frame", "1,234 frames".
std::string CountFrames(int64_t frames);

// --threads, or one worker per processor.
int WorkerCount(const ToolOptions& options);

// The frame slots a run needs: two per worker, so that no worker waits for
// an older frame to be finished before it starts the next.
size_t SlotCount(int workers);

// Frames expected: the input's size over the per-frame bytes, capped by
// --frames; -1 when unknown.
int64_t ExpectedFrames(int64_t payloadBytes, int64_t bytesPerFrame, int64_t maxFrames);

// The pipeline hooks every stream shares: stop on SIGINT or SIGTERM, and a
// note when fewer workers could be started than asked for (unless quiet).
void SetCommonHooks(PipelineHooks& hooks, const ToolOptions& options, const StreamContext& context);

// Ends a run that failed before its first frame was read (a bad header, an
// input that cannot be read): prints the message, unless a stop signal caused
// the failure, and returns the exit status. The output is left untouched.
int FailBeforeFrames(const StreamContext& context, const std::string& message);

// Ends a run: creates the output if the input ended cleanly without a frame,
// cuts a torn last frame off a regular file, prints the reason the run
// stopped, if it did not simply end, and returns the exit status.
int FinishRun(const PipelineResult& result, const StreamContext& context);

}  // namespace trelvane::cli
