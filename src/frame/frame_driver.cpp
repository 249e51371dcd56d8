// The frame driver: a YC frame's rows through the row loop, and ProcessFrameWith.
#include "frame/frame_driver.h"

#include <cstddef>

#include "frame/row_loop.h"
#include "frame/test_pattern.h"
#include "kernels/scalar/chroma_rows.h"

namespace trelvane {

namespace {

// The rows of a YC frame as the row loop's source and sink: the half-rate
// chroma of the even pixels in, the interpolated full-rate chroma out.
//
// For an odd width the interpolation yields w - 1 samples, so only those
// pixels are written back and the last pixel keeps its own cr and cb.
class YcFrameRows {
public:
    explicit YcFrameRows(const YcFrame& frame) : frame_(frame), n_(frame.w / 2) {}

    void GatherScalar(int r, const WorkBuffers& b) {
        GatherChromaRow(b.padCr, b.padCb, RowAt(r), n_);
    }

    void GatherPacked(const PackedKernels& k, int r, const WorkBuffers& b) {
        k.gatherChromaQuad(b.padCr, b.padCb, RowAt(r), n_, frame_.pitch);
    }

    void ScatterScalar(int r, const WorkBuffers& b) {
        UpsampleChroma2x(b.padCr, b.lowCr, n_);
        UpsampleChroma2x(b.padCb, b.lowCb, n_);
        ScatterChromaRow(RowAt(r), b.padCr, b.padCb, 2 * n_);
    }

    void ScatterPacked(const PackedKernels& k, int r, const WorkBuffers& b) {
        k.upsampleChroma2xQuad(b.padCr, b.lowCr, n_);
        k.upsampleChroma2xQuad(b.padCb, b.lowCb, n_);
        k.scatterChromaQuad(RowAt(r), b.padCr, b.padCb, 2 * n_, frame_.pitch);
    }

private:
    PIXEL_YC* RowAt(int r) const { return frame_.pixels + static_cast<ptrdiff_t>(r) * frame_.pitch; }

    YcFrame frame_;
    int n_;
};

}  // namespace

bool UsableGeometry(const YcFrame& frame) {
    if (frame.w < 0 || frame.h < 0 || frame.pitch < frame.w) return false;
    return frame.pixels != nullptr || frame.w == 0 || frame.h == 0;
}

void FilterRows(const WorkBuffers& buffers, const FilterSettings& settings, const YcFrame& frame,
                const PackedKernels& kernels) {
    YcFrameRows rows(frame);
    RunRows(buffers, kernels, settings, frame.w, frame.h, rows);
}

int ProcessFrameWith(WorkBuffers& buffers, const FilterSettings& settings, const YcFrame& frame,
                     const PackedKernels& kernels) {
    if (!UsableGeometry(frame)) return 0;
    if (settings.test != 0) {
        DrawTestPattern(settings.line640, frame.pixels, frame.w, frame.h, frame.pitch);
    }
    if (settings.mode == 0) return 1;
    if (EnsureWorkBuffers(buffers, frame.pitch) == 0) return 0;
    FilterRows(buffers, settings, frame, kernels);
    return 1;
}

}  // namespace trelvane
