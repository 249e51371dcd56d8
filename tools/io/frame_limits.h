// Largest frames the tool accepts. Checked before anything is allocated, so a
// hostile or corrupt header can never make the tool reserve absurd memory.
#pragma once

#include <cstdint>

namespace trelvane::cli {

// Each side (width, height, YC48 pitch) is at most this many pixels.
constexpr int64_t kMaxFrameSide = 16384;
// And a frame holds at most this many pixels (8K UHD, 7680x4320, fits).
constexpr int64_t kMaxFramePixels = int64_t{1} << 25;

}  // namespace trelvane::cli
