// The per-frame driver: settings, test pattern, and each mode's chroma
// pipeline over every row.
#pragma once

#include "frame/work_buffers.h"
#include "plugin/filter_host.h"

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

// A frame in the host's layout: row r starts at pixels + r * pitch.
struct YcFrame {
    PIXEL_YC* pixels = nullptr;
    int w = 0;
    int h = 0;
    int pitch = 0;
};

// Reads the current settings from the host's FILTER (track[0..2], check[0..2]).
FilterSettings ReadSettings(const FILTER& fp);

// Runs one frame in the given buffers. Returns 1 when the frame was handled
// and 0 when it was not: the work buffers could not be allocated, or the
// geometry is unusable (no pixels, a negative size, or a pitch below the
// width), in which case nothing is written.
int ProcessFrameWith(WorkBuffers& buffers, const FilterSettings& settings, const YcFrame& frame);

// The plug-in's func_proc: the same, in the process-wide buffers.
TRELVANE_HOST_ENTRY int TRELVANE_CDECL ProcessFrame(FILTER* fp, FILTER_PROC_INFO* fpip);

}  // namespace trelvane
