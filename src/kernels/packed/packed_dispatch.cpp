// Builds the packed kernel tables. Nothing here is compiled for SSE2 or AVX2.
#include "kernels/cpu_features.h"
#include "kernels/packed/packed_kernels.h"

namespace trelvane {

PackedKernels PackedKernelsFor(uint32_t cpuMask) {
    PackedKernels k = {0,
                       GatherChromaQuad,
                       ScatterChromaQuad,
                       LowPass640Quad,
                       LowPass720Quad,
                       WideLowPassQuad,
                       RotateToIQQuad,
                       RotateFromIQQuad,
                       BlendDetailQuad,
                       BlendDetailCoredQuad,
                       UpsampleChroma2xQuad};
    const uint32_t levels = cpuMask & ProcessorCpuFeatures();
    if ((levels & kCpuSse2) != 0 && sse2::UsePackedKernels(k)) k.cpuFeatures |= kCpuSse2;
    if ((levels & kCpuAvx2) != 0 && avx2::UsePackedKernels(k)) k.cpuFeatures |= kCpuAvx2;
    return k;
}

const PackedKernels& ProcessPackedKernels() {
    static const PackedKernels kernels = PackedKernelsFor(kCpuAll);
    return kernels;
}

}  // namespace trelvane
