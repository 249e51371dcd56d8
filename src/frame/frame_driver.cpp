#include "frame/frame_driver.h"

#include <cstddef>

#include "frame/mode_stages.h"
#include "frame/test_pattern.h"
#include "kernels/packed/packed_kernels.h"
#include "kernels/scalar/chroma_rows.h"

namespace trelvane {

namespace {

bool UsableGeometry(const YcFrame& frame) {
    if (frame.w < 0 || frame.h < 0 || frame.pitch < frame.w) return false;
    return frame.pixels != nullptr || frame.w == 0 || frame.h == 0;
}

PIXEL_YC* RowAt(const YcFrame& frame, int r) {
    return frame.pixels + static_cast<ptrdiff_t>(r) * frame.pitch;
}

// One row through the one-row pipeline of the mode (1..4).
//
// For an odd width the interpolation yields w - 1 samples, so only those
// pixels are written back and the last pixel keeps its own cr and cb. Rows
// narrower than two pixels have no half-rate sample and stay as they are.
void RunScalarRow(const WorkBuffers& b, PIXEL_YC* row, int w, const FilterSettings& s,
                  LowPassFn lowPass) {
    const int n = w / 2;
    if (n <= 0) return;
    GatherChromaRow(b.padCr, b.padCb, row, n);
    RunRowStages(b, lowPass, n, s);
    UpsampleChroma2x(b.padCr, b.lowCr, n);
    UpsampleChroma2x(b.padCb, b.lowCb, n);
    ScatterChromaRow(row, b.padCr, b.padCb, 2 * n);
}

// Rows r .. r+3 (starting at first) through the four-row pipeline of the mode
// (1..4), every stage on all four rows before the next begins.
//
// The rotations and blends count 16-bit values: 2w + 128 for the whole
// extended lines and 2w for the bodies, which for an odd width is two values
// more than the lines. Those two lie just past the line inside the buffers
// (zero-filled at allocation), are handled by the one-row rules and feed
// nothing that is written back. As on the one-row path, only the 2n
// interpolated pixels are written back: for an odd width the last pixel keeps
// its own cr and cb, and rows narrower than two pixels stay as they are.
void RunPackedGroup(const WorkBuffers& b, PIXEL_YC* first, int w, int pitch,
                    const FilterSettings& s, LowPassFn lowPassQuad) {
    const int n = w / 2;
    if (n <= 0) return;
    GatherChromaQuad(b.padCr, b.padCb, first, n, pitch);
    RunQuadStages(b, lowPassQuad, w, s);
    UpsampleChroma2xQuad(b.padCr, b.lowCr, n);
    UpsampleChroma2xQuad(b.padCb, b.lowCb, n);
    ScatterChromaQuad(first, b.padCr, b.padCb, 2 * n, pitch);
}

}  // namespace

FilterSettings ReadSettings(const FILTER& fp) {
    FilterSettings s;
    s.mode = fp.track[0];
    s.strength = fp.track[1];
    s.noise = fp.track[2];
    s.line640 = fp.check[0];
    s.mmx = fp.check[1];
    s.test = fp.check[2];
    return s;
}

int ProcessFrameWith(WorkBuffers& buffers, const FilterSettings& settings, const YcFrame& frame) {
    if (!UsableGeometry(frame)) return 0;
    if (settings.test != 0) {
        DrawTestPattern(settings.line640, frame.pixels, frame.w, frame.h, frame.pitch);
    }
    if (settings.mode == 0) return 1;
    if (EnsureWorkBuffers(buffers, frame.pitch) == 0) return 0;
    const LowPassFn lowPass = SelectedLowPass(settings);
    const LowPassFn lowPassQuad = SelectedLowPassQuad(settings);
    if (settings.mode < 1 || settings.mode > 4) return 1;

    // Rows top to bottom: with "MMX" on, groups of four while four remain,
    // then the h mod 4 rows left (all rows with "MMX" off) one at a time.
    // The packed kernels use no MMX registers, so no floating-point state
    // needs clearing after the groups.
    int r = 0;
    // Rows wider than the four-row counts allow, which no work buffer could
    // hold anyway, take the one-row path.
    if (settings.mmx != 0 && frame.w <= MaxQuadWidth()) {
        for (; frame.h - r > 3; r += 4) {
            RunPackedGroup(buffers, RowAt(frame, r), frame.w, frame.pitch, settings, lowPassQuad);
        }
    }
    for (; r < frame.h; ++r) {
        RunScalarRow(buffers, RowAt(frame, r), frame.w, settings, lowPass);
    }
    return 1;
}

int TRELVANE_CDECL ProcessFrame(FILTER* fp, FILTER_PROC_INFO* fpip) {
    if (fp == nullptr || fpip == nullptr || fp->track == nullptr || fp->check == nullptr) return 0;
    const YcFrame frame{fpip->ycp_edit, fpip->w, fpip->h, fpip->max_w};
    return ProcessFrameWith(ProcessWorkBuffers(), ReadSettings(*fp), frame);
}

}  // namespace trelvane
