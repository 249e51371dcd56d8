// Calls into the registration table the way the host does, for the programs
// that drive the plug-in without the host (the command-line tool, tests and
// fuzz targets). Not part of the DLL.
#pragma once

#include "frame/frame_driver.h"

namespace trelvane {

// One frame through the table's func_proc: a FILTER copied from the table
// with track and check pointing at the settings, and a FILTER_PROC_INFO for
// the frame. Returns func_proc's result.
int CallFuncProcLikeHost(const FilterSettings& settings, const YcFrame& frame);

// The table's func_exit, as the host calls it before unloading the library.
int CallFuncExitLikeHost();

}  // namespace trelvane
