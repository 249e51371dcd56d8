// One frame through the registration table's func_proc, set up as the host does.
#include "plugin/host_call.h"

#include "plugin/plugin_table.h"

namespace trelvane {

int CallFuncProcLikeHost(const FilterSettings& settings, const YcFrame& frame) {
    // The host hands func_proc its FILTER object, whose head is the table,
    // with track and check pointing at the current settings.
    FILTER_DLL* table = GetFilterTable();
    FILTER filter = *table;
    int track[kTrackCount] = {};
    int check[kCheckCount] = {};
    track[kTrackMode] = settings.mode;
    track[kTrackStrength] = settings.strength;
    track[kTrackNoise] = settings.noise;
    check[kCheck640] = settings.line640;
    check[kCheckMmx] = settings.mmx;
    check[kCheckTest] = settings.test;
    filter.track = track;
    filter.check = check;

    FILTER_PROC_INFO info{};
    info.ycp_edit = frame.pixels;
    info.w = frame.w;
    info.h = frame.h;
    info.max_w = frame.pitch;
    info.max_h = frame.h;
    info.org_w = frame.w;
    info.org_h = frame.h;
    return table->func_proc(&filter, &info);
}

int CallFuncExitLikeHost() {
    FILTER_DLL* table = GetFilterTable();
    FILTER filter = *table;
    return table->func_exit(&filter);
}

}  // namespace trelvane
