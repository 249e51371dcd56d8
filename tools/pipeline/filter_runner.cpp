// A worker's filter: the plug-in's table, or the driver in its own buffers.
#include "pipeline/filter_runner.h"

#include "plugin/host_call.h"

namespace trelvane::cli {

FilterRunner::FilterRunner(bool throughHostTable) : throughHostTable_(throughHostTable) {}

FilterRunner::~FilterRunner() {
    if (throughHostTable_) {
        CallFuncExitLikeHost();
    } else {
        ReleaseWorkBuffers(buffers_);
    }
}

bool FilterRunner::Run(const FilterSettings& settings, const YcFrame& frame) {
    if (!throughHostTable_) return ProcessFrameWith(buffers_, settings, frame) != 0;
    return CallFuncProcLikeHost(settings, frame) != 0;
}

}  // namespace trelvane::cli
