#include "frame/mode_stages.h"

#include <climits>

#include "kernels/packed/packed_kernels.h"
#include "kernels/scalar/chroma_rows.h"
#include "kernels/scalar/iq_rotation.h"

namespace trelvane {

namespace {

// One path's kernels for the stages. The rotations and blends count in the
// path's own unit: samples on the one-row path, 16-bit values (four to a
// position) on the four-row path.
struct StageKernels {
    int bodyOffset;  // 16-bit values from a pad buffer's start to its body
    LowPassFn wideLowPass;
    decltype(&RotateToIQ) rotateToIQ;
    decltype(&RotateFromIQ) rotateFromIQ;
    decltype(&BlendDetail) blend;
    decltype(&BlendDetailCored) blendCored;
};

constexpr StageKernels kOneRowStages{kLineEdge,    WideLowPass, RotateToIQ,
                                     RotateFromIQ, BlendDetail, BlendDetailCored};
constexpr StageKernels kFourRowStages{kQuadLanes * kQuadEdge, WideLowPassQuad,
                                      RotateToIQQuad,         RotateFromIQQuad,
                                      BlendDetailQuad,        BlendDetailCoredQuad};

// n is the half-rate length; lineCount covers the whole extended lines and
// bodyCount their bodies.
void RunStages(const WorkBuffers& b, const StageKernels& k, LowPassFn lowPass, int n,
               int lineCount, int bodyCount, const FilterSettings& s) {
    int16_t* const padCrBody = b.padCr + k.bodyOffset;
    int16_t* const padCbBody = b.padCb + k.bodyOffset;
    const bool iq = s.mode >= 2;

    if (iq) k.rotateToIQ(b.padCr, b.padCb, lineCount);
    lowPass(b.lowCr, padCrBody, n);
    lowPass(b.lowCb, padCbBody, n);
    // Modes 3 and 4 take the detail from the wide-filtered I, written over
    // the Q line that lowCb now holds filtered.
    if (s.mode >= 3) k.wideLowPass(padCbBody, padCrBody, n);
    if (s.mode == 2) k.blend(b.lowCr, padCrBody, bodyCount, s.strength);
    if (s.mode == 3) k.blend(b.lowCr, padCbBody, bodyCount, s.strength);
    if (s.mode == 4) k.blendCored(b.lowCr, padCbBody, bodyCount, s.strength, s.noise);
    if (iq) k.rotateFromIQ(b.lowCr, b.lowCb, bodyCount);
}

}  // namespace

LowPassFn SelectedLowPass(const FilterSettings& settings) {
    return settings.line640 != 0 ? LowPass640 : LowPass720;
}

LowPassFn SelectedLowPassQuad(const FilterSettings& settings) {
    return settings.line640 != 0 ? LowPass640Quad : LowPass720Quad;
}

void RunRowStages(const WorkBuffers& b, LowPassFn lowPass, int n, const FilterSettings& s) {
    RunStages(b, kOneRowStages, lowPass, n, n + 2 * kLineEdge, n, s);
}

void RunQuadStages(const WorkBuffers& b, LowPassFn lowPassQuad, int w, const FilterSettings& s) {
    RunStages(b, kFourRowStages, lowPassQuad, w / 2, 2 * w + 2 * kQuadLanes * kQuadEdge, 2 * w, s);
}

// The packed counts of 16-bit values (2w + 128 at most) must fit an int.
int MaxQuadWidth() { return (INT_MAX - 2 * kQuadLanes * kQuadEdge) / 2; }

}  // namespace trelvane
