// The whole tool behind main(): parse the command line, open the streams,
// run the chosen command and return its exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace trelvane::cli {

// Standard streams of a run; tests substitute their own.
struct ToolStreams {
    int in = 0;
    int out = 1;
    std::FILE* err = stderr;
    bool errIsTerminal = false;
};

// args: the arguments after the program name.
int RunTool(const std::vector<std::string>& args, const ToolStreams& streams);

}  // namespace trelvane::cli
