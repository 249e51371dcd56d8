#include "frame/frame_driver.h"

#include <cstddef>

#include "frame/test_pattern.h"
#include "kernels/scalar/chroma_filters.h"
#include "kernels/scalar/chroma_rows.h"
#include "kernels/scalar/iq_rotation.h"

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
    int16_t* const padCrBody = b.padCr + kLineEdge;
    int16_t* const padCbBody = b.padCb + kLineEdge;
    const bool iq = s.mode >= 2;

    GatherChromaRow(b.padCr, b.padCb, row, n);
    if (iq) RotateToIQ(b.padCr, b.padCb, n + 2 * kLineEdge);
    lowPass(b.lowCr, padCrBody, n);
    lowPass(b.lowCb, padCbBody, n);
    if (s.mode >= 3) WideLowPass(padCbBody, padCrBody, n);
    if (s.mode == 2) BlendDetail(b.lowCr, padCrBody, n, s.strength);
    if (s.mode == 3) BlendDetail(b.lowCr, padCbBody, n, s.strength);
    if (s.mode == 4) BlendDetailCored(b.lowCr, padCbBody, n, s.strength, s.noise);
    if (iq) RotateFromIQ(b.lowCr, b.lowCb, n);
    UpsampleChroma2x(b.padCr, b.lowCr, n);
    UpsampleChroma2x(b.padCb, b.lowCb, n);
    ScatterChromaRow(row, b.padCr, b.padCb, 2 * n);
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
    const LowPassFn lowPass = settings.line640 != 0 ? LowPass640 : LowPass720;
    if (settings.mode < 1 || settings.mode > 4) return 1;

    // Rows top to bottom. The four-row path is not built yet: every row goes
    // through the one-row pipeline.
    for (int r = 0; r < frame.h; ++r) {
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
