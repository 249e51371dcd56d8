// The built-in test pattern: a chroma frequency sweep over all rows but the
// last eight, and two colour blocks on the -I and +Q axes in the last eight.
#pragma once

#include "core/yc_frame.h"

namespace trelvane {

// Overwrites y, cb and cr of columns 0 .. w-1 of rows 0 .. h-1; columns from
// w up to the pitch are left alone. line640 non-zero draws the sweep for a
// 640-sample line, zero for a 720-sample line.
void DrawTestPattern(int line640, PIXEL_YC* frame, int w, int h, int pitch);

}  // namespace trelvane
