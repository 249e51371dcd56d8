// Frames, hashes and host-style calls shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "frame/frame_driver.h"
#include "plugin/filter_host.h"

// Pixels compare field by field; gtest prints them as (y, cb, cr).
bool operator==(const PIXEL_YC& a, const PIXEL_YC& b);
void PrintTo(const PIXEL_YC& p, std::ostream* os);

namespace trelvane::test {

// Small deterministic generator (splitmix32), the same on every platform.
class Rng {
public:
    explicit Rng(uint32_t seed) : state_(seed) {}
    uint32_t Next();
    // Uniform in lo .. hi (inclusive).
    int Between(int lo, int hi);
    // A 16-bit value: often one of the extremes (-32768, -32767, 32767, 0),
    // otherwise uniform over the whole range.
    int16_t Extreme16();

private:
    uint32_t state_;
};

// A frame in the host's layout that owns its pixels.
struct OwnedFrame {
    int w = 0;
    int h = 0;
    int pitch = 0;
    std::vector<PIXEL_YC> pixels;  // h * pitch, at least one pixel

    YcFrame View() { return YcFrame{pixels.data(), w, h, pitch}; }
    PIXEL_YC& At(int r, int c) { return pixels[static_cast<size_t>(r) * pitch + c]; }
    const PIXEL_YC& At(int r, int c) const { return pixels[static_cast<size_t>(r) * pitch + c]; }
};

// Every pixel, past w included: luma anywhere in 16 bits, chroma uniform in
// -chromaLimit .. chromaLimit.
OwnedFrame MakeRandomFrame(int w, int h, int pitch, uint32_t seed, int chromaLimit = 8000);

// FNV-1a 64 over y, cb, cr (little-endian) of columns 0 .. w-1 of every row.
uint64_t FrameHash(const OwnedFrame& frame);

// Success when the two frames hold the same pixels everywhere, pitch
// included; otherwise names the first pixel that differs.
::testing::AssertionResult SamePixels(const OwnedFrame& expected, const OwnedFrame& actual);

// Runs the frame through the table's func_proc the way the host does: a
// FILTER with the table's head and the given current values, and a
// FILTER_PROC_INFO describing the frame.
int RunLikeHost(const int (&track)[3], const int (&check)[3], OwnedFrame& frame);

}  // namespace trelvane::test
