// One worker's way of filtering a YC48 frame: through the plug-in's table as
// the host calls it, or straight into the driver with buffers of its own.
#pragma once

#include "frame/frame_driver.h"
#include "frame/work_buffers.h"

namespace trelvane::cli {

class FilterRunner {
public:
    // throughHostTable: frames go through GetFilterTable()->func_proc and the
    // process-wide buffers, and func_exit runs at the end, as in the host.
    // Only one such runner may exist at a time. Otherwise the runner calls
    // ProcessFrameWith in buffers it owns, so several can run in parallel.
    explicit FilterRunner(bool throughHostTable);
    ~FilterRunner();
    FilterRunner(const FilterRunner&) = delete;
    FilterRunner& operator=(const FilterRunner&) = delete;

    // False when the filter could not handle the frame (out of memory).
    bool Run(const FilterSettings& settings, const YcFrame& frame);

private:
    bool throughHostTable_;
    WorkBuffers buffers_;
};

}  // namespace trelvane::cli
