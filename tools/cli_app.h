// The whole tool behind main(): parse the command line, open the streams,
// run the chosen command and return its exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "pipeline/frame_pipeline.h"

namespace trelvane::cli {

// Standard streams of a run; tests substitute their own.
struct ToolStreams {
    int in = 0;
    int out = 1;
    std::FILE* err = stderr;
    bool errIsTerminal = false;
    // A video stream is never read from or written to a terminal.
    bool inIsTerminal = false;
    bool outIsTerminal = false;
    // Standard input or output was closed when the tool started (and is now
    // /dev/null): naming it as "-" is an error.
    bool inClosed = false;
    bool outClosed = false;
    ThreadStarter startThread;  // empty: std::thread
};

// For main(), before anything else opens a file: descriptors 0, 1 and 2 that
// are closed are opened on /dev/null, so that no file the tool opens can take
// their place and receive messages meant for standard error.
ToolStreams StandardStreams();

// args: the arguments after the program name.
int RunTool(const std::vector<std::string>& args, const ToolStreams& streams);

}  // namespace trelvane::cli
