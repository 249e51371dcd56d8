// Chroma planes of a subsampled picture (4:2:0, 4:2:2) as the frame driver's
// rows: each plane row's samples are the half-rate line of a filter row.
//
// The filter's output keeps only the even pixels of each row, and those hold
// the half-rate samples exactly (the interpolation copies them), so a
// subsampled picture needs neither the full-rate interpolation nor the odd
// pixels. Each chroma row goes through the same gather (edge extension
// included), stages and row grouping as a YC frame's rows, and comes out bit
// for bit as the YC frame whose even pixels hold the converted samples would.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/chroma8_convert.h"
#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "kernels/packed/packed_kernels.h"

namespace trelvane {

// Where a picture's two chroma planes lie, with samples of one byte (up to 8
// bits) or two little-endian bytes.
struct ChromaPlanes {
    uint8_t* cb = nullptr;
    uint8_t* cr = nullptr;
    size_t stride = 0;       // bytes from a row to the next
    int bytesPerSample = 1;  // 1 or 2
    int samples = 0;         // per row: (width + 1) / 2
    int rows = 0;
};

// Filters the planes in place as the chroma of a picture `width` pixels wide
// (at least 2), in the given buffers, with the mode's settings (1..4, no test
// pattern). An odd width's last sample keeps its value as far as the trip to
// YC48 and back allows. False when the buffers could not be allocated
// (nothing is written then).
bool FilterChromaPlanes(const ChromaPlanes& planes, int width, const ConversionTables& tables,
                        const FilterSettings& settings, WorkBuffers& buffers,
                        const PackedKernels& kernels = ProcessPackedKernels(),
                        const Chroma8Kernels& chroma8 = ProcessChroma8Kernels());

}  // namespace trelvane
