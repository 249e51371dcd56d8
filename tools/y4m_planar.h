// The planar path of the y4m stream: 4:2:0 and 4:2:2 chroma filtered straight
// from the planes, without a YC48 frame.
//
// The filter's output keeps only the even pixels of each row, and those hold
// the half-rate samples exactly (the interpolation copies them), so a
// subsampled stream needs neither the full-rate interpolation nor the odd
// pixels. Each chroma row goes through the same gather (edge extension
// included), stages and row grouping as the work frame's rows would, and
// comes out bit for bit as LoadChroma, ProcessFrameWith and StoreChroma
// would make it.
#pragma once

#include <cstdint>

#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "sample_convert.h"
#include "y4m.h"

namespace trelvane::cli {

// Whether the planar path covers frames of this stream with these settings:
// 4:2:0 or 4:2:2, at least two pixels wide, a mode from 1 to 4 and no test
// pattern. Everything else takes the YC48 path.
bool PlanarPathCovers(const Y4mHeader& header, const FilterSettings& settings);

// Filters the chroma planes of one frame in place, in the given buffers.
// False when the buffers could not be allocated (nothing is written then).
bool FilterChromaPlanes(const Y4mHeader& header, const Y4mFrameLayout& layout,
                        const ConversionTables& tables, const FilterSettings& settings,
                        WorkBuffers& buffers, uint8_t* frame);

}  // namespace trelvane::cli
