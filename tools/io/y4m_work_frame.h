// Moves samples between a y4m frame's planes and the YC48 frame the filter
// works on.
//
// The work frame has the stream's width and one row per chroma row (half the
// height for 4:2:0, so each chroma row is filtered once). Horizontally
// subsampled chroma lands on the even pixels, which is where the filter
// samples it; the odd pixels get the host's interpolation, (left + right)
// >> 1, the last one a copy of its left neighbour. The filter never reads
// them, and the output's chroma is taken from the even pixels again.
#pragma once

#include <cstdint>

#include "convert/sample_convert.h"
#include "core/yc_frame.h"
#include "io/y4m.h"

namespace trelvane::cli {

// Cb and cr of work rows 0 .. layout.chromaHeight - 1 (pitch: the width)
// from the frame's chroma planes. Luma is left alone: the filter never
// reads it.
void LoadChroma(const Y4mHeader& header, const Y4mFrameLayout& layout, const ConversionTables& tables,
                const uint8_t* frame, PIXEL_YC* work);

// The frame's chroma planes from the work rows.
void StoreChroma(const Y4mHeader& header, const Y4mFrameLayout& layout, const ConversionTables& tables,
                 const PIXEL_YC* work, uint8_t* frame);

// The frame's luma plane from a full-size YC48 picture (height rows, pitch:
// the width), for the test pattern.
void StoreLuma(const Y4mHeader& header, const ConversionTables& tables, const PIXEL_YC* picture,
               uint8_t* frame);

}  // namespace trelvane::cli
