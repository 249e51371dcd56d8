// Helpers for the tool's tests: temporary files, runs of the tool in-process
// and as a program, and small y4m streams built in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pipeline/frame_pipeline.h"

namespace trelvane::cli::testing {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

struct ToolRun {
    int status = -1;
    std::string err;  // what the run printed on standard error
};

// RunTool in this process with standard input and output on the given files
// ("" leaves that stream on /dev/null), starting its worker threads with
// startThread if given.
ToolRun RunToolOn(const std::vector<std::string>& args, const std::string& inPath, const std::string& outPath,
                  const ThreadStarter& startThread = {});

// Starts the built tool as a process with the given descriptors as its
// standard input, output and error (-1: closed), under a file-size limit
// when fileSizeLimit >= 0. Returns its pid.
int StartTool(const std::vector<std::string>& args, int in, int out, int err, int64_t fileSizeLimit = -1);
// Waits for a started tool: its exit status, or 128 + the signal that ended
// it. One that has not ended within `seconds` is killed, and -1 returned.
int WaitTool(int pid, int seconds = 20);

// Runs a shell command; returns its exit status (-1 if it did not exit).
int Shell(const std::string& command);
bool HaveFfmpeg();
// The built trelvane program.
std::string ToolPath();

// A y4m stream: the header line (without '\n') and frames of `frameBytes`
// bytes of pseudo-random samples (a function of the seed) that are valid
// codes of the depth (two little-endian bytes each above 8 bits).
std::string MakeY4m(const std::string& header, int frames, size_t frameBytes, uint32_t seed, int depth = 8);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> NoiseBytes(size_t count, uint32_t seed);

// A PNG file decoded whole by libpng, so a corrupt stream fails here: its
// size and RGB pixels, or valid false.
struct DecodedPng {
    bool valid = false;
    unsigned width = 0;
    unsigned height = 0;
    std::vector<uint8_t> rgb;
};
DecodedPng ReadPng(const std::string& path);

}  // namespace trelvane::cli::testing
