// The portable forms of the 8-bit conversions, and their table.
#include "convert/chroma8_convert.h"
#include "kernels/cpu_features.h"

namespace trelvane {

void Chroma8ToYc48(int16_t* dst, const uint8_t* src, int count) {
    for (int i = 0; i < count; ++i) dst[i] = Chroma8ToYc48Sample(src[i]);
}

void Chroma8FromYc48(uint8_t* dst, const int16_t* src, int count) {
    for (int i = 0; i < count; ++i) dst[i] = Chroma8FromYc48Sample(src[i]);
}

void Chroma8ToYc48Quad(int16_t* dst, const uint8_t* const (&rows)[4], int count) {
    for (int i = 0; i < count; ++i) {
        for (int k = 0; k < 4; ++k) dst[4 * i + k] = Chroma8ToYc48Sample(rows[k][i]);
    }
}

void Chroma8FromYc48Quad(uint8_t* const (&rows)[4], const int16_t* src, int count) {
    for (int i = 0; i < count; ++i) {
        for (int k = 0; k < 4; ++k) rows[k][i] = Chroma8FromYc48Sample(src[4 * i + k]);
    }
}

Chroma8Kernels Chroma8KernelsFor(uint32_t cpuMask) {
    Chroma8Kernels k{0, Chroma8ToYc48, Chroma8FromYc48, Chroma8ToYc48Quad, Chroma8FromYc48Quad};
    const uint32_t levels = cpuMask & ProcessorCpuFeatures();
    if ((levels & kCpuSse2) != 0 && sse2::UseChroma8Kernels(k)) k.cpuFeatures |= kCpuSse2;
    if ((levels & kCpuAvx2) != 0 && avx2::UseChroma8Kernels(k)) k.cpuFeatures |= kCpuAvx2;
    return k;
}

const Chroma8Kernels& ProcessChroma8Kernels() {
    static const Chroma8Kernels kernels = Chroma8KernelsFor(kCpuAll);
    return kernels;
}

}  // namespace trelvane
