// The raw YC48 harness: frames of the host's own pixel format, through the
// plug-in's table as the host drives it when one worker runs, or straight
// into the frame driver in each worker's own buffers when several do.
#pragma once

#include "cli_options.h"
#include "pipeline/stream_common.h"

namespace trelvane::cli {

// Filters every frame of the stream; returns the exit status.
int RunYc48Stream(const ToolOptions& options, const Yc48Geometry& geometry, const StreamContext& context);

}  // namespace trelvane::cli
