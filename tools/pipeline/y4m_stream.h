// The y4m stream: each frame's chroma filtered on the planar route, or on the
// YC48 route through a work frame where that does not cover the stream.
#pragma once

#include "cli_options.h"
#include "pipeline/stream_common.h"

namespace trelvane::cli {

// Reads the stream header, writes the output header and filters every frame;
// returns the exit status.
int RunY4mStream(const ToolOptions& options, const StreamContext& context);

}  // namespace trelvane::cli
