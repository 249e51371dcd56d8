// Chroma of 8-bit limited-range planes to YC48 and back, with the host's own
// integer conversions (ChromaToYc48 and ChromaFromYc48 of that scale, clamped
// codes included): the common case of the chroma planes the tool and the
// GStreamer element filter.
//
// Each conversion has a portable form and, on x86, vector forms (SSE2, and
// AVX2 outside Windows) with the same results, chosen through a table built
// from a CPU-feature mask as the packed kernels are.
#pragma once

#include <cstdint>

namespace trelvane {

// One sample each way.
inline int16_t Chroma8ToYc48Sample(unsigned code) {
    return static_cast<int16_t>(((static_cast<int>(code) - 128) * 4681 + 164) >> 8);
}

inline uint8_t Chroma8FromYc48Sample(int v) {
    const int code = (((v + 2048) * 7 + 66) >> 7) + 16;
    return static_cast<uint8_t>(code < 0 ? 0 : (code > 255 ? 255 : code));
}

// dst[i] = YC48 of code src[i], i < count.
void Chroma8ToYc48(int16_t* dst, const uint8_t* src, int count);
// dst[i] = code of YC48 value src[i].
void Chroma8FromYc48(uint8_t* dst, const int16_t* src, int count);
// Four plane rows into packed positions: lane k of position i (4i + k of
// dst) = YC48 of rows[k][i].
void Chroma8ToYc48Quad(int16_t* dst, const uint8_t* const (&rows)[4], int count);
// And back: rows[k][i] = code of lane k of position i of src.
void Chroma8FromYc48Quad(uint8_t* const (&rows)[4], const int16_t* src, int count);

// One realisation of the four conversions above.
struct Chroma8Kernels {
    uint32_t cpuFeatures;  // the levels (kCpuSse2, ...) whose forms it holds
    decltype(&Chroma8ToYc48) toYc48;
    decltype(&Chroma8FromYc48) fromYc48;
    decltype(&Chroma8ToYc48Quad) toYc48Quad;
    decltype(&Chroma8FromYc48Quad) fromYc48Quad;
};

// The portable forms, then each level of the mask that this build has and
// this processor runs.
Chroma8Kernels Chroma8KernelsFor(uint32_t cpuMask);
// For every level this processor runs, built once per process.
const Chroma8Kernels& ProcessChroma8Kernels();

namespace sse2 {
bool UseChroma8Kernels(Chroma8Kernels& kernels);
}
namespace avx2 {
bool UseChroma8Kernels(Chroma8Kernels& kernels);
}

}  // namespace trelvane
