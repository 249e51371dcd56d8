// The one loop over a frame's rows: groups of four on the packed path, the
// rest one at a time on the scalar path, each row's chroma taken from a
// source and handed to a sink.
//
// Rows is any type with these members (static polymorphism: the calls are
// resolved and inlined at compile time, nothing is looked up per row):
//
//   // Row r's half-rate Cr and Cb as two ChromaLines from element 0 of padCr
//   // and padCb; lowCr and lowCb may be used as scratch.
//   void GatherScalar(int r, const WorkBuffers& b);
//   // Rows r .. r+3 as two QuadLines from position 0, the same way.
//   void GatherPacked(const PackedKernels& k, int r, const WorkBuffers& b);
//   // The processed half-rate lines of row r (lowCr, lowCb: n samples) or of
//   // rows r .. r+3 (n positions); padCr and padCb may be used as scratch.
//   void ScatterScalar(int r, const WorkBuffers& b);
//   void ScatterPacked(const PackedKernels& k, int r, const WorkBuffers& b);
#pragma once

#include "frame/frame_driver.h"
#include "frame/mode_stages.h"
#include "frame/work_buffers.h"
#include "kernels/packed/packed_kernels.h"

namespace trelvane {

// `count` rows of width w through the stages of the mode (1..4; any other
// mode, or a width without a half-rate sample, leaves every row alone), in
// buffers that exist for a pitch of at least w.
//
// Rows top to bottom: with "MMX" on, groups of four while four remain, then
// the count mod 4 rows left (all rows with "MMX" off) one at a time. The
// packed kernels use no MMX registers, so no floating-point state needs
// clearing after the groups.
template <class Rows>
void RunRows(const WorkBuffers& b, const PackedKernels& kernels, const FilterSettings& s, int w,
             int count, Rows& rows) {
    const int n = w / 2;
    if (n <= 0 || s.mode < 1 || s.mode > 4) return;
    int r = 0;
    // Rows wider than the packed counts allow, which no work buffer could
    // hold anyway, take the scalar path.
    if (s.mmx != 0 && w <= MaxPackedWidth()) {
        const StageKernels packed = PackedStages(kernels, s);
        for (; count - r > 3; r += 4) {
            rows.GatherPacked(kernels, r, b);
            RunPackedStages(b, packed, w, s);
            rows.ScatterPacked(kernels, r, b);
        }
    }
    const StageKernels scalar = ScalarStages(s);
    for (; r < count; ++r) {
        rows.GatherScalar(r, b);
        RunScalarStages(b, scalar, n, s);
        rows.ScatterScalar(r, b);
    }
}

}  // namespace trelvane
