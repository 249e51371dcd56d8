// trelvane: the chroma re-filter as a command-line tool.
#include <csignal>
#include <string>
#include <vector>

#include "cli_app.h"
#include "io/byte_io.h"

int main(int argc, char** argv) {
    // Before anything opens a file.
    const trelvane::cli::ToolStreams streams = trelvane::cli::StandardStreams();
    // A closed output pipe must surface as EPIPE from write(), and a file
    // grown past the size limit as EFBIG, so that the tool can stop with one
    // message and a whole last frame instead of dying silently.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    trelvane::cli::InstallStopHandlers();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return trelvane::cli::RunTool(args, streams);
}
