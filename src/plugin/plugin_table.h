// The registration table the host reads through GetFilterTable, and the two
// entry points it names.
#pragma once

#include "frame/frame_driver.h"
#include "plugin/filter_host.h"

extern "C" {
// The library's only export: the address of the static registration table.
TRELVANE_HOST_ENTRY FILTER_DLL* TRELVANE_CDECL GetFilterTable(void);
}

namespace trelvane {

// Track-bar and check-box indices, in the order the table declares them.
enum TrackIndex { kTrackMode = 0, kTrackStrength = 1, kTrackNoise = 2, kTrackCount = 3 };
enum CheckIndex { kCheck640 = 0, kCheckMmx = 1, kCheckTest = 2, kCheckCount = 3 };

// The current settings from the host's FILTER, through the indices above.
FilterSettings ReadSettings(const FILTER& fp);

// func_proc: one frame, in the process-wide work buffers. Returns 1 when the
// frame was handled (mode 0 included) and 0 when it was not: the buffers
// could not be allocated, or the host's records or the frame's geometry are
// unusable (nothing is written then).
TRELVANE_HOST_ENTRY int TRELVANE_CDECL ProcessFrame(FILTER* fp, FILTER_PROC_INFO* fpip);

// func_exit: frees the process-wide work buffers. The argument is not used;
// always returns 1.
TRELVANE_HOST_ENTRY int TRELVANE_CDECL ReleaseWorkBuffers(FILTER* fp);

}  // namespace trelvane
