// A worker's filter: the plug-in's table, or the driver in its own buffers.
#include "pipeline/filter_runner.h"

#include "plugin/host_call.h"
#include "plugin/plugin_table.h"

namespace trelvane::cli {

FilterRunner::FilterRunner(bool throughHostTable) : throughHostTable_(throughHostTable) {}

FilterRunner::~FilterRunner() {
    if (throughHostTable_) {
        FILTER_DLL* table = GetFilterTable();
        FILTER filter = *table;
        table->func_exit(&filter);
    } else {
        ReleaseWorkBuffers(buffers_);
    }
}

bool FilterRunner::Run(const FilterSettings& settings, const YcFrame& frame) {
    if (!throughHostTable_) return ProcessFrameWith(buffers_, settings, frame) != 0;
    return CallFuncProcLikeHost(settings, frame) != 0;
}

}  // namespace trelvane::cli
