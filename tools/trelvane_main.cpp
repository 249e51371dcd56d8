// trelvane: the chroma re-filter as a command-line tool.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_app.h"

int main(int argc, char** argv) {
    // A closed output pipe must surface as EPIPE from write(), so the tool
    // can stop with one message instead of dying silently.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    trelvane::cli::ToolStreams streams;
    streams.errIsTerminal = ::isatty(STDERR_FILENO) != 0;
    return trelvane::cli::RunTool(args, streams);
}
