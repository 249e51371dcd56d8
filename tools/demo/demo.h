// `trelvane demo`: pictures of the test pattern through every mode, for
// judging the filter by eye.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"

namespace trelvane::cli {

constexpr int kDemoWidth = 720;
constexpr int kDemoHeight = 480;

// File names the demo writes into its directory, contact sheet last.
std::vector<std::string> DemoFileNames();

// Writes the PNGs into options.demoDir (created if needed); returns the exit
// status. Strength, noise and the choice of the scalar or the packed path
// (--no-mmx) come from options.
int RunDemo(const ToolOptions& options, std::FILE* err);

}  // namespace trelvane::cli
