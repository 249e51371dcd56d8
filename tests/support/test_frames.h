// Frames, hashes and host-style calls shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <vector>

#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "plugin/filter_host.h"

// Pixels compare field by field; gtest prints them as (y, cb, cr).
bool operator==(const PIXEL_YC& a, const PIXEL_YC& b);
void PrintTo(const PIXEL_YC& p, std::ostream* os);

namespace trelvane::test {

// The low 16 bits of an exactly computed value, as a signed sample.
inline int16_t Low16Of(int64_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF));
}

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

// What the work buffers' allocator was asked for while a BufferTest ran.
struct AllocationLog {
    int allocations = 0;  // calls, failed ones included
    int releases = 0;
    int failAt = -1;         // index of the call to fail, -1 for none
    bool refuseAll = false;  // fail every call
    std::vector<size_t> sizes;
    std::vector<size_t> alignments;
    std::map<void*, size_t> live;  // block -> alignment
};

// Runs each test with a counting allocator behind the work buffers (new
// blocks are filled with 0xA5 so that zero-filling shows), and with the
// process-wide buffers released before and after. Tests that use `buffers`
// leave it to TearDown to release them.
class BufferTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static AllocationLog& Log();

    WorkBuffers buffers;
};

}  // namespace trelvane::test
