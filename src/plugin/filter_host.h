// Records that cross the boundary between the AviUtl host and this filter.
//
// Written from the host's published plug-in interface: every record is a run
// of little-endian 32-bit fields on the plug-in's real target (32-bit
// Windows, 32-bit pointers). On other targets the same declarations compile
// with native pointer sizes so that the command-line tool and the tests can
// drive the table exactly as the host does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/yc_frame.h"

#if defined(_WIN32)
#define TRELVANE_CDECL __cdecl
#else
#define TRELVANE_CDECL
#endif

// Marks the functions the host calls (GetFilterTable, func_proc, func_exit).
// GCC for 32-bit Windows assumes every function is entered with the stack
// 16-byte aligned and keeps SSE2 temporaries in 16-byte stack slots, yet a
// Win32 caller promises only 4-byte alignment: called from a host whose stack
// happens to be misaligned, the packed kernels would fault. These functions
// therefore realign the stack on entry; everything they call can then rely on
// the 16 bytes as usual. (MSVC assumes only 4 bytes itself.)
#if defined(_WIN32) && defined(__i386__) && defined(__GNUC__)
#define TRELVANE_HOST_ENTRY __attribute__((force_align_arg_pointer))
#else
#define TRELVANE_HOST_ENTRY
#endif

// FILTER_DLL::flag bit: the information field holds a string.
constexpr int FILTER_FLAG_EX_INFORMATION = 0x00040000;

struct FILTER;
struct FILTER_PROC_INFO;

using FilterProcFn = int(TRELVANE_CDECL*)(FILTER* fp, FILTER_PROC_INFO* fpip);
using FilterInitFn = int(TRELVANE_CDECL*)(FILTER* fp);
using FilterExitFn = int(TRELVANE_CDECL*)(FILTER* fp);
using FilterOpaqueFn = void*;  // entry points this filter leaves null

// The registration table and the object the host passes to every entry point
// share this head. 35 consecutive 32-bit fields on the plug-in's target.
struct FILTER {
    int flag;
    int x;
    int y;
    const char* name;
    int track_n;
    const char* const* track_name;
    const int* track_default;
    const int* track_s;
    const int* track_e;
    int check_n;
    const char* const* check_name;
    const int* check_default;
    FilterProcFn func_proc;
    FilterInitFn func_init;
    FilterExitFn func_exit;
    FilterOpaqueFn func_update;
    FilterOpaqueFn func_WndProc;
    int* track;  // the host's: current track-bar values
    int* check;  // the host's: current check-box values
    void* ex_data_ptr;
    int ex_data_size;
    const char* information;
    FilterOpaqueFn func_save_start;
    FilterOpaqueFn func_save_end;
    void* exfunc;
    void* hwnd;
    void* dll_hinst;
    void* ex_data_def;
    FilterOpaqueFn func_is_saveframe;
    FilterOpaqueFn func_project_load;
    FilterOpaqueFn func_project_save;
    FilterOpaqueFn func_modify_title;
    char* dll_path;
    int reserve[2];
};

// The registration table is the same record as the head of FILTER.
using FILTER_DLL = FILTER;

// Per-frame record handed to func_proc. The filter reads ycp_edit, w, h and
// max_w; the rest is declared so the record has the host's size.
struct FILTER_PROC_INFO {
    int flag;
    PIXEL_YC* ycp_edit;
    PIXEL_YC* ycp_temp;
    int w;
    int h;
    int max_w;
    int max_h;
    int frame;
    int frame_n;
    int org_w;
    int org_h;
    int16_t* audiop;
    int audio_n;
    int audio_ch;
    void* pixelp;
    void* editp;
    int yc_size;
    int line_size;
    int reserve[8];
};

#if defined(__i386__) || defined(_M_IX86)
// On the plug-in's target every record must have the host's layout.
static_assert(sizeof(void*) == 4);
static_assert(sizeof(FILTER) == 140, "FILTER_DLL is 35 32-bit fields");
static_assert(offsetof(FILTER, flag) == 0);
static_assert(offsetof(FILTER, name) == 12);
static_assert(offsetof(FILTER, track_n) == 16);
static_assert(offsetof(FILTER, track_name) == 20);
static_assert(offsetof(FILTER, track_default) == 24);
static_assert(offsetof(FILTER, track_s) == 28);
static_assert(offsetof(FILTER, track_e) == 32);
static_assert(offsetof(FILTER, check_n) == 36);
static_assert(offsetof(FILTER, check_name) == 40);
static_assert(offsetof(FILTER, check_default) == 44);
static_assert(offsetof(FILTER, func_proc) == 48);
static_assert(offsetof(FILTER, func_init) == 52);
static_assert(offsetof(FILTER, func_exit) == 56);
static_assert(offsetof(FILTER, func_update) == 60);
static_assert(offsetof(FILTER, func_WndProc) == 64);
static_assert(offsetof(FILTER, track) == 68);
static_assert(offsetof(FILTER, check) == 72);
static_assert(offsetof(FILTER, ex_data_size) == 80);
static_assert(offsetof(FILTER, information) == 84);
static_assert(offsetof(FILTER, dll_path) == 128);
static_assert(offsetof(FILTER, reserve) == 132);
static_assert(sizeof(FILTER_PROC_INFO) >= 24);
static_assert(offsetof(FILTER_PROC_INFO, ycp_edit) == 4);
static_assert(offsetof(FILTER_PROC_INFO, w) == 12);
static_assert(offsetof(FILTER_PROC_INFO, h) == 16);
static_assert(offsetof(FILTER_PROC_INFO, max_w) == 20);
#endif
