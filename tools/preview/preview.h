// `trelvane preview INPUT`: one frame of the user's own y4m file unfiltered,
// through each preset and through the settings given, as before-and-after
// pictures (pictures/before_after.h) in a directory of their own.
#pragma once

#include <string>
#include <vector>

#include "cli_options.h"
#include "pictures/before_after.h"
#include "pipeline/stream_common.h"

namespace trelvane::cli {

// What preview shows: the frame unfiltered, each preset (on the line of
// --line, the default auto), and the settings given, if any.
std::vector<BeforeAfterVariant> PreviewVariants(const ToolOptions& options);

// Reads frame options.previewFrame from context.inFd and writes its
// pictures into options.previewDir; returns the exit status. No picture is
// written over: if one of the names exists, nothing is written (status 2).
int RunPreview(const ToolOptions& options, const StreamContext& context);

}  // namespace trelvane::cli
