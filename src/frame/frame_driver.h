// The per-frame driver: settings, test pattern, and each mode's chroma
// pipeline over every row of a YC frame.
#pragma once

#include "core/yc_frame.h"
#include "frame/work_buffers.h"
#include "kernels/packed/packed_kernels.h"

namespace trelvane {

// The six settings, read afresh from the host for every frame. Values are
// passed on as the host gives them, even outside the declared ranges.
struct FilterSettings {
    int mode = 0;       // 0 leaves the frame alone; 1..4 choose the pipeline
    int strength = 64;  // detail restore, in 1/32 steps
    int noise = 48;     // coring threshold of mode 4
    int line640 = 1;    // non-zero: kernels for a 640-sample line, else 720
    int mmx = 1;        // non-zero: groups of four rows take the packed path
    int test = 0;       // non-zero: the test pattern replaces the frame first
};

// Whether the driver can work on the frame: no negative size, a pitch not
// below the width, and pixels unless the frame is empty.
bool UsableGeometry(const YcFrame& frame);

// The filtering proper, in buffers that already exist for the frame's pitch:
// every row through the stages of a mode from 1 to 4, with the low-pass pair
// of the "640" setting (any other mode leaves the frame alone). The packed
// path runs the kernels of the given table.
void FilterRows(const WorkBuffers& buffers, const FilterSettings& settings, const YcFrame& frame,
                const PackedKernels& kernels = ProcessPackedKernels());

// The plug-in's ProcessFrame in the caller's buffers (the command-line
// tool's workers, tests, benchmarks): the test pattern when "test" is on,
// nothing more in mode 0, then the buffers for the frame's pitch and
// FilterRows. Returns 1 when the frame was handled and 0 when it was not: the
// work buffers could not be allocated, or the geometry is unusable (no
// pixels, a negative size, or a pitch below the width), in which case
// nothing is written.
int ProcessFrameWith(WorkBuffers& buffers, const FilterSettings& settings, const YcFrame& frame,
                     const PackedKernels& kernels = ProcessPackedKernels());

}  // namespace trelvane
