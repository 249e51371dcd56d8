// Fuzz target: the frame driver on arbitrary geometry, settings and pixels.
//
// The frame is allocated at its exact size (so AddressSanitizer sees any read
// or write past it) and framed by guard pixels that must survive. In modes 1
// to 4 without the test pattern, luma and the pixels from w up to the pitch
// must come out unchanged. Both the caller-owned and the process-wide buffers
// are exercised, the latter through the host's table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/frame_driver.h"
#include "plugin/plugin_table.h"

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

    int result = 0;
    if (viaTable) {
        FILTER_DLL* table = GetFilterTable();
        int track[3] = {s.mode, s.strength, s.noise};
        int check[3] = {s.line640, s.mmx, s.test};
        FILTER fp = *table;
        fp.track = track;
        fp.check = check;
        FILTER_PROC_INFO info{};
        info.ycp_edit = body;
        info.w = w;
        info.h = h;
        info.max_w = pitch;
        result = table->func_proc(&fp, &info);
    } else {
        trelvane::WorkBuffers buffers;
        result = trelvane::ProcessFrameWith(buffers, s, {body, w, h, pitch});
        trelvane::ReleaseWorkBuffers(buffers);
    }
    Require(result == 1);

    for (int g = 0; g < kGuardPixels; ++g) {
        Require(SamePixel(frame[g], kGuard));
        Require(SamePixel(frame[kGuardPixels + pixels + g], kGuard));
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
