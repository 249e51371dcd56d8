// The registration table the host reads through GetFilterTable.
#pragma once

#include "plugin/filter_host.h"

extern "C" {
// The library's only export: the address of the static registration table.
TRELVANE_HOST_ENTRY FILTER_DLL* TRELVANE_CDECL GetFilterTable(void);
}

namespace trelvane {

// Track-bar and check-box indices, in the order the table declares them.
enum TrackIndex { kTrackMode = 0, kTrackStrength = 1, kTrackNoise = 2, kTrackCount = 3 };
enum CheckIndex { kCheck640 = 0, kCheckMmx = 1, kCheckTest = 2, kCheckCount = 3 };

}  // namespace trelvane
