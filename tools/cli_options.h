// The command line: what the user asked for, or a one-line reason why the
// request cannot be understood.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/frame_driver.h"
#include "frame/presets.h"

namespace trelvane::cli {

// Geometry of a raw YC48 stream: width and height in pixels, row pitch in
// pixels (at least the width).
struct Yc48Geometry {
    int width = 0;
    int height = 0;
    int pitch = 0;
};

// A rectangle of a picture, in pixels.
struct CropRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

enum class Command { kFilter, kDemo, kPreview, kHelp, kVersion };

// When the progress line is drawn on standard error.
enum class ProgressChoice { kAuto, kAlways, kNever };

struct ToolOptions {
    Command command = Command::kFilter;
    // The filter's six settings as given: a preset's or the stream default's
    // mode, strength and noise, each overridden by its own option, and the
    // line of `line`.
    FilterSettings settings = StartingSettings();
    LineChoice line = LineChoice::kAuto;
    std::string preset;          // the --preset given, or empty
    bool settingsGiven = false;  // any filter setting was given (preview shows them)
    std::optional<Yc48Geometry> yc48;  // set: raw YC48 frames instead of y4m
    int threads = 0;                   // 0: one worker per processor
    int64_t maxFrames = -1;            // -1: every frame of the input
    bool quiet = false;
    ProgressChoice progress = ProgressChoice::kAuto;
    std::string input = "-";
    std::string output = "-";
    std::string demoDir = "trelvane-demo";
    // preview: the frame (counting from 1), the crop (none: chosen from the
    // picture), the directory.
    int64_t previewFrame = 1;
    std::optional<CropRect> crop;
    std::string previewDir = "trelvane-preview";

    // The stream default on the auto line, as the tool starts.
    static FilterSettings StartingSettings() {
        FilterSettings s = DefaultStreamSettings();
        s.line640 = Line640For(LineChoice::kAuto);
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

// The --help text, with the presets and the defaults.
std::string UsageText();

// The --version line.
std::string VersionLine();

}  // namespace trelvane::cli
