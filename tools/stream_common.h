// What the YC48 and y4m streams share: where the bytes come from and go,
// how many workers run, and how a run ends in an exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"
#include "frame_pipeline.h"

namespace trelvane::cli {

struct StreamContext {
    int inFd = 0;
    int outFd = 1;
    std::FILE* err = stderr;
    bool showProgress = false;  // progress line wanted (a terminal, not --quiet)
    int64_t inputBytes = -1;    // size of a regular input file, else -1
};

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;  // bad or truncated input, output failure
constexpr int kExitUsage = 2;

// Prints "trelvane: <message>" as one line.
void PrintError(std::FILE* err, const std::string& message);

// --threads, or one worker per processor.
int WorkerCount(const ToolOptions& options);

// The frame slots a run needs: two per worker, so that no worker waits for
// an older frame to be finished before it starts the next.
size_t SlotCount(int workers);

// Frames expected: the input's size over the per-frame bytes, capped by
// --frames; -1 when unknown.
int64_t ExpectedFrames(int64_t payloadBytes, int64_t bytesPerFrame, int64_t maxFrames);

// Prints the reason a run stopped, if it failed, and returns the exit status.
int FinishRun(const PipelineResult& result, std::FILE* err);

}  // namespace trelvane::cli
