// The y4m stream: every frame through a worker's Y4mFrameFilter, written in
// input order.
#pragma once

#include "cli_options.h"
#include "pipeline/stream_common.h"

namespace trelvane::cli {

// Reads the stream header, writes the output header and filters every frame;
// returns the exit status.
int RunY4mStream(const ToolOptions& options, const StreamContext& context);

}  // namespace trelvane::cli
