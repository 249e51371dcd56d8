// The filter's picture: the YC48 pixel and a view of a frame of them.
//
// Everything above the kernels sees frames through these two types; the
// host's own records (plugin/filter_host.h) use the same pixel.
#pragma once

#include <cstdint>

// One pixel of a YC48 frame: three signed 16-bit values, no gap. Chroma is
// signed and centred on 0. The name is the host's.
struct PIXEL_YC {
    int16_t y;
    int16_t cb;
    int16_t cr;
};

static_assert(sizeof(PIXEL_YC) == 6, "PIXEL_YC is three packed 16-bit values");

namespace trelvane {

// A frame in the host's layout: row r starts at pixels + r * pitch.
struct YcFrame {
    PIXEL_YC* pixels = nullptr;
    int w = 0;
    int h = 0;
    int pitch = 0;
};

}  // namespace trelvane
