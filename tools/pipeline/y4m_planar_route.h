// The planar route of the y4m stream: 4:2:0 and 4:2:2 chroma filtered straight
// from the planes (convert/chroma_planes.h), without a YC48 frame.
#pragma once

#include <cstdint>

#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "io/y4m.h"

namespace trelvane::cli {

// Whether the planar route covers frames of this stream with these settings:
// 4:2:0 or 4:2:2, at least two pixels wide, a mode from 1 to 4 and no test
// pattern; and every 4:1:1 frame. Everything else takes the YC48 route.
bool PlanarRouteCovers(const Y4mHeader& header, const FilterSettings& settings);

// Filters the chroma planes of one frame in place, in the given buffers,
// bit for bit as LoadChroma, ProcessFrameWith and StoreChroma would (4:1:1:
// the test pattern drawn over the frame, or nothing in mode 0). False when
// memory could not be had (nothing is written then).
bool FilterChromaPlanes(const Y4mHeader& header, const Y4mFrameLayout& layout,
                        const ConversionTables& tables, const FilterSettings& settings,
                        WorkBuffers& buffers, uint8_t* frame);

}  // namespace trelvane::cli
