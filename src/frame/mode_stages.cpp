// Each mode's stages on a gathered line, and the kernels each path runs them with.
#include "frame/mode_stages.h"

#include <climits>

#include "kernels/scalar/chroma_rows.h"
#include "kernels/scalar/iq_rotation.h"

namespace trelvane {

namespace {

// n is the half-rate length; lineCount covers the whole extended lines and
// bodyCount their bodies.
void RunStages(const WorkBuffers& b, const StageKernels& k, int n, int lineCount, int bodyCount,
               const FilterSettings& s) {
    int16_t* const padCrBody = b.padCr + k.bodyOffset;
    int16_t* const padCbBody = b.padCb + k.bodyOffset;
    const bool iq = s.mode >= 2;

    if (iq) k.rotateToIQ(b.padCr, b.padCb, lineCount);
    k.lowPass(b.lowCr, padCrBody, n);
    k.lowPass(b.lowCb, padCbBody, n);
    // Modes 3 and 4 take the detail from the wide-filtered I, written over
    // the Q line that lowCb now holds filtered.
    if (s.mode >= 3) k.wideLowPass(padCbBody, padCrBody, n);
    if (s.mode == 2) k.blend(b.lowCr, padCrBody, bodyCount, s.strength);
    if (s.mode == 3) k.blend(b.lowCr, padCbBody, bodyCount, s.strength);
    if (s.mode == 4) k.blendCored(b.lowCr, padCbBody, bodyCount, s.strength, s.noise);
    if (iq) k.rotateFromIQ(b.lowCr, b.lowCb, bodyCount);
}

}  // namespace

StageKernels ScalarStages(const FilterSettings& settings) {
    return {kLineEdge,  settings.line640 != 0 ? LowPass640 : LowPass720,
            WideLowPass, RotateToIQ,
            RotateFromIQ, BlendDetail,
            BlendDetailCored};
}

StageKernels PackedStages(const PackedKernels& kernels, const FilterSettings& settings) {
    return {kQuadLanes * kQuadEdge,
            settings.line640 != 0 ? kernels.lowPass640Quad : kernels.lowPass720Quad,
            kernels.wideLowPassQuad,
            kernels.rotateToIQQuad,
            kernels.rotateFromIQQuad,
            kernels.blendDetailQuad,
            kernels.blendDetailCoredQuad};
}

void RunScalarStages(const WorkBuffers& b, const StageKernels& k, int n, const FilterSettings& s) {
    RunStages(b, k, n, n + 2 * kLineEdge, n, s);
}

void RunPackedStages(const WorkBuffers& b, const StageKernels& k, int w, const FilterSettings& s) {
    RunStages(b, k, w / 2, 2 * w + 2 * kQuadLanes * kQuadEdge, 2 * w, s);
}

// The packed counts of 16-bit values (2w + 128 at most) must fit an int.
int MaxPackedWidth() { return (INT_MAX - 2 * kQuadLanes * kQuadEdge) / 2; }

}  // namespace trelvane
