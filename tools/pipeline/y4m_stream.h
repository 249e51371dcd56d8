// The y4m path: decode each frame's chroma to YC48, filter, encode it back.
#pragma once

#include "cli_options.h"
#include "pipeline/stream_common.h"

namespace trelvane::cli {

// Reads the stream header, writes the output header and filters every frame;
// returns the exit status.
int RunY4mStream(const ToolOptions& options, const StreamContext& context);

}  // namespace trelvane::cli
