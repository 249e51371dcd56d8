// Chroma planes of a picture (4:2:0, 4:2:2, 4:1:1, 4:4:4) as the frame
// driver's rows: each plane row's samples become the half-rate line of a
// filter row.
//
// The filter's output keeps only the even pixels of each row, and those hold
// the half-rate samples exactly (the interpolation copies them), so a 4:2:x
// picture needs neither the full-rate interpolation nor the odd pixels. Each
// chroma row goes through the same gather (edge extension included), stages
// and row grouping as a YC frame's rows, and comes out bit for bit as the YC
// frame whose even pixels hold the converted samples would.
//
// 4:4:4 chroma gives the filter every second sample and takes back all of
// them, interpolated, exactly as a YC frame of those samples would. 4:1:1
// chroma (one sample for four pixels) is brought to the half rate with
// the filter's own (-1, 9, 9, -1)/16 interpolator (UpsampleChroma2x), filtered
// the same way, and returned to the quarter rate by taking every second
// half-rate sample: the ones that stand on the quarter-rate samples' pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/chroma8_convert.h"
#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "kernels/packed/packed_kernels.h"

namespace trelvane {

// Where a picture's Cb and Cr samples lie, each of one byte (up to 8 bits) or
// two little-endian bytes: separate planes, or samples interleaved with
// others (packed 4:2:2 such as YUY2, where they lie 4 bytes apart).
struct ChromaPlanes {
    uint8_t* cb = nullptr;
    uint8_t* cr = nullptr;
    size_t stride = 0;       // bytes from a row to the next
    size_t sampleStep = 0;   // bytes from a sample to the next in a row; 0: bytesPerSample
    int bytesPerSample = 1;  // 1 or 2
    int pixelsPerSample = 2; // across: 1 (4:4:4), 2 (4:2:0, 4:2:2) or 4 (4:1:1)
    int samples = 0;         // per row: width / pixelsPerSample, rounded up
    int rows = 0;
};

// Filters the planes in place as the chroma of a picture `width` pixels wide
// (at least 2), in the given buffers, with the mode's settings (1..4, no test
// pattern). A last sample that the filter does not write (an odd width's
// last pixel in 4:4:4 and 4:2:x, that of a 4:1:1 row 4k + 1 pixels wide)
// keeps its value as far as the trip to YC48 and back allows. False when the
// buffers could not be allocated (nothing is written then).
bool FilterChromaPlanes(const ChromaPlanes& planes, int width, const ConversionTables& tables,
                        const FilterSettings& settings, WorkBuffers& buffers,
                        const PackedKernels& kernels = ProcessPackedKernels(),
                        const Chroma8Kernels& chroma8 = ProcessChroma8Kernels());

}  // namespace trelvane
