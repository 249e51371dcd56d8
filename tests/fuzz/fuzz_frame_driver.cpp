// Fuzz target: the frame driver on arbitrary geometry, settings and pixels.
//
// Each frame is filtered with the portable packed kernels and again with the
// table of each SIMD level the processor runs (SSE2, AVX2; the host's table
// always runs the process-wide one), and the results must agree pixel for
// pixel. The portable run has the frame
// alone in a heap block of exactly its size, so that AddressSanitizer sees
// any read or write past either end; the others have it framed by guard
// pixels that must survive. In modes 1 to 4 without the test pattern, luma
// and the pixels from w up to the pitch must come out unchanged. Both the
// caller-owned and the process-wide buffers are exercised, the latter through
// the host's table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "frame/frame_driver.h"
#include "kernels/cpu_features.h"
#include "kernels/packed/packed_kernels.h"
#include "plugin/host_call.h"

namespace {

constexpr PIXEL_YC kGuard{0x5A5A, 0x1234, -0x4321};
constexpr int kGuardPixels = 8;

struct ByteReader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    uint32_t Next32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Next8();
        return v;
    }
    uint8_t Next8() { return pos < size ? data[pos++] : 0; }
};

bool SamePixel(const PIXEL_YC& a, const PIXEL_YC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

void Require(bool condition) {
    if (!condition) std::abort();
}

// Settings outside the declared ranges are passed on as the host would.
int WideSetting(ByteReader& in) {
    const uint8_t selector = in.Next8();
    if (selector < 200) return selector % 140;
    return static_cast<int>(in.Next32());
}

bool GuardsIntact(const std::vector<PIXEL_YC>& frame, size_t pixels) {
    for (int g = 0; g < kGuardPixels; ++g) {
        if (!SamePixel(frame[g], kGuard) || !SamePixel(frame[kGuardPixels + pixels + g], kGuard)) return false;
    }
    return true;
}

// One frame through the host's table (process-wide buffers and kernels) or
// straight into the driver with buffers of its own and the given kernels.
int Filter(const trelvane::FilterSettings& s, bool viaTable, const trelvane::YcFrame& frame,
           const trelvane::PackedKernels& kernels) {
    if (viaTable) return trelvane::CallFuncProcLikeHost(s, frame);
    trelvane::WorkBuffers buffers;
    const int result = trelvane::ProcessFrameWith(buffers, s, frame, kernels);
    trelvane::ReleaseWorkBuffers(buffers);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in{data, size};
    const int w = in.Next8() % 80;
    const int h = in.Next8() % 19;
    const int pitch = w + in.Next8() % 9;
    trelvane::FilterSettings s;
    const uint8_t flags = in.Next8();
    s.mode = (flags & 0x80) ? static_cast<int>(in.Next32()) : flags % 5;
    s.line640 = (flags >> 3) & 1;
    s.mmx = (flags >> 4) & 1;
    s.test = ((flags >> 5) & 3) == 3;
    const bool viaTable = (flags >> 6) & 1;
    s.strength = WideSetting(in);
    s.noise = WideSetting(in);

    const size_t pixels = static_cast<size_t>(pitch) * h;
    std::vector<PIXEL_YC> frame(pixels + 2 * kGuardPixels, kGuard);
    PIXEL_YC* const body = frame.data() + kGuardPixels;
    for (size_t i = 0; i < pixels; ++i) {
        body[i].y = static_cast<int16_t>(in.Next8() | (in.Next8() << 8));
        body[i].cb = static_cast<int16_t>(in.Next8() | (in.Next8() << 8));
        body[i].cr = static_cast<int16_t>(in.Next8() | (in.Next8() << 8));
    }
    const std::vector<PIXEL_YC> before(frame);

    // Exactly the frame's pixels, nothing around them.
    const std::unique_ptr<PIXEL_YC[]> exact(new PIXEL_YC[pixels]);
    if (pixels > 0) std::memcpy(exact.get(), body, pixels * sizeof(PIXEL_YC));
    // The portable model gives the reference frame.
    Require(Filter(s, false, {exact.get(), w, h, pitch}, trelvane::PackedKernelsFor(0)) == 1);
    int simdRuns = 0;
    for (const uint32_t mask : {uint32_t{trelvane::kCpuSse2}, trelvane::kCpuSse2 | trelvane::kCpuAvx2}) {
        const trelvane::PackedKernels kernels = trelvane::PackedKernelsFor(mask);
        if (kernels.cpuFeatures != mask) continue;
        frame = before;
        Require(Filter(s, viaTable, {body, w, h, pitch}, kernels) == 1);
        Require(GuardsIntact(frame, pixels));
        if (pixels > 0) Require(std::memcmp(exact.get(), body, pixels * sizeof(PIXEL_YC)) == 0);
        ++simdRuns;
    }
    if (simdRuns == 0) {
        // No SIMD form here: the guarded frame goes through the portable one.
        frame = before;
        Require(Filter(s, viaTable, {body, w, h, pitch}, trelvane::PackedKernelsFor(0)) == 1);
        Require(GuardsIntact(frame, pixels));
    }

    const bool filtering = s.mode >= 1 && s.mode <= 4 && !s.test;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < pitch; ++c) {
            const size_t i = kGuardPixels + static_cast<size_t>(r) * pitch + c;
            if (c >= w) Require(SamePixel(frame[i], before[i]));
            if (filtering) Require(frame[i].y == before[i].y);
        }
    }
    if (s.mode == 0 && !s.test) Require(std::memcmp(frame.data(), before.data(), frame.size() * sizeof(PIXEL_YC)) == 0);
    return 0;
}
