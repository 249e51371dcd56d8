// Scalar kernels that move chroma between a frame row and the half-rate
// world: gather with edge extension, 2x interpolation, write-back.
#pragma once

#include <cstdint>

#include "core/yc_frame.h"

namespace trelvane {

// Number of edge copies on either side of a ChromaLine body.
constexpr int kLineEdge = 16;

// Copies cr and cb of pixels 0, 2, ..., 2(n-1) of row into the bodies of two
// ChromaLines (element 16 on), with 16 copies of the first sample in front and
// 16 copies of the last behind. Writes n + 32 elements of each line. n >= 1.
void GatherChromaRow(int16_t* crLine, int16_t* cbLine, const PIXEL_YC* row, int n);

// Interpolates n half-rate samples to 2n full-rate ones with (-1, 9, 9, -1)/16;
// the last odd output extrapolates by one eighth of the last step. n >= 1.
void UpsampleChroma2x(int16_t* dst, const int16_t* src, int n);

// Sets cr and cb of pixels 0 .. count-1 of row from the two lines; y is kept.
void ScatterChromaRow(PIXEL_YC* row, const int16_t* crLine, const int16_t* cbLine, int count);

}  // namespace trelvane
