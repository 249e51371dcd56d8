// A y4m frame's samples from the YC48 frame the test pattern is drawn and
// filtered in.
//
// The work frame has the stream's width and one row per chroma row (half the
// height for 4:2:0, so each chroma row is filtered once). Each chroma sample
// is taken from the pixel it stands on: every pixel for 4:4:4, every second
// for 4:2:x, every fourth for 4:1:1.
#pragma once

#include <cstdint>

#include "convert/sample_convert.h"
#include "core/yc_frame.h"
#include "io/y4m.h"

namespace trelvane::cli {

// The frame's chroma planes from the work rows (pitch: the width).
void StoreChroma(const Y4mHeader& header, const Y4mFrameLayout& layout, const ConversionTables& tables,
                 const PIXEL_YC* work, uint8_t* frame);

// The frame's luma plane from a full-size YC48 picture (height rows, pitch:
// the width).
void StoreLuma(const Y4mHeader& header, const ConversionTables& tables, const PIXEL_YC* picture,
               uint8_t* frame);

}  // namespace trelvane::cli
