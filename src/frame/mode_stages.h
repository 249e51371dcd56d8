// The stages of each mode (1..4) between the gather and the interpolation:
// from the gathered lines in padCr and padCb to the processed half-rate lines
// in lowCr and lowCb, on either path.
//
// A caller that only needs the half-rate samples (the even pixels, which the
// interpolation copies unchanged) can take them from lowCr and lowCb.
#pragma once

#include "frame/frame_driver.h"
#include "frame/work_buffers.h"
#include "kernels/packed/packed_kernels.h"
#include "kernels/scalar/chroma_filters.h"

namespace trelvane {

// One path's stage kernels for a frame, picked once before its rows. The
// rotations and blends count in the path's own unit: samples on the scalar
// path, 16-bit values (four to a position) on the packed path.
struct StageKernels {
    int bodyOffset;        // 16-bit values from a pad buffer's start to its body
    LowPassFn lowPass;     // the pair member the "640" setting selects
    LowPassFn wideLowPass;
    decltype(&RotateToIQQuad) rotateToIQ;
    decltype(&RotateFromIQQuad) rotateFromIQ;
    decltype(&BlendDetailQuad) blend;
    decltype(&BlendDetailCoredQuad) blendCored;
};

StageKernels ScalarStages(const FilterSettings& settings);
StageKernels PackedStages(const PackedKernels& kernels, const FilterSettings& settings);

// One row: padCr and padCb hold ChromaLines of n >= 1 samples (gathered from
// element 0); lowCr and lowCb receive n samples.
void RunScalarStages(const WorkBuffers& b, const StageKernels& k, int n, const FilterSettings& s);

// Four rows: padCr and padCb hold QuadLines of n = w / 2 >= 1 positions;
// lowCr and lowCb receive n positions. The rotations and blends count 16-bit
// values from the frame width w as the packed path defines them (2w + 128
// and 2w), so that an odd width touches the same values as a whole frame's
// groups do.
void RunPackedStages(const WorkBuffers& b, const StageKernels& k, int w, const FilterSettings& s);

// The widest frame whose packed counts fit an int; wider rows take the
// scalar path.
int MaxPackedWidth();

}  // namespace trelvane
