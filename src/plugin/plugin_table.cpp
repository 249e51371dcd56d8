// The registration table, GetFilterTable, and the entry points func_proc and func_exit.
#include "plugin/plugin_table.h"

#include "frame/test_pattern.h"
#include "frame/work_buffers.h"
#include "trelvane_version.h"

namespace {

// Labels are in the host's ANSI code page (CP932). The strength label is
// spelled as bytes so the binary holds CP932 whatever the source encoding.
const char kLabelMode[] = "mode";
const char kLabelStrength[] = "\x8B\xAD\x93\x78";
const char kLabelNoise[] = "noise";
const char* const kTrackNames[trelvane::kTrackCount] = {kLabelMode, kLabelStrength, kLabelNoise};
const int kTrackDefault[trelvane::kTrackCount] = {0, 64, 48};
const int kTrackLower[trelvane::kTrackCount] = {0, 0, 0};
const int kTrackUpper[trelvane::kTrackCount] = {4, 128, 128};

const char* const kCheckNames[trelvane::kCheckCount] = {"640", "MMX", "test"};
const int kCheckDefault[trelvane::kCheckCount] = {1, 1, 0};

const char kInformation[] = "Trelvane version " TRELVANE_VERSION;

// The table lies in writable memory: the host owns the fields that are its
// own (track, check, ...), and the library never writes to it after load.
FILTER_DLL gFilterTable = {
    FILTER_FLAG_EX_INFORMATION,
    0,
    0,
    "Trelvane",
    trelvane::kTrackCount,
    kTrackNames,
    kTrackDefault,
    kTrackLower,
    kTrackUpper,
    trelvane::kCheckCount,
    kCheckNames,
    kCheckDefault,
    trelvane::ProcessFrame,
    nullptr,  // func_init
    trelvane::ReleaseWorkBuffers,
    nullptr,  // func_update
    nullptr,  // func_WndProc
    nullptr,  // track
    nullptr,  // check
    nullptr,  // ex_data_ptr
    0,        // ex_data_size
    kInformation,
    nullptr,  // func_save_start
    nullptr,  // func_save_end
    nullptr,  // exfunc
    nullptr,  // hwnd
    nullptr,  // dll_hinst
    nullptr,  // ex_data_def
    nullptr,  // func_is_saveframe
    nullptr,  // func_project_load
    nullptr,  // func_project_save
    nullptr,  // func_modify_title
    nullptr,  // dll_path
    {0, 0},
};

}  // namespace

extern "C" FILTER_DLL* TRELVANE_CDECL GetFilterTable(void) {
    return &gFilterTable;
}

namespace trelvane {

FilterSettings ReadSettings(const FILTER& fp) {
    FilterSettings s;
    s.mode = fp.track[kTrackMode];
    s.strength = fp.track[kTrackStrength];
    s.noise = fp.track[kTrackNoise];
    s.line640 = fp.check[kCheck640];
    s.mmx = fp.check[kCheckMmx];
    s.test = fp.check[kCheckTest];
    return s;
}

int TRELVANE_CDECL ProcessFrame(FILTER* fp, FILTER_PROC_INFO* fpip) {
    if (fp == nullptr || fpip == nullptr || fp->track == nullptr || fp->check == nullptr) return 0;
    const FilterSettings settings = ReadSettings(*fp);
    const YcFrame frame{fpip->ycp_edit, fpip->w, fpip->h, fpip->max_w};
    if (!UsableGeometry(frame)) return 0;
    if (settings.test != 0) {
        DrawTestPattern(settings.line640, fpip->ycp_edit, fpip->w, fpip->h, fpip->max_w);
    }
    if (settings.mode == 0) return 1;
    if (EnsureWorkBuffers(fpip->max_w) == 0) return 0;
    FilterRows(ProcessWorkBuffers(), settings, frame);
    return 1;
}

int TRELVANE_CDECL ReleaseWorkBuffers(FILTER* /*fp*/) {
    ReleaseWorkBuffers(ProcessWorkBuffers());
    return 1;
}

}  // namespace trelvane
