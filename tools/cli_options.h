// The command line: what the user asked for, or a one-line reason why the
// request cannot be understood.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/frame_driver.h"

namespace trelvane::cli {

// Geometry of a raw YC48 stream: width and height in pixels, row pitch in
// pixels (at least the width).
struct Yc48Geometry {
    int width = 0;
    int height = 0;
    int pitch = 0;
};

enum class Command { kFilter, kDemo, kHelp };

struct ToolOptions {
    Command command = Command::kFilter;
    FilterSettings settings = DefaultToolSettings();
    std::optional<Yc48Geometry> yc48;  // set: raw YC48 frames instead of y4m
    int threads = 0;                   // 0: one worker per processor
    int64_t maxFrames = -1;            // -1: every frame of the input
    bool quiet = false;
    std::string input = "-";
    std::string output = "-";
    std::string demoDir = "trelvane-demo";

    // The tool filters by default (mode 4); the plug-in's own default is 0.
    static FilterSettings DefaultToolSettings() {
        FilterSettings s;
        s.mode = 4;
        return s;
    }
};

struct ParseOutcome {
    bool ok = false;
    ToolOptions options;
    std::string error;  // one line, without the program name, when !ok
};

// Parses the arguments that follow the program name.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args);

// Parses "WxH" or "WxH:PITCH" within the frame limits.
bool ParseYc48Geometry(const std::string& text, Yc48Geometry& geometry, std::string& error);

// The --help text.
const char* UsageText();

}  // namespace trelvane::cli
