// The stages of each mode (1..4) between the gather and the interpolation,
// on the one-row and the four-row path: from the gathered lines in padCr and
// padCb to the processed half-rate lines in lowCr and lowCb.
//
// The frame driver interpolates those lines back to the full rate; a caller
// that only needs the half-rate samples (the even pixels, which the
// interpolation copies unchanged) can take them from lowCr and lowCb.
#pragma once

#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "kernels/scalar/chroma_filters.h"

namespace trelvane {

// The low-pass pair the "640" setting selects: one-row and four-row.
LowPassFn SelectedLowPass(const FilterSettings& settings);
LowPassFn SelectedLowPassQuad(const FilterSettings& settings);

// One row: padCr and padCb hold ChromaLines of n >= 1 samples (gathered from
// element 0); lowCr and lowCb receive n samples.
void RunRowStages(const WorkBuffers& b, LowPassFn lowPass, int n, const FilterSettings& s);

// Four rows: padCr and padCb hold QuadLines of n = w / 2 >= 1 positions;
// lowCr and lowCb receive n positions. The rotations and blends count 16-bit
// values from the frame width w as the four-row path defines them (2w + 128
// and 2w), so that an odd width touches the same values as a whole frame's
// groups do.
void RunQuadStages(const WorkBuffers& b, LowPassFn lowPassQuad, int w, const FilterSettings& s);

// The widest frame whose four-row counts fit an int; wider rows take the
// one-row path.
int MaxQuadWidth();

}  // namespace trelvane
