// The 8-bit conversions compiled for AVX2: sixteen samples a step. None for
// Windows, where GCC cannot be relied on to align the stack for spilled
// 256-bit registers.
#if defined(_WIN32)
#include "convert/chroma8_convert.h"

bool trelvane::avx2::UseChroma8Kernels(Chroma8Kernels&) { return false; }
#else
#define TRELVANE_SIMD_AVX2
#include "convert/chroma8_simd.inc"

#if !TRELVANE_SIMD_X86
bool trelvane::avx2::UseChroma8Kernels(Chroma8Kernels&) { return false; }
#endif
#endif
